// Reading and writing the host list file.
#include "app/HostListFile.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {

std::string formatHostLine(const Host &host)
{
    std::string line;
    auto field = [&line](std::string_view value) {
        line.append(value);
        line.push_back(',');
    };
    field(host.getHostName());
    field(host.getChannelIP());
    field(host.getPort());
    field(host.getOesAExist());
    field(host.getOesBExist());
    field(std::to_string(host.getPbuList().size()));
    for (const auto &pbu : host.getPbuList()) {
        field(pbu->getOesName());
        field(pbu->getOperatorNumber());
    }
    return line;
}

std::string formatHostList(const HostSubjectPool &pool)
{
    std::string text;
    for (const auto &[ip, host] : pool) {
        text += formatHostLine(*host);
        text += "\r\n";
    }
    return text;
}

bool hostListEquals(const HostSubjectPool &pool, std::string_view text)
{
    size_t at = 0;
    auto take = [&text, &at](std::string_view expected) {
        if (text.compare(at, expected.size(), expected) != 0)
            return false;
        at += expected.size();
        return true;
    };
    auto field = [&take](std::string_view value) { return take(value) && take(","); };
    char count[24];
    for (const auto &[ip, subject] : pool) {
        const Host &host = *subject;
        if (!field(host.getHostName()) || !field(host.getChannelIP()) ||
            !field(host.getPort()) || !field(host.getOesAExist()) ||
            !field(host.getOesBExist()))
            return false;
        const auto [end, error] =
            std::to_chars(count, count + sizeof count, host.getPbuList().size());
        if (error != std::errc() || !field(std::string_view(count, end - count)))
            return false;
        for (const auto &pbu : host.getPbuList()) {
            if (!field(pbu->getOesName()) || !field(pbu->getOperatorNumber()))
                return false;
        }
        if (!take("\r\n"))
            return false;
    }
    return at == text.size();
}

namespace {

// Reads comma-terminated fields; reaching the end of the text inside a field fails the
// reader for good, as a stream does.
class FieldReader
{
public:
    explicit FieldReader(std::string_view text) : text(text) {}

    std::string next()
    {
        std::string value;
        if (failed)
            return value;
        while (position < text.size()) {
            const char c = text[position++];
            if (c == ',')
                return value;
            if (c == '\n' || c == '\r')
                continue;
            value.push_back(c);
        }
        failed = true;
        return value;
    }

    bool ok() const { return !failed; }

private:
    std::string_view text;
    size_t position = 0;
    bool failed = false;
};

// Leading decimal digits as strtol reads them; 0 without any.
long leadingNumber(const std::string &text)
{
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return errno == ERANGE ? 0 : value;
}

} // namespace

std::vector<std::unique_ptr<HostSubject>> parseHostList(std::string_view text)
{
    std::vector<std::unique_ptr<HostSubject>> hosts;
    FieldReader reader(text);
    while (reader.ok()) {
        std::string name = reader.next();
        std::string ip = reader.next();
        std::string port = reader.next();
        std::string flagA = reader.next();
        std::string flagB = reader.next();
        const long count = leadingNumber(reader.next());
        auto host = std::make_unique<HostSubject>(std::move(name), std::move(ip), std::move(port));
        host->setOesAExist(std::move(flagA));
        host->setOesBExist(std::move(flagB));
        for (long i = 0; i < count && reader.ok(); ++i) {
            std::string oesName = reader.next();
            std::string operatorNumber = reader.next();
            host->getPbuList().push_back(
                std::make_unique<Pbu>(std::move(oesName), std::move(operatorNumber)));
        }
        if (!reader.ok())
            break;
        hosts.push_back(std::move(host));
    }
    return hosts;
}

int loadHostList(const std::string &path, HostSubjectPool &pool)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return 0;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    int added = 0;
    for (auto &host : parseHostList(text)) {
        if (pool.add(host))
            ++added;
    }
    return added;
}

namespace {

std::string directoryOf(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string errorText(int error) { return std::strerror(error); }

const char kTemporarySuffix[] = ".tmp-XXXXXX";

bool writeAll(const HostListFileCalls &calls, int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = calls.write ? calls.write(fd, text.data() + done, text.size() - done)
                                      : ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::optional<std::string> saveHostList(const std::string &path, const HostSubjectPool &pool,
                                        const HostListFileCalls &calls)
{
    const std::string text = formatHostList(pool);
    std::string temp = path + kTemporarySuffix;
    const int fd = calls.createTemporary ? calls.createTemporary(temp.data())
                                         : ::mkstemp(temp.data());
    if (fd < 0)
        return errorText(errno);

    // Keep the permissions of the file being replaced.
    struct stat old{};
    mode_t mode = 0644;
    if (::stat(path.c_str(), &old) == 0)
        mode = old.st_mode & 07777;
    ::fchmod(fd, mode);

    if (!writeAll(calls, fd, text) || (calls.sync ? calls.sync(fd) : ::fsync(fd)) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return errorText(error);
    }
    if (::close(fd) != 0 ||
        (calls.rename ? calls.rename(temp.c_str(), path.c_str())
                      : ::rename(temp.c_str(), path.c_str())) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return errorText(error);
    }
    const int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

int removeStaleTemporaries(const std::string &path)
{
    const std::string directory = directoryOf(path);
    const size_t slash = path.find_last_of('/');
    const std::string prefix =
        (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp-";
    const size_t length = prefix.size() + sizeof kTemporarySuffix - sizeof ".tmp-";
    DIR *dir = ::opendir(directory.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() == length && name.substr(0, prefix.size()) == prefix &&
            ::unlink((directory + "/" + std::string(name)).c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

namespace {

// What identifies the file as this console left it: a rewrite by anybody else changes it.
std::optional<HostListStore::FileStamp> stampOf(const std::string &path)
{
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return HostListStore::FileStamp{info.st_ino, info.st_size, info.st_mtim.tv_sec,
                                    info.st_mtim.tv_nsec};
}

} // namespace

HostListStore::HostListStore(std::string path, HostListFileCalls fileCalls)
    : filePath(std::move(path)), calls(std::move(fileCalls))
{
    removeStaleTemporaries(filePath);
}

std::optional<std::string> HostListStore::save(const HostSubjectPool &pool)
{
    // The list is saved at every poll; unchanged bytes in an untouched file need no write.
    // The comparison walks the hosts without building the text, which only a write needs.
    if (!failed && lastStamp && hostListEquals(pool, lastText) && stampOf(filePath) == lastStamp)
        return std::nullopt;
    const auto error = saveHostList(filePath, pool, calls);
    if (!error) {
        failed = false;
        lastText = formatHostList(pool);
        lastStamp = stampOf(filePath);
        return std::nullopt;
    }
    lastStamp.reset();
    if (failed)
        return std::nullopt;
    failed = true;
    return "Error[报盘机列表文件" + filePath + "保存失败: " + *error + "]";
}

} // namespace tarvo
