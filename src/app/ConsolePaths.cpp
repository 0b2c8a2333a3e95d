// The console's per-user locations.
#include "app/ConsolePaths.h"

#include "app/ProgramOptions.h"
#include "platform/InstallLayout.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {

ConsolePaths consolePaths(const ProgramOptions &options, const std::string &executable,
                          const std::function<std::string(const char *)> &environment)
{
    ConsolePaths paths{options.directory, options.iniPath, false};
    if (!options.directory.empty() || !options.iniPath.empty() ||
        !installedConfigDirectory(executable))
        return paths;
    const auto variable = [&](const char *name) -> std::string {
        if (environment)
            return environment(name);
        const char *value = std::getenv(name);
        return value ? value : "";
    };
    // XDG base directories: an unset or relative value takes the default.
    const auto base = [&](const char *name, const char *fallback) {
        std::string value = variable(name);
        if (value.empty() || value.front() != '/')
            value = variable("HOME") + fallback;
        return value;
    };
    paths.perUser = true;
    paths.directory = base("XDG_DATA_HOME", "/.local/share") + "/tarvo";
    paths.iniPath = base("XDG_CONFIG_HOME", "/.config") + "/tarvo/TarvoMonitor.ini";
    return paths;
}

void ensureRuntimeDirectory()
{
    const char *current = std::getenv("XDG_RUNTIME_DIR");
    if (current && *current)
        return;
    const char *temp = std::getenv("TMPDIR");
    const std::string directory = std::string(temp && *temp ? temp : "/tmp") + "/runtime-" +
                                  std::to_string(::getuid());
    ::mkdir(directory.c_str(), 0700);
    struct stat info{};
    if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return;  // Qt then says so itself
    if ((info.st_mode & 0777) != 0700)
        ::chmod(directory.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", directory.c_str(), 1);
}

} // namespace tarvo
