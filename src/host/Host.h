// A watched order-submission host: identity, last reported state, programs and PBUs.
#pragma once

#include "host/Oes.h"
#include "host/Pbu.h"
#include "host/StatusNames.h"

#include "protocol/AssignText.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// The host's detail window, owned by the host once created; the display implements it.
class HostDetailWindow
{
public:
    virtual ~HostDetailWindow() = default;
};

using PbuList = std::vector<std::unique_ptr<Pbu>>;
using OesList = std::vector<std::unique_ptr<Oes>>;

class Host
{
public:
    Host();
    Host(std::string hostName, std::string channelIP, std::string port, std::string oesAExist,
         std::string oesBExist);
    virtual ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    // Empty when the input data is valid, else the message to show: "IP地址有误" when the
    // channel IP does not convert to an address other than 0 and 255.255.255.255,
    // "请输入端口" when the port is empty.
    std::string validateHost() const;

    // Applies the OES package of a status response: its first item goes to slot 0 (A-share),
    // its second to slot 1 (B-share), whatever their names say. Both items are read before
    // anything changes: a package with fewer than two items or an unreadable item throws
    // and leaves the host's programs as they were.
    void updateOes(std::string_view oesPackage);
    // Applies the PBU package: PBUs already stale are dropped, the others become stale;
    // every PBU of the package replaces its namesake and is appended, fresh, in package
    // order. A PBU therefore disappears when two responses in a row omit it. An unreadable
    // item throws; the items before it stay applied.
    void updatePbus(std::string_view pbuPackage);
    // The disconnected state: host "停止", programs "未知", PBUs "0"; records are kept.
    void setStopped();
    void clearOes() { oesList.clear(); }
    void clearPbus() { pbuList.clear(); }

    // The first PBU of `list` with this program name and operator number, or nullptr.
    static Pbu *findPbu(const PbuList &list, std::string_view oesName,
                        std::string_view operatorNumber);

    // Display state: threshold counters, PBU counts, change flags ("T"/"F").
    int32_t cpuOverCount = 0;
    int32_t memoryOverCount = 0;
    int32_t diskOverCount = 0;
    int32_t activePbuCount = 0;
    int32_t inactivePbuCount = 0;
    bool troubleShootingPending = false;
    std::string cpuUsageChanged = "F";
    std::string memoryUsageChanged = "F";
    std::string diskUsageChanged = "F";
    std::string activePbusChanged = "F";
    std::string inactivePbusChanged = "F";

    // Liveness of the connected host, kept by the console: status requests sent since the
    // last status answer was applied, whether the host counts as not answering, how many
    // answers were applied, and when the last one was (the console's clock, ms; 0: none).
    int32_t unansweredPolls = 0;
    bool stale = false;
    uint64_t statusAnswers = 0;
    double lastAnswerMs = 0;
    // A status answer applied in full.
    void noteStatusAnswer()
    {
        unansweredPolls = 0;
        ++statusAnswers;
    }

    PbuList &getPbuList() { return pbuList; }
    const PbuList &getPbuList() const { return pbuList; }
    OesList &getOesList() { return oesList; }
    const OesList &getOesList() const { return oesList; }

    const std::string &getHostName() const { return hostName; }
    const std::string &getChannelIP() const { return channelIP; }
    const std::string &getPort() const { return port; }
    const std::string &getHostStatus() const { return hostStatus; }
    const std::string &getCpuUsage() const { return cpuUsage; }
    const std::string &getMemoryUsage() const { return memoryUsage; }
    const std::string &getDiskUsage() const { return diskUsage; }
    const std::string &getHostTime() const { return HostTime; }
    const std::string &getEnvNo() const { return envNo; }
    const std::string &getTroubleShootingText() const { return troubleShootingText; }
    const std::string &getOesAExist() const { return oesAExist; }
    const std::string &getOesBExist() const { return oesBExist; }
    void setHostName(std::string v) { hostName = std::move(v); }
    void setChannelIP(std::string v) { channelIP = std::move(v); }
    void setPort(std::string v) { port = std::move(v); }
    // The six status values are set at every status answer: a copy is made in place.
    void setHostStatus(const std::string &v) { assignText(hostStatus, v.data(), v.size()); }
    void setHostStatus(std::string &&v) { hostStatus = std::move(v); }
    void setCpuUsage(const std::string &v) { assignText(cpuUsage, v.data(), v.size()); }
    void setCpuUsage(std::string &&v) { cpuUsage = std::move(v); }
    void setMemoryUsage(const std::string &v) { assignText(memoryUsage, v.data(), v.size()); }
    void setMemoryUsage(std::string &&v) { memoryUsage = std::move(v); }
    void setDiskUsage(const std::string &v) { assignText(diskUsage, v.data(), v.size()); }
    void setDiskUsage(std::string &&v) { diskUsage = std::move(v); }
    void setHostTime(const std::string &v) { assignText(HostTime, v.data(), v.size()); }
    void setHostTime(std::string &&v) { HostTime = std::move(v); }
    void setEnvNo(const std::string &v) { assignText(envNo, v.data(), v.size()); }
    void setEnvNo(std::string &&v) { envNo = std::move(v); }
    void setTroubleShootingText(std::string v) { troubleShootingText = std::move(v); }
    void setOesAExist(std::string v) { oesAExist = std::move(v); }
    void setOesBExist(std::string v) { oesBExist = std::move(v); }

    HostDetailWindow *getDetailWindow() const { return detailWindow.get(); }
    void setDetailWindow(std::unique_ptr<HostDetailWindow> window)
    {
        detailWindow = std::move(window);
    }

protected:
    PbuList pbuList;
    OesList oesList;
    std::string hostName;
    std::string channelIP;
    std::string port;
    std::string hostStatus;
    std::string cpuUsage;
    std::string memoryUsage;
    std::string diskUsage;
    std::string HostTime;
    std::string envNo = "-1";
    std::string troubleShootingText;
    std::string oesAExist;
    std::string oesBExist;
    // Declared last so that it is destroyed first, before the records it may show.
    std::unique_ptr<HostDetailWindow> detailWindow;
};

// The threshold rule of the resource alerts, applied once per status sample: a sample
// beyond the limit (above `limit`, or at or above it when `inclusive`) counts, any other
// sample resets the counter. Returns true, and resets the counter, once the count reaches
// one minute of samples (60000 / intervalMs, integer division). An empty or non-numeric
// usage leaves the counter alone.
bool countThreshold(int32_t &counter, std::string_view usage, int limit, bool inclusive,
                    unsigned intervalMs);

} // namespace tarvo
