// The host list file as the console keeps it: loaded once with a report of what it found,
// saved at every save point, never written over when it could not be read, and kept beside
// itself before a save that drops records it could not load.
#include "app/HostListFile.h"

#include "platform/Files.h"

#include <algorithm>
#include <sys/stat.h>

namespace tarvo {

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

std::vector<std::string> HostListStore::load(HostSubjectPool &pool)
{
    const HostListLoad found = loadHostListFile(filePath, pool);
    std::vector<std::string> lines;
    const std::string file = "报盘机列表文件" + filePath;
    if (found.unreadable) {
        readOnly = true;
        lines.push_back("Error[" + file + "无法读取(" + found.error +
                        "), 本次运行不会保存报盘机列表, 以免覆盖它]");
        return lines;
    }
    if (found.notGbk)
        lines.push_back("Error[" + file + "不是GBK编码(可能是UTF-8), 中文别名会显示为乱码; 请存为GBK]");
    for (const DroppedRecord &record : found.dropped)
        lines.push_back("Error[" + file + "第" + std::to_string(record.line) + "行: " +
                        record.reason + "]");
    if (!found.dropped.empty())
        backupText = found.text;
    return lines;
}

std::string HostListStore::backupPath() const
{
    const std::string first = filePath + ".bak";
    std::string path = first;
    for (int n = 1; n < 100; ++n) {
        std::string existing;
        const FileRead read = readRegularFile(path, size_t(64) << 20, existing);
        if (read.status == FileRead::Status::Missing || (backupText && existing == *backupText))
            return path;
        path = first + "." + std::to_string(n);
    }
    return first;
}

std::optional<std::string> HostListStore::keepBackup()
{
    const std::string path = backupPath();
    if (auto error = replaceFile(path, *backupText, calls))
        return error;
    backupText.reset();
    notices.push_back("报盘机列表文件" + filePath + "中未载入的记录将在保存时去掉, 原文件已备份为" +
                      path);
    return std::nullopt;
}

void HostListStore::noteUnwritable(const HostSubjectPool &pool)
{
    for (const auto &[ip, host] : pool)
        noteUnwritable(ip, *host);
}

void HostListStore::noteUnwritable(const std::string &ip, const Host &host)
{
    if (!hasUnwritableParts(host))
        return;
    for (const std::string &part : unwritableParts(host)) {
        const std::string key = ip + " " + part;
        if (std::find(reportedParts.begin(), reportedParts.end(), key) != reportedParts.end())
            continue;
        reportedParts.push_back(key);
        notices.push_back("Error[报盘机" + ip + "的" + part + "含逗号或换行, 未写入报盘机列表文件]");
    }
}

bool HostListStore::saveStep(const HostSubjectPool &pool, size_t hosts,
                             std::optional<std::string> &failure)
{
    failure.reset();
    if (readOnly)
        return true;
    if (!roundNext) {
        // Nothing to compare with: the whole list is written at once.
        if (failed || !lastStamp) {
            failure = save(pool);
            return true;
        }
        roundNext.emplace();
        roundAt = 0;
        roundDiffers = false;
    }
    auto host = pool.lowerBound(*roundNext);
    for (size_t done = 0; host != pool.end() && done < hosts; ++host, ++done) {
        noteUnwritable(host->first, *host->second);
        if (!roundDiffers && !hostLineMatches(*host->second, lastText, roundAt))
            roundDiffers = true;
    }
    if (host != pool.end()) {
        *roundNext = host->first;
        return false;
    }
    roundNext.reset();
    if (!roundDiffers && roundAt == lastText.size() && stampOf(filePath) == lastStamp)
        return true;
    failure = write(pool);
    return true;
}

std::optional<std::string> HostListStore::save(const HostSubjectPool &pool)
{
    if (readOnly)
        return std::nullopt;  // reported once at loading
    roundNext.reset();
    noteUnwritable(pool);  // even when what is written stays the same
    // The list is saved at every poll; unchanged bytes in an untouched file need no write.
    // The comparison walks the hosts without building the text, which only a write needs.
    if (!failed && lastStamp && hostListEquals(pool, lastText) && stampOf(filePath) == lastStamp)
        return std::nullopt;
    return write(pool);
}

std::optional<std::string> HostListStore::write(const HostSubjectPool &pool)
{
    std::optional<std::string> error;
    if (backupText)
        error = keepBackup();
    if (!error)
        error = saveHostList(filePath, pool, calls);
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
