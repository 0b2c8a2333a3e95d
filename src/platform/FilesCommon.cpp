// What the files of both systems share: extensions, and reading a regular file until one
// whole version of it is read. Each system's calls are in Files.cpp (Linux) and
// Files_win.cpp (Windows), behind platform/FilesSystem.h.
#include "platform/FilesSystem.h"

#include <algorithm>
#include <limits>
#include <thread>

namespace tarvo {

using namespace files;

namespace {

// One read of the open file; `before` is its stamp when the read began.
FileRead readOnce(const ReadableFile &file, size_t maxBytes, std::string &contents,
                  FileStamp &before)
{
    if (FileRead examined = file.examine(before); !examined.ok())
        return examined;
    auto tooLarge = [&](unsigned long long size) {
        return refused("is larger than " + std::to_string(maxBytes) + " bytes (" +
                       std::to_string(size) + " bytes)");
    };
    if (static_cast<unsigned long long>(before.size) > maxBytes)
        return tooLarge(static_cast<unsigned long long>(before.size));
    contents.reserve(static_cast<size_t>(before.size));
    char chunk[65536];
    for (;;) {
        std::string error;
        const long long n = file.read(chunk, sizeof chunk, error);
        if (n < 0) {
            contents.clear();
            return refused("cannot be read: " + error);
        }
        if (n == 0)
            return {};
        // The file may grow while it is read.
        if (contents.size() + size_t(n) > maxBytes) {
            const unsigned long long seen = contents.size() + size_t(n);
            contents.clear();
            contents.shrink_to_fit();
            return tooLarge(seen);
        }
        contents.append(chunk, size_t(n));
    }
}

// True when the file still has the stamp `read` it had when its read began, and, with a
// `quiet` time, still has it once that much time has passed since it was last written.
bool settled(const ReadableFile &file, const FileStamp &read, std::chrono::milliseconds quiet)
{
    FileStamp now;
    if (!file.stamp(now) || !(now == read))
        return false;
    if (quiet.count() <= 0)
        return true;
    const auto age = sinceWritten(read);
    if (age >= quiet)
        return true;
    std::this_thread::sleep_for(quiet - std::max(age, std::chrono::nanoseconds(0)));
    return file.stamp(now) && now == read;
}

} // namespace

std::string replaceExtension(std::string_view path, std::string_view extension)
{
    const size_t slash = lastSeparator(path);
    const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string_view::npos || dot <= nameStart)
        return std::string(path) + std::string(extension);
    return std::string(path.substr(0, dot)) + std::string(extension);
}

bool readWholeFile(const std::string &path, std::string &contents)
{
    return readRegularFile(path, std::numeric_limits<size_t>::max() - 1, contents).ok();
}

FileRead readRegularFile(const std::string &path, size_t maxBytes, std::string &contents,
                         const ReadSettling &settling)
{
    const int reads = std::max(1, settling.maxReads);
    for (int attempt = 1;; ++attempt) {
        contents.clear();
        ReadableFile file;
        if (FileRead opened = file.open(path); !opened.ok())
            return opened;
        FileStamp before;
        FileRead read = readOnce(file, maxBytes, contents, before);
        if (!read.ok() || settled(file, before, settling.quiet))
            return read;
        if (attempt == reads) {
            contents.clear();
            return refused("changed while it was read " + std::to_string(reads) + " times");
        }
    }
}

} // namespace tarvo
