// Replacing a file whole on Windows: a temporary file beside it, written and flushed, then
// moved over the old one with MoveFileExW, which waits until the move is on disk.
#include "platform/FileReplace.h"

#include "platform/WinText.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <random>

namespace tarvo {
namespace {

const std::string TEMPORARY_MARK = ".tmp-";
constexpr size_t TEMPORARY_TAIL = 6;  // as mkstemp's "XXXXXX"

size_t lastSeparator(const std::string &path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? 0 : slash + 1;
}

// A name not yet taken, created for writing: "<path>.tmp-" and six letters or digits.
HANDLE createTemporary(const std::string &path, std::string &temp)
{
    static std::atomic<unsigned> counter{0};
    static const char LETTERS[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::minstd_rand random(unsigned(::GetCurrentProcessId()) * 7919u + unsigned(::GetTickCount()) +
                            counter++);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = path + TEMPORARY_MARK;
        for (size_t i = 0; i < TEMPORARY_TAIL; ++i)
            temp += LETTERS[random() % (sizeof LETTERS - 1)];
        const HANDLE file = ::CreateFileW(win::widen(temp).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

bool writeAll(HANDLE file, std::string_view text)
{
    size_t done = 0;
    while (done < text.size()) {
        const DWORD chunk = DWORD(std::min<size_t>(text.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, text.data() + done, chunk, &written, nullptr))
            return false;
        if (written == 0) {
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

std::optional<std::string> replaceFile(const std::string &path, std::string_view text,
                                       const ReplaceFileCalls &)
{
    std::string temp;
    const HANDLE file = createTemporary(path, temp);
    if (file == INVALID_HANDLE_VALUE)
        return win::lastErrorText();
    if (!writeAll(file, text) || !::FlushFileBuffers(file)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        ::DeleteFileW(win::widen(temp).c_str());
        return win::errorText(error);
    }
    if (!::CloseHandle(file) ||
        !::MoveFileExW(win::widen(temp).c_str(), win::widen(path).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(win::widen(temp).c_str());
        return win::errorText(error);
    }
    return std::nullopt;
}

int removeStaleTemporaries(const std::string &path)
{
    const std::string directory = path.substr(0, lastSeparator(path));
    const std::string prefix = path.substr(lastSeparator(path)) + TEMPORARY_MARK;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(win::widen(path + TEMPORARY_MARK + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int removed = 0;
    do {
        const std::string name = win::narrow(found.cFileName);
        if (name.size() == prefix.size() + TEMPORARY_TAIL && name.compare(0, prefix.size(), prefix) == 0 &&
            ::DeleteFileW(win::widen(directory + name).c_str()))
            ++removed;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return removed;
}

} // namespace tarvo
