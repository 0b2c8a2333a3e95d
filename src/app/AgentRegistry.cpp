// Connecting and disconnecting hosts, and the connections' open and close callbacks.
#include "app/AgentRegistry.h"

#include "app/AppTexts.h"

#include <limits>

namespace tarvo {

namespace {

// Row fields emptied when a host is disconnected by command.
const char *const kStatusFields[] = {"activePBUs", "InactivePBUs", "OESVersion", "EnvNo",
                                     "CpuUsage", "DiskUsage", "MemoryUsage", "PbuPrinted"};
// ... and in addition when its connection has closed.
const char *const kProgramFields[] = {"OESStatusA", "OESStatusB", "WarningLevelA",
                                      "WarningLevelB"};

} // namespace

AgentRegistry::AgentRegistry(AgentLinksOwner &registryOwner, AgentLinkModel registryModel,
                             AgentConnectionOwner &connectionCallbacks,
                             TMMSocketProcessor::Settings settings,
                             std::function<void()> askStatusOfCurrentRow)
    : owner(registryOwner), model(registryModel), callbacks(connectionCallbacks),
      connectionSettings(std::move(settings)), askStatus(std::move(askStatusOfCurrentRow))
{
}

AgentRegistry::~AgentRegistry()
{
    // The sockets go silently: nothing may call back into a window that is going away.
    for (auto &connection : connections)
        connection->abandon();
}

TMMSocketProcessor *&AgentRegistry::registryEntry(const std::string &channelIP)
{
    auto it = connectionRegistry.find(channelIP);
    if (it == connectionRegistry.end())
        it = connectionRegistry.emplace(channelIP, nullptr).first;
    return it->second;
}

void AgentRegistry::ensureConnecting(const std::string &channelIP, const std::string &port,
                                     AfterFailure afterFailure)
{
    TMMSocketProcessor *&entry = registryEntry(channelIP);
    if (!entry || (afterFailure == AfterFailure::Replace && entry->isFailed())) {
        if (entry)
            entry->abandon();
        connections.push_back(
            std::make_unique<TMMSocketProcessor>(channelIP, callbacks, port, connectionSettings));
        // The constructor may have reached the registry (a failed open logs); look again.
        registryEntry(channelIP) = connections.back().get();
    } else if (!entry->isOpen()) {
        entry->reconnect(port);
    }
}

// ---------------------------------------------------------------- connecting

void AgentRegistry::connectCurrentHost()
{
    RecordSet &hosts = model.hostTable;
    if (hosts.isEmpty()) {
        owner.logEvent("Error[没有配置报盘机]", false);
        return;
    }
    const std::string ip = hosts.value(kHostKeyField);
    HostSubject *host = model.hostPool.find(ip);
    if (!host)
        return;
    host->setHostStatus("未知");
    owner.logEvent("开始连接" + ip, false);
    ensureConnecting(ip, host->getPort(), AfterFailure::Replace);
}

void AgentRegistry::connectHosts(bool tickedOnly)
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

bool AgentRegistry::connectHost(const std::string &channelIP)
{
    HostGridWalk walk(model);
    if (!model.hostTable.locate(kHostKeyField, channelIP))
        return false;
    connectCurrentHost();
    return true;
}

void AgentRegistry::connectSelectedHosts()
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
    owner.refreshCommandStates(CommandMode::AfterChange);
}

// ---------------------------------------------------------------- disconnecting

void AgentRegistry::clearRowStatus(bool alsoProgramStates)
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

void AgentRegistry::disconnectCurrentRow()
{
    RecordSet &hosts = model.hostTable;
    const std::string ip = hosts.value(kHostKeyField);
    TMMSocketProcessor *connection = nullptr;
    if (currentConnection(connection)) {
        owner.logEvent("开始断开" + connection->getChannelIP(), false);
        for (LinkListener *listener : listeners)
            listener->linkClosedByCommand(ip);
        connection->disconnect();
        // The close callback has moved the cursor and put it back; the row is still there.
        if (hosts.locate(kHostKeyField, ip))
            clearRowStatus(false);
    }
    if (HostSubject *host = model.hostPool.find(ip))
        host->setStopped();
    owner.refreshCommandStates(CommandMode::AfterChange);
}

void AgentRegistry::disconnectCheckedHosts()
{
    HostGridWalk walk(model);
    RecordSet &hosts = model.hostTable;
    for (const auto &[ip, host] : model.hostPool) {
        if (hosts.locate(kHostKeyField, ip) && hosts.asBool(kHostCheckField))
            disconnectCurrentRow();
    }
}

void AgentRegistry::disconnectSelectedHosts()
{
    HostGridWalk walk(model);
    RecordSet &hosts = model.hostTable;
    for (RecId id : model.hostGrid.selectedRecIds()) {
        if (!hosts.locateRecId(id) || hosts.value("Connection") != kConnected)
            continue;
        disconnectCurrentRow();
    }
}

void AgentRegistry::dropHost(const std::string &channelIP)
{
    auto it = connectionRegistry.find(channelIP);
    for (LinkListener *listener : listeners)
        listener->linkClosedByCommand(channelIP);
    if (it != connectionRegistry.end() && it->second && it->second->isOpen()) {
        owner.logEvent("开始断开" + channelIP, false);
        it->second->disconnect();
    }
    // Commands point at the host; none may outlive it.
    model.commandPool.purge(channelIP, std::numeric_limits<int32_t>::max());
}

bool AgentRegistry::currentConnection(TMMSocketProcessor *&connection)
{
    if (model.hostTable.isEmpty())
        return false;
    connection = registryEntry(model.hostTable.value(kHostKeyField));
    return connection && connection->isOpen();
}

// ---------------------------------------------------------------- callbacks

void AgentRegistry::agentConnected(const std::string &channelIP)
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
            askStatus();
        }
    }
    owner.logEvent("报盘机[Ip:" + channelIP + "]连接成功", true);
    owner.refreshCommandStates(CommandMode::AfterChange);
    for (LinkListener *listener : listeners)
        listener->linkOpened(channelIP);
}

void AgentRegistry::agentDisconnected(const std::string &channelIP)
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
            const int checkField = pbus.requireField(kPbuCheckField);
            pbus.deleteWhere("HostIp", channelIP, [&](int row) {
                if (pbus.valueAt(row, checkField) == kTrueText)
                    --model.checkedPbuCount;
            });
            model.pbuGrid.restore(pbuMark, kPbuKeyField, true);
            model.commandPool.purge(channelIP, std::numeric_limits<int32_t>::max());
        }
    }
    const std::string text = "报盘机[Ip:" + channelIP + "]断开连接";
    owner.logEvent(text, true);
    AlarmEvent event;
    event.kind = AlarmEvent::Kind::ConnectionLost;
    event.channelIP = channelIP;
    if (const HostSubject *host = model.hostPool.find(channelIP))
        event.hostName = host->getHostName();
    event.state = kDisconnected;
    event.text = text;
    owner.raiseAlarm(event);
    owner.refreshCommandStates(CommandMode::AfterChange);
    for (LinkListener *listener : listeners)
        listener->linkLost(channelIP);
}

} // namespace tarvo
