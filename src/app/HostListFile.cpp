// Reading and writing the host list file.
#include "app/HostListFile.h"

#include "platform/Files.h"
#include "platform/Gbk.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {

bool fitsHostListField(std::string_view value)
{
    return value.find_first_of(",\r\n") == std::string_view::npos;
}

namespace {

bool pbuFits(const Pbu &pbu)
{
    return fitsHostListField(pbu.getOesName()) && fitsHostListField(pbu.getOperatorNumber());
}

const std::string &writableFlag(const std::string &flag)
{
    static const std::string no = "N";
    return fitsHostListField(flag) ? flag : no;
}

size_t writablePbuCount(const Host &host)
{
    size_t n = 0;
    for (const auto &pbu : host.getPbuList())
        n += pbuFits(*pbu);
    return n;
}

// A value for a log line: CR and LF shown as \r and \n.
std::string shown(std::string_view value)
{
    std::string text;
    for (const char c : value) {
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else
            text += c;
    }
    return text;
}

} // namespace

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
    field(writableFlag(host.getOesAExist()));
    field(writableFlag(host.getOesBExist()));
    field(std::to_string(writablePbuCount(host)));
    for (const auto &pbu : host.getPbuList()) {
        if (!pbuFits(*pbu))
            continue;
        field(pbu->getOesName());
        field(pbu->getOperatorNumber());
    }
    return line;
}

bool hasUnwritableParts(const Host &host)
{
    return !fitsHostListField(host.getOesAExist()) || !fitsHostListField(host.getOesBExist()) ||
           writablePbuCount(host) != host.getPbuList().size();
}

std::vector<std::string> unwritableParts(const Host &host)
{
    std::vector<std::string> parts;
    if (!fitsHostListField(host.getOesAExist()))
        parts.push_back("A股标志 " + shown(host.getOesAExist()));
    if (!fitsHostListField(host.getOesBExist()))
        parts.push_back("B股标志 " + shown(host.getOesBExist()));
    for (const auto &pbu : host.getPbuList()) {
        if (!pbuFits(*pbu))
            parts.push_back("PBU " + shown(pbu->getOesName()) + " " +
                            shown(pbu->getOperatorNumber()));
    }
    return parts;
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
            !field(host.getPort()) || !field(writableFlag(host.getOesAExist())) ||
            !field(writableFlag(host.getOesBExist())))
            return false;
        const auto [end, error] =
            std::to_chars(count, count + sizeof count, writablePbuCount(host));
        if (error != std::errc() || !field(std::string_view(count, end - count)))
            return false;
        for (const auto &pbu : host.getPbuList()) {
            if (pbuFits(*pbu) && (!field(pbu->getOesName()) || !field(pbu->getOperatorNumber())))
                return false;
        }
        if (!take("\r\n"))
            return false;
    }
    return at == text.size();
}

namespace {

// Larger than any list a console watches (5000 hosts of 20 PBUs take about 3 MB).
constexpr size_t kMaxHostListBytes = 64u << 20;

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
    size_t at() const { return position; }

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
    return parseHostList(text, nullptr);
}

std::vector<std::unique_ptr<HostSubject>> parseHostList(std::string_view text,
                                                        std::vector<DroppedRecord> *dropped,
                                                        std::vector<int> *lines)
{
    std::vector<std::unique_ptr<HostSubject>> hosts;
    FieldReader reader(text);
    int line = 1;
    size_t counted = 0;  // text before this position is counted in `line`
    while (reader.ok()) {
        // The record starts at its first byte that is no line break.
        size_t start = reader.at();
        while (start < text.size() && (text[start] == '\r' || text[start] == '\n'))
            ++start;
        for (; counted < start; ++counted)
            line += text[counted] == '\n';
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
        if (!reader.ok()) {
            if (dropped && start < text.size())
                dropped->push_back({line, "记录不完整(行尾缺少逗号或字段), 未载入"});
            break;
        }
        hosts.push_back(std::move(host));
        if (lines)
            lines->push_back(line);
    }
    return hosts;
}

namespace {

// Every non-ASCII byte is a lead byte 81-FE with a trail byte 40-FE other than 7F.
bool isGbk(std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80)
            continue;
        if (c == 0x80 || c == 0xFF || i + 1 == text.size())
            return false;
        const auto trail = static_cast<unsigned char>(text[++i]);
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF)
            return false;
    }
    return true;
}

// Every non-ASCII byte belongs to a well-formed UTF-8 sequence.
bool isUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3
                                               : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace

bool looksNotGbk(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        return true;
    return !gbk::isAscii(text) && (isUtf8(text) || !isGbk(text));
}

HostListLoad loadHostListFile(const std::string &path, HostSubjectPool &pool)
{
    HostListLoad load;
    const FileRead read = readRegularFile(path, kMaxHostListBytes, load.text);
    if (read.status == FileRead::Status::Missing)
        return load;
    load.missing = false;
    if (!read.ok()) {
        load.unreadable = true;
        load.error = read.error;
        return load;
    }
    load.notGbk = looksNotGbk(load.text);
    std::vector<int> lines;
    auto hosts = parseHostList(load.text, &load.dropped, &lines);
    for (size_t i = 0; i < hosts.size(); ++i) {
        const std::string ip = hosts[i]->getChannelIP();
        if (pool.add(hosts[i]))
            ++load.added;
        else
            load.dropped.push_back({lines[i], "线路IP" + ip + "已在前面的行中, 未载入"});
    }
    std::stable_sort(load.dropped.begin(), load.dropped.end(),
                     [](const DroppedRecord &a, const DroppedRecord &b) { return a.line < b.line; });
    return load;
}

int loadHostList(const std::string &path, HostSubjectPool &pool)
{
    return loadHostListFile(path, pool).added;
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
    return writeFileSafely(path, formatHostList(pool), calls);
}

std::optional<std::string> writeFileSafely(const std::string &path, const std::string &text,
                                           const HostListFileCalls &calls)
{
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

} // namespace tarvo
