// Files and directories of Windows through the wide calls: paths are GBK, converted from code
// page 936, never through std::filesystem's narrow conversions (which would read the bytes as
// the ANSI code page or UTF-8 and mangle Chinese names). What both systems share is in
// FilesCommon.cpp.
#include "platform/FilesSystem.h"

#include "platform/WinText.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace tarvo {

using files::lastSeparator;
using files::refused;

const char PATH_SEPARATOR = '\\';

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

DWORD attributesOf(const std::string &path)
{
    if (path.empty())
        return INVALID_FILE_ATTRIBUTES;
    return ::GetFileAttributesW(win::widen(path).c_str());
}

// The length of the root of `path`: "C:\" 3, "C:" 2, "\\server\share\" its length, "\" 1,
// a relative path 0.
size_t rootLength(std::string_view path)
{
    if (path.size() >= 2 && path[1] == ':')
        return path.size() >= 3 && isSeparator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        size_t at = 2;
        for (int parts = 0; parts < 2 && at < path.size(); ++parts) {
            while (at < path.size() && !isSeparator(path[at]))
                ++at;
            if (at < path.size())
                ++at;
        }
        return at;
    }
    return !path.empty() && isSeparator(path[0]) ? 1 : 0;
}

const char *fileKind(DWORD type)
{
    switch (type) {
    case FILE_TYPE_PIPE:
        return "a pipe";
    case FILE_TYPE_CHAR:
        return "a character device";
    default:
        return "of an unknown kind";
    }
}

} // namespace

std::string nativePath(std::string_view path)
{
    std::string native(path);
    for (char &c : native)
        if (c == '/')
            c = PATH_SEPARATOR;
    return native;
}

bool fileExists(const std::string &path)
{
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool directoryExists(const std::string &path)
{
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool createDirectories(const std::string &path)
{
    if (path.empty())
        return false;
    // Every prefix that ends before a separator, and the whole path, from the root on.
    const std::string native = nativePath(path);
    for (size_t at = rootLength(native); at <= native.size(); ++at) {
        if (at < native.size() && !isSeparator(native[at]))
            continue;
        const std::string prefix = native.substr(0, at);
        if (!prefix.empty() && !directoryExists(prefix))
            ::CreateDirectoryW(win::widen(prefix).c_str(), nullptr);
    }
    return directoryExists(path);
}

std::string currentDirectory()
{
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    if (needed == 0)
        return {};
    std::wstring wide(needed, L'\0');
    const DWORD n = ::GetCurrentDirectoryW(needed, wide.data());
    if (n == 0 || n >= needed)
        return {};
    wide.resize(n);
    std::string dir = win::narrow(wide);
    while (dir.size() > rootLength(dir) && isSeparator(dir.back()))
        dir.pop_back();
    return dir;
}

bool changeDirectory(const std::string &path, std::string &error)
{
    if (::SetCurrentDirectoryW(win::widen(path).c_str()))
        return true;
    error = win::lastErrorText();
    return false;
}

std::string absolutePath(const std::string &path)
{
    const std::wstring wide = win::widen(path);
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD n = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (n == 0 || n >= needed)
        return path;
    full.resize(n);
    return win::narrow(full);
}

std::string executablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return win::narrow(std::wstring_view(buffer.data(), n));
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string parentDirectory(std::string_view path)
{
    const size_t slash = lastSeparator(path);
    if (slash == std::string_view::npos)
        return rootLength(path) == 2 ? std::string(path) : ".";
    const size_t root = rootLength(path);
    if (slash < root)
        return std::string(path.substr(0, root));
    return std::string(path.substr(0, slash));
}

bool canCreateDirectories(const std::string &path)
{
    if (path.empty())
        return false;
    std::string at = absolutePath(path);
    while (at.size() > rootLength(at) && isSeparator(at.back()))
        at.pop_back();
    // Access rights are the file system's to judge; a directory is taken as writable.
    for (;;) {
        const DWORD attributes = attributesOf(at);
        if (attributes != INVALID_FILE_ATTRIBUTES)
            return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const size_t slash = lastSeparator(at);
        if (slash == std::string::npos || slash < rootLength(at))
            return false;
        at.resize(std::max(slash, rootLength(at)));
    }
}

namespace files {

size_t lastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

namespace {

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

} // namespace

std::chrono::nanoseconds sinceWritten(const FileStamp &stamp)
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const long long ticks = (static_cast<long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime);
    return std::chrono::nanoseconds((ticks - stamp.written) * 100);
}

ReadableFile::~ReadableFile()
{
    if (m_handle != -1)
        ::CloseHandle(handleOf(m_handle));
}

FileRead ReadableFile::open(const std::string &path)
{
    const DWORD attributes = attributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return refused("is not a regular file (a directory)");
    const HANDLE file = ::CreateFileW(win::widen(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_INVALID_NAME)
            return {FileRead::Status::Missing, "does not exist"};
        return refused("cannot be opened: " + win::errorText(error));
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return {};
}

FileRead ReadableFile::examine(FileStamp &stamp) const
{
    const DWORD type = ::GetFileType(handleOf(m_handle));
    if (type != FILE_TYPE_DISK)
        return refused(std::string("is not a regular file (") + fileKind(type) + ")");
    if (!this->stamp(stamp))
        return refused("cannot be examined: " + win::lastErrorText());
    return {};
}

bool ReadableFile::stamp(FileStamp &stamp) const
{
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER size{};
    if (!::GetFileInformationByHandleEx(handleOf(m_handle), FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileSizeEx(handleOf(m_handle), &size))
        return false;
    stamp = {size.QuadPart, basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
    return true;
}

long long ReadableFile::read(char *buffer, size_t size, std::string &error) const
{
    DWORD n = 0;
    if (!::ReadFile(handleOf(m_handle), buffer, DWORD(std::min<size_t>(size, 1u << 30)), &n, nullptr)) {
        error = win::lastErrorText();
        return -1;
    }
    return n;
}

} // namespace files

} // namespace tarvo
