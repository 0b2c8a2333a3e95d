// Connecting and disconnecting hosts, the connections' open and close callbacks, status
// polling and the heartbeat pass.
#include "app/AgentLinks.h"

#include "display/GridTables.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <limits>
#include <optional>

namespace tarvo {

namespace {

const std::string kNotConnected = "未连接";
const std::string kConnected = "已连接";
const std::string kDisconnected = "已断开";

// Row fields emptied when a host is disconnected by command.
const char *const kStatusFields[] = {"activePBUs", "InactivePBUs", "OESVersion", "EnvNo",
                                     "CpuUsage", "DiskUsage", "MemoryUsage", "PbuPrinted"};
// ... and in addition when its connection has closed.
const char *const kProgramFields[] = {"OESStatusA", "OESStatusB", "WarningLevelA",
                                      "WarningLevelB"};

} // namespace

AgentLinks::AgentLinks(AgentLinksOwner &linksOwner, AgentLinkModel linkModel,
                       std::string directory, TMMSocketProcessor::Settings settings)
    : owner(linksOwner), model(linkModel), workingDirectory(std::move(directory)),
      connectionSettings(std::move(settings))
{
}

AgentLinks::~AgentLinks()
{
    // The sockets go silently: nothing may call back into a window that is going away.
    for (auto &connection : connections)
        connection->abandon();
}

TMMSocketProcessor *&AgentLinks::registryEntry(const std::string &channelIP)
{
    auto it = connectionRegistry.find(channelIP);
    if (it == connectionRegistry.end())
        it = connectionRegistry.emplace(channelIP, nullptr).first;
    return it->second;
}

HostSubject *AgentLinks::currentHost() const
{
    if (model.hostTable.isEmpty())
        return nullptr;
    return model.hostPool.find(model.hostTable.value(kHostKeyField));
}

void AgentLinks::report(const std::string &text)
{
    owner.setStatusText(text);
    logEvent(text, false);
}

double AgentLinks::nowMs() const
{
    return connectionSettings.nowMs ? connectionSettings.nowMs() : wallClockMs();
}

void AgentLinks::logRepeated(const std::string &kind, const std::string &text)
{
    if (std::optional<std::string> line = repeats.admit(kind, text, nowMs()))
        owner.writeLog(*line, false, false);
}

void AgentLinks::writeDueLines()
{
    const double now = nowMs();
    for (const std::string &line : repeats.due(now))
        owner.writeLog(line, false, false);
    const std::string day = owner.timeStamp().substr(0, 10);
    for (auto &[ip, state] : sysLogs) {
        if (std::optional<long> dropped = state.budget.ended(now, day))
            logEvent(sysLogResumedText(ip, *dropped), false);
    }
}

void AgentLinks::notePoll(const std::string &channelIP, HostSubject &host)
{
    if (host.unansweredPolls >= kStalePolls && !host.stale) {
        host.stale = true;
        report("Error[报盘机[Ip:" + channelIP + "]连续" + std::to_string(kStalePolls) +
               "次轮询未应答]");
    }
    ++host.unansweredPolls;
}

void AgentLinks::noteAnswered(HostSubject &host)
{
    host.lastAnswerMs = nowMs();
    if (!host.stale)
        return;
    host.stale = false;
    logEvent("报盘机[Ip:" + host.getChannelIP() + "]恢复应答", false);
}

// ---------------------------------------------------------------- connecting

void AgentLinks::connectCurrentHost()
{
    RecordSet &hosts = model.hostTable;
    if (hosts.isEmpty()) {
        logEvent("Error[没有配置报盘机]", false);
        return;
    }
    const std::string ip = hosts.value(kHostKeyField);
    HostSubject *host = model.hostPool.find(ip);
    if (!host)
        return;
    host->setHostStatus("未知");
    const std::string port = host->getPort();
    TMMSocketProcessor *&entry = registryEntry(ip);
    logEvent("开始连接" + ip, false);
    if (!entry || entry->isFailed()) {
        if (entry)
            entry->abandon();
        connections.push_back(
            std::make_unique<TMMSocketProcessor>(ip, *this, port, connectionSettings));
        // The constructor may have reached the registry (a failed open logs); look again.
        registryEntry(ip) = connections.back().get();
    } else if (!entry->isOpen()) {
        entry->reconnect(port);
    }
}

void AgentLinks::connectHosts(bool tickedOnly)
{
    HostGridWalk walk(model);
    RecordSet &hosts = model.hostTable;
    for (const auto &[ip, host] : model.hostPool) {
        if (!hosts.locate(kHostKeyField, ip))
            continue;
        if (!tickedOnly || hosts.asBool(kHostCheckField))
            connectCurrentHost();
    }
}

void AgentLinks::connectSelectedHosts()
{
    {
        HostGridWalk walk(model);
        RecordSet &hosts = model.hostTable;
        for (RecId id : model.hostGrid.selectedRecIds()) {
            if (!hosts.locateRecId(id))
                continue;
            const std::string &state = hosts.value("Connection");
            if (state == kNotConnected || state == kDisconnected)
                connectCurrentHost();
        }
    }
    owner.refreshCommandStates(1);
}

// ---------------------------------------------------------------- disconnecting

void AgentLinks::clearRowStatus(bool alsoProgramStates)
{
    RecordSet &hosts = model.hostTable;
    hosts.edit();
    for (const char *field : kStatusFields)
        hosts.setValue(field, {});
    if (alsoProgramStates) {
        for (const char *field : kProgramFields)
            hosts.setValue(field, {});
    }
    hosts.post();
}

void AgentLinks::disconnectCurrentRow()
{
    RecordSet &hosts = model.hostTable;
    const std::string ip = hosts.value(kHostKeyField);
    TMMSocketProcessor *connection = nullptr;
    if (currentConnection(connection)) {
        logEvent("开始断开" + connection->getChannelIP(), false);
        connection->disconnect();
        // The close callback has moved the cursor and put it back; the row is still there.
        if (hosts.locate(kHostKeyField, ip))
            clearRowStatus(false);
    }
    if (HostSubject *host = model.hostPool.find(ip))
        host->setStopped();
    owner.refreshCommandStates(1);
}

void AgentLinks::disconnectCheckedHosts()
{
    HostGridWalk walk(model);
    RecordSet &hosts = model.hostTable;
    for (const auto &[ip, host] : model.hostPool) {
        if (hosts.locate(kHostKeyField, ip) && hosts.asBool(kHostCheckField))
            disconnectCurrentRow();
    }
}

void AgentLinks::disconnectSelectedHosts()
{
    HostGridWalk walk(model);
    RecordSet &hosts = model.hostTable;
    for (RecId id : model.hostGrid.selectedRecIds()) {
        if (!hosts.locateRecId(id) || hosts.value("Connection") != kConnected)
            continue;
        disconnectCurrentRow();
    }
}

void AgentLinks::dropHost(const std::string &channelIP)
{
    auto it = connectionRegistry.find(channelIP);
    if (it != connectionRegistry.end() && it->second && it->second->isOpen()) {
        logEvent("开始断开" + channelIP, false);
        it->second->disconnect();
    }
    // Commands point at the host; none may outlive it.
    model.commandPool.purge(channelIP, std::numeric_limits<int32_t>::max());
}

bool AgentLinks::currentConnection(TMMSocketProcessor *&connection)
{
    if (model.hostTable.isEmpty())
        return false;
    connection = registryEntry(model.hostTable.value(kHostKeyField));
    return connection && connection->isOpen();
}

// ---------------------------------------------------------------- callbacks

void AgentLinks::agentConnected(const std::string &channelIP)
{
    {
        HostGridWalk walk(model);
        RecordSet &hosts = model.hostTable;
        if (hosts.locate(kHostKeyField, channelIP)) {
            hosts.edit();
            hosts.setValue("Connection", kConnected);
            hosts.post();
            if (HostSubject *host = model.hostPool.find(channelIP)) {
                host->setHostStatus("正常运行");
                host->unansweredPolls = 0;
                host->stale = false;
            }
            sendStatusRequest();
        }
    }
    logEvent("报盘机[Ip:" + channelIP + "]连接成功", true);
    owner.refreshCommandStates(1);
}

void AgentLinks::agentDisconnected(const std::string &channelIP, const std::string &)
{
    {
        HostGridWalk walk(model);
        RecordSet &hosts = model.hostTable;
        if (hosts.locate(kHostKeyField, channelIP)) {
            if (HostSubject *host = model.hostPool.find(channelIP)) {
                host->setStopped();
                host->unansweredPolls = 0;
                host->stale = false;
            }
            hosts.edit();
            hosts.setValue("Connection", kDisconnected);
            hosts.post();
            clearRowStatus(true);

            RecordSet &pbus = model.pbuTable;
            const GridState::Bookmark pbuMark = model.pbuGrid.remember(kPbuKeyField);
            SuspendGuard pbuGuard(pbus);
            while (pbus.locate("HostIp", channelIP)) {
                if (pbus.asBool(kPbuCheckField))
                    --model.checkedPbuCount;
                pbus.deleteCurrent();
            }
            model.pbuGrid.restore(pbuMark, kPbuKeyField, true);
            model.commandPool.purge(channelIP, std::numeric_limits<int32_t>::max());
        }
    }
    logEvent("报盘机[Ip:" + channelIP + "]断开连接", true);
    owner.raiseAlarm();
    owner.refreshCommandStates(1);
}

void AgentLinks::connectionLog(const std::string &text) { owner.writeLog(text, false, false); }

void AgentLinks::connectionEvent(const std::string &text) { owner.writeLog(text, false, true); }

bool AgentLinks::isDebugLogging() const { return owner.isDebugLogging(); }

// ---------------------------------------------------------------- polling and heartbeats

void AgentLinks::sendStatusRequest()
{
    TMMSocketProcessor *connection = nullptr;
    if (!currentConnection(connection))
        return;
    try {
        const int32_t sequence = connection->getSentCount();
        Message message(PROTOCOL_VERSION, "C", std::to_string(sequence),
                        std::make_unique<StatusRequestMessageBody>());
        const std::string &ip = model.hostTable.value(kHostKeyField);
        HostSubject *host = model.hostPool.find(ip);
        if (host)
            notePoll(ip, *host);
        connection->send(message.encode());
        if (host) {
            model.commandPool.add(std::make_unique<StatusMessageCommand>(sequence, ip, host));
            // An agent that stays connected but never answers would make the waiting
            // commands grow all day: only the latest ones are kept.
            if (sequence >= kMostWaitingAnswers)
                model.commandPool.purge(ip, sequence - kMostWaitingAnswers + 1);
        }
    } catch (const std::exception &e) {
        owner.writeLog("Error[" + std::string(e.what()) + "]", false, false);
    }
}

void AgentLinks::pollHostStatus()
{
    writeDueLines();
    HostGridWalk walk(model);
    RecordSet &hosts = model.hostTable;
    for (const auto &[ip, host] : model.hostPool) {
        if (hosts.locate(kHostKeyField, ip))
            sendStatusRequest();
    }
}

void AgentLinks::runTroubleshootingStep(const std::string &channelIP, const std::string &stepName)
{
    HostGridWalk walk(model);
    RecordSet &hosts = model.hostTable;
    if (!hosts.locate(kHostKeyField, channelIP))
        return;
    HostSubject *host = model.hostPool.find(channelIP);
    if (!host)
        return;
    const std::string connection = hosts.value("Connection");
    if (stepName == "AgentStatus") {
        if (connection == kConnected) {
            host->setTroubleShootingText({});
            return;
        }
        TMMSocketProcessor *&entry = registryEntry(channelIP);
        if (!entry) {
            connections.push_back(std::make_unique<TMMSocketProcessor>(channelIP, *this,
                                                                       host->getPort(),
                                                                       connectionSettings));
            registryEntry(channelIP) = connections.back().get();
        } else if (!entry->isOpen()) {
            entry->reconnect(host->getPort());
        }
        host->setTroubleShootingText("正在尝试连接探针...");
        return;
    }
    if (stepName == "AgentStatus1") {
        if (connection == kNotConnected || connection == kDisconnected) {
            host->setTroubleShootingText("探针没有启动或端口设置错误(当前监视界面端口设置为" +
                                         host->getPort() + "，探针端的默认端口为10012)");
            host->troubleShootingPending = false;
        } else if (connection == kConnected) {
            host->setTroubleShootingText({});
            host->troubleShootingPending = false;
        }
        return;
    }
    TMMSocketProcessor *open = nullptr;
    if (!currentConnection(open))
        return;  // nothing is sent: the window reports the step as timed out
    try {
        const int32_t sequence = open->getSentCount();
        Message message(PROTOCOL_VERSION, "C", std::to_string(sequence),
                        std::make_unique<TroubleShootingRequestMessageBody>("TroubleShooting",
                                                                            stepName));
        open->send(message.encode());
        model.commandPool.add(
            std::make_unique<TroubleShootingCommand>(sequence, channelIP, host));
    } catch (const std::exception &e) {
        owner.writeLog("Error[" + std::string(e.what()) + "]", false, false);
    }
}

void AgentLinks::sendHeartbeats()
{
    const auto now = [this] {
        return connectionSettings.nowMs ? connectionSettings.nowMs() : wallClockMs();
    };
    try {
        for (const auto &[ip, connection] : connectionRegistry) {
            if (!connection || !connection->isOpen())
                continue;
            if (now() - connection->getLastSendTime() <= kHeartbeatQuietMs)
                continue;
            if (!connection->send(heartbeatText)) {
                owner.writeLog("Beat message sent to " + connection->getChannelIP() + "failed",
                               false, false);
                return;
            }
            owner.writeLog("Beat message sent to " + connection->getChannelIP(), false, false);
        }
    } catch (...) {
        // A failed pass ends silently; the next one comes a second later.
    }
}

} // namespace tarvo
