// Files and directories through std::filesystem and /proc/self/exe.
#include "platform/Files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tarvo {

namespace fs = std::filesystem;

bool fileExists(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && fs::exists(path, ec);
}

bool directoryExists(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

bool createDirectories(const std::string &path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    fs::create_directories(path, ec);
    return directoryExists(path);
}

std::string currentDirectory()
{
    std::error_code ec;
    std::string dir = fs::current_path(ec).string();
    if (ec)
        return {};
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

std::string executablePath()
{
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

std::string replaceExtension(std::string_view path, std::string_view extension)
{
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string_view::npos || dot <= nameStart)
        return std::string(path) + std::string(extension);
    return std::string(path.substr(0, dot)) + std::string(extension);
}

std::string parentDirectory(std::string_view path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    if (slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

bool readWholeFile(const std::string &path, std::string &contents)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace tarvo
