// Loads AFL++'s GCC instrumentation plugin into a g++ whose Debian package revision differs from
// the one the plugin was built against. GCC refuses a plugin unless its recorded configure
// arguments match the compiler's text exactly; the two differ only in the package version and
// build path strings of the same GCC release. This shim is built against the installed plugin
// headers, hands the plugin the compiler's version record with the configure arguments the
// plugin recorded, and leaves everything else (release, date stamp, phase) as the compiler says:
// a plugin of another GCC release is still refused.
#include <gcc-plugin.h>
#include <plugin-version.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

int plugin_is_GPL_compatible;

namespace {

// The configure arguments the plugin was built with, as recorded in its read-only data.
std::string recordedArguments(const std::string &pluginPath)
{
    std::ifstream in(pluginPath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = bytes.find("../src/configure ");
    if (at == std::string::npos)
        return {};
    return bytes.substr(at, bytes.find('\0', at) - at);
}

} // namespace

int plugin_init(struct plugin_name_args *info, struct plugin_gcc_version *version)
{
    const char *dir = std::getenv("TARVO_AFL_PLUGIN_DIR");
    const std::string path = std::string(dir ? dir : "/usr/lib/afl") + "/afl-gcc-pass.so";
    static std::string arguments = recordedArguments(path);
    if (arguments.empty()) {
        std::fprintf(stderr, "gcc-pass-shim: no configure arguments recorded in %s\n", path.c_str());
        return 1;
    }
    void *plugin = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!plugin) {
        std::fprintf(stderr, "gcc-pass-shim: %s\n", dlerror());
        return 1;
    }
    using Init = int (*)(struct plugin_name_args *, struct plugin_gcc_version *);
    auto init = reinterpret_cast<Init>(dlsym(plugin, "plugin_init"));
    if (!init) {
        std::fprintf(stderr, "gcc-pass-shim: %s has no plugin_init\n", path.c_str());
        return 1;
    }
    static struct plugin_gcc_version asRecorded = *version;
    asRecorded.configuration_arguments = arguments.c_str();
    return init(info, &asRecorded);
}
