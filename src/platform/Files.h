// Files and directories: existence, creation, the current directory, the own executable.
#pragma once

#include <string>
#include <string_view>

namespace tarvo {

// True when `path` names an existing file or directory.
bool fileExists(const std::string &path);
bool directoryExists(const std::string &path);
// Creates the directory and any missing parents; true when it exists afterwards.
bool createDirectories(const std::string &path);
// The process's current directory without a trailing "/"; empty when unavailable.
std::string currentDirectory();
// The path of the running executable (/proc/self/exe); empty when unavailable.
std::string executablePath();
// `path` with the extension of its last component replaced by `extension` (".ini"),
// or extended by it when that component has none.
std::string replaceExtension(std::string_view path, std::string_view extension);
// The directory part of `path` without the trailing "/" ("." when there is none).
std::string parentDirectory(std::string_view path);
// Reads the whole file into `contents`; false when it cannot be read.
bool readWholeFile(const std::string &path, std::string &contents);

} // namespace tarvo
