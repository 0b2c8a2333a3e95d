// Where an installed program keeps its settings, from where its executable lies.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// The settings folder of an installed program, or nullopt when the executable is not
// installed (a build tree, or copied beside the installation it serves). Installed means: in
// a bin or sbin folder of a prefix. The prefix /usr, and any prefix ending in /usr (a
// scratch root's <root>/usr), keeps its settings in the etc/ beside it ("/usr/sbin/X" ->
// "/etc"); any other prefix in its own etc/ ("/usr/local/bin/X" -> "/usr/local/etc"). The
// installation writes the settings and units by the same rule.
inline std::optional<std::string> installedConfigDirectory(std::string_view executable)
{
    const auto parent = [](std::string_view path) {
        const size_t slash = path.rfind('/');
        return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
    };
    const auto base = [](std::string_view path) {
        const size_t slash = path.rfind('/');
        return slash == std::string_view::npos ? path : path.substr(slash + 1);
    };
    if (executable.empty() || executable.front() != '/')
        return std::nullopt;
    const std::string_view folder = parent(executable);
    if (base(folder) != "bin" && base(folder) != "sbin")
        return std::nullopt;
    const std::string_view prefix = parent(folder);
    if (base(prefix) == "usr")
        return std::string(parent(prefix)) + "/etc";
    return std::string(prefix) + "/etc";
}

} // namespace tarvo
