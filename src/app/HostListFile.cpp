// Reading and writing the host list file.
#include "app/HostListFile.h"

#include "platform/Files.h"
#include "platform/Gbk.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {

bool fitsHostListField(std::string_view value)
{
    // A loop of its own: find_first_of looks every byte up in the set with a call, and the
    // list is compared at every poll, 100 000 PBU fields at 5000 hosts. (No second byte of a
    // GBK character is one of these.)
    for (const char c : value) {
        if (c == ',' || c == '\r' || c == '\n')
            return false;
    }
    return true;
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

bool hostLineMatches(const Host &host, std::string_view text, size_t &at)
{
    auto take = [&text, &at](std::string_view expected) {
        if (text.compare(at, expected.size(), expected) != 0)
            return false;
        at += expected.size();
        return true;
    };
    auto field = [&take](std::string_view value) { return take(value) && take(","); };
    char count[24];
    if (!field(host.getHostName()) || !field(host.getChannelIP()) || !field(host.getPort()) ||
        !field(writableFlag(host.getOesAExist())) || !field(writableFlag(host.getOesBExist())))
        return false;
    const auto [end, error] = std::to_chars(count, count + sizeof count, writablePbuCount(host));
    if (error != std::errc() || !field(std::string_view(count, end - count)))
        return false;
    for (const auto &pbu : host.getPbuList()) {
        if (pbuFits(*pbu) && (!field(pbu->getOesName()) || !field(pbu->getOperatorNumber())))
            return false;
    }
    return take("\r\n");
}

bool hostListEquals(const HostSubjectPool &pool, std::string_view text)
{
    size_t at = 0;
    for (const auto &[ip, subject] : pool) {
        if (!hostLineMatches(*subject, text, at))
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
    load.notGbk = gbk::looksNotGbk(load.text);
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

std::optional<std::string> saveHostList(const std::string &path, const HostSubjectPool &pool,
                                        const HostListFileCalls &calls)
{
    return replaceFile(path, formatHostList(pool), calls);
}

} // namespace tarvo
