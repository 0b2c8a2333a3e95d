// Files and directories: existence, creation, the current directory, the own executable.
// Paths are GBK texts; on Windows they reach the system through its wide calls, converted
// from code page 936, so Chinese names work whatever the system's ANSI code page is.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace tarvo {

// The separator of path components: '/' on Linux, '\' on Windows.
extern const char PATH_SEPARATOR;
// `path` with every '/' turned into PATH_SEPARATOR ("monitor/ASHR_status.txt" is
// "monitor\ASHR_status.txt" on Windows).
std::string nativePath(std::string_view path);

// True when `path` names an existing file or directory.
bool fileExists(const std::string &path);
bool directoryExists(const std::string &path);
// Creates the directory and any missing parents; true when it exists afterwards.
bool createDirectories(const std::string &path);
// The process's current directory without a trailing separator (except for a root: "/",
// "C:\"); empty when unavailable.
std::string currentDirectory();
// Makes `path` the current directory; false with the system's text in `error`.
bool changeDirectory(const std::string &path, std::string &error);
// `path` made absolute against the current directory.
std::string absolutePath(const std::string &path);
// The path of the running executable (/proc/self/exe, GetModuleFileName); empty when
// unavailable.
std::string executablePath();
// `path` with the extension of its last component replaced by `extension` (".ini"),
// or extended by it when that component has none.
std::string replaceExtension(std::string_view path, std::string_view extension);
// The directory part of `path` without the trailing separator ("." when there is none).
std::string parentDirectory(std::string_view path);
// Reads the whole file into `contents`; false when it cannot be read. Only a regular file
// is read, without blocking (see readRegularFile).
bool readWholeFile(const std::string &path, std::string &contents);

// True when `path` is a directory, or could be created with createDirectories: its nearest
// existing ancestor is a directory this process may write into. Creates nothing.
bool canCreateDirectories(const std::string &path);

// The outcome of readRegularFile.
struct FileRead
{
    enum class Status { Ok, Missing, Refused };
    Status status = Status::Ok;
    // Why the file was not read, for a log line after the file's name: "is not a regular
    // file (a FIFO)", "is larger than 1048576 bytes (104857600 bytes)", "cannot be opened:
    // Permission denied"; "does not exist" when missing; empty when read.
    std::string error;
    bool ok() const { return status == Status::Ok; }
};

// How readRegularFile deals with a file that another program rewrites while it is read.
struct ReadSettling
{
    // Reads at most: a file whose size or modification time changed between the start and
    // the end of a read is read again, up to this many reads in all; one still changing
    // after the last is refused ("changed while it was read N times").
    int maxReads = 3;
    // A file modified less than this before its read ended may be between two writes of
    // one update: once this much time has passed since that modification, it is looked at
    // again, and read again if it changed. Zero: no such wait.
    std::chrono::milliseconds quiet{0};
};

// Reads a regular file of at most `maxBytes` bytes into `contents` without ever blocking
// on it: the file is opened with O_NONBLOCK and refused unless fstat shows a regular file
// (Windows: unless GetFileType shows a disk file), so a FIFO, a pipe, a device or a
// directory in its place is an error and not a wait. A file that changes while it is read is
// read again as `settling` says, so that what is returned is one whole version of it.
// `contents` is empty unless the file was read.
FileRead readRegularFile(const std::string &path, size_t maxBytes, std::string &contents,
                         const ReadSettling &settling = {});

} // namespace tarvo
