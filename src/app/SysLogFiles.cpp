// The SysLog files kept open: a look at the path per message tells a file deleted, renamed
// or replaced by hand (its records then go to a new file at the path, as they did when every
// message opened the file), which costs far less than an open and a close in a directory of
// thousands of files.
#include "app/SysLogFiles.h"

#include <algorithm>

namespace tarvo {

size_t SysLogFiles::limit() const
{
    if (fixedLimit > 0)
        return fixedLimit;
    const size_t open = openFileLimit();
    return open == 0 ? 16384 : std::clamp<size_t>(open / 4, 16, 16384);
}

bool SysLogFiles::isCurrent(const std::string &key, const std::string &path)
{
    const auto file = files.find(key);
    if (file == files.end())
        return false;
    if (file->second.path == path && file->second.file.isAt(path))
        return true;
    closeFile(file);
    return false;
}

SysLogFiles::Files::iterator SysLogFiles::open(const std::string &key, const std::string &path)
{
    AppendFile file;
    if (!file.open(path))
        return files.end();
    while (!uses.empty() && files.size() >= limit())
        closeFile(files.find(uses.back()));
    uses.push_front(key);
    return files.emplace(key, OpenFile{std::move(file), path, uses.begin()}).first;
}

int SysLogFiles::append(const std::string &key, const std::string &path, std::string_view bytes)
{
    auto file = files.find(key);
    if (file != files.end() && file->second.path != path) {
        closeFile(file);
        file = files.end();
    }
    if (file == files.end()) {
        file = open(key, path);
        if (file == files.end())
            return -1;
    } else {
        uses.splice(uses.begin(), uses, file->second.use);
    }
    const int error = file->second.file.append(bytes);
    if (error != 0)
        closeFile(file);
    return error;
}

void SysLogFiles::close(const std::string &key)
{
    const auto file = files.find(key);
    if (file != files.end())
        closeFile(file);
}

void SysLogFiles::closeAll()
{
    files.clear();
    uses.clear();
}

void SysLogFiles::closeFile(Files::iterator file)
{
    uses.erase(file->second.use);
    files.erase(file);
}

} // namespace tarvo
