// The host and PBU tables follow each status answer of a host.
#include "display/DataGridHostObserver.h"

#include "display/GridTables.h"
#include "host/HostSubject.h"
#include "host/StatusNames.h"
#include "protocol/Convert.h"

#include <algorithm>

namespace tarvo {

namespace {

const std::string& kUnknown = statusNames[0];
const std::string& kStopped = statusNames[1];
const std::string& kRunning = statusNames[3];
const std::string kChanged = "T";
const std::string kUnchanged = "F";

// Suspends a grid's record set and puts the operator back on their row and scroll
// position. When an exception ends the bracket, the row being edited is dropped so that no
// half-written row is posted by a later cursor move.
class GridBracket {
public:
    GridBracket(GridState& grid, std::string_view keyField, bool fallbackToFirst)
        : grid_(grid), keyField_(keyField), fallbackToFirst_(fallbackToFirst),
          mark_(grid.remember(keyField)), guard_(grid.recordSet())
    {
    }
    GridBracket(const GridBracket&) = delete;
    GridBracket& operator=(const GridBracket&) = delete;

    // The normal end: the operator's row becomes current again while still suspended, so
    // the grid sees one cursor move at most.
    void close()
    {
        closed_ = true;
        grid_.restore(mark_, keyField_, fallbackToFirst_);
    }

    // guard_, the last member, resumes after this body has run.
    ~GridBracket()
    {
        if (closed_)
            return;
        grid_.recordSet().cancel();
        try {
            grid_.restore(mark_, keyField_, fallbackToFirst_);
        } catch (...) {
            // The original exception is the one worth reporting.
        }
    }

private:
    GridState& grid_;
    std::string_view keyField_;
    bool fallbackToFirst_;
    GridState::Bookmark mark_;
    bool closed_ = false;
    SuspendGuard guard_;
};

// Stores the text only when it differs, so unchanged cells cost neither a copy nor a
// change notification.
void assign(RecordSet& set, int field, std::string_view value)
{
    if (set.value(field) != value)
        set.setValue(field, std::string(value));
}

// The host's cell with its change flag: "T" and the new text when it differs, else "F".
void setHostFlagged(RecordSet& set, int field, std::string value, std::string& flag)
{
    if (set.value(field) == value) {
        flag = kUnchanged;
        return;
    }
    flag = kChanged;
    set.setValue(field, std::move(value));
}

// A program slot of a host; before the first OES package a host has none, and then it reads
// as a program in the default state ("未知", no version, no warning level).
const Oes& programAt(const Host& host, size_t slot)
{
    static const Oes absent;
    const OesList& list = host.getOesList();
    return slot < list.size() && list[slot] ? *list[slot] : absent;
}

const Oes* programNamed(const Host& host, const std::string& oesName)
{
    for (const auto& oes : host.getOesList()) {
        if (oes && oes->getOesName() == oesName)
            return oes.get();
    }
    return nullptr;
}

} // namespace

std::string envNoText(std::string_view envNo)
{
    // Read as -?[0-9]+ without converting, so any length of digits is safe.
    std::string_view number = trimBlanks(envNo);
    const bool negative = !number.empty() && number.front() == '-';
    if (negative)
        number.remove_prefix(1);
    const bool decimal = !number.empty() && std::all_of(number.begin(), number.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    if (decimal) {
        number.remove_prefix(std::min(number.find_first_not_of('0'), number.size()));
        if (number.empty())
            return "生产环境";
        if (negative && number == "1")
            return {};
    }
    std::string text = "测试环境[";
    text += envNo;
    text += ']';
    return text;
}

DataGridHostObserver::DataGridHostObserver(RecordSet& hostTable, RecordSet& pbuTable,
                                           GridState& hostGrid, GridState& pbuGrid,
                                           int& checkedPbuCount, AlarmSink raiseAlarm)
    : hostTable_(hostTable), pbuTable_(pbuTable), hostGrid_(hostGrid), pbuGrid_(pbuGrid),
      checkedPbuCount_(checkedPbuCount), raiseAlarm_(std::move(raiseAlarm))
{
    auto h = [&hostTable](std::string_view name) { return hostTable.requireField(name); };
    host_ = {h("hostName"), h("EnvNo"), h("OESStatusA"), h("OESStatusB"), h("OESVersion"),
             h("CpuUsage"), h("DiskUsage"), h("MemoryUsage"), h("WarningLevelA"),
             h("WarningLevelB"), h("PbuPrinted"), h("activePBUs"), h("InactivePBUs")};
    auto p = [&pbuTable](std::string_view name) { return pbuTable.requireField(name); };
    pbu_ = {p("OES"), p("OESStatus"), p("Status"), p("WarningLevel"), p("HostIp"), p("Operator"),
            p("ID"), p("CSIP"), p("LocalIP"), p("Submitted"), p("Responsed"), p("CJHB"),
            p("MaxIndex"), p("Capability"), p("Work"), p(kPbuKeyField)};
}

void DataGridHostObserver::update(HostSubject& host)
{
    GridBracket hostBracket(hostGrid_, kHostKeyField, false);
    programsStopped_.clear();
    // Editing whatever row is current instead would overwrite another host's row.
    if (!hostTable_.locate(kHostKeyField, host.getChannelIP())) {
        hostBracket.close();
        return;
    }
    const RecId hostRow = hostTable_.currentRecId();
    hostTable_.edit();
    assign(hostTable_, host_.hostName, host.getHostName());
    const std::string& hostStatus = host.getHostStatus();
    if (hostStatus == kUnknown || hostStatus == kStopped) {
        hostTable_.post();
        hostBracket.close();
        return;
    }
    writeHostState(host);

    {
        GridBracket pbuBracket(pbuGrid_, kPbuKeyField, true);
        Counts counts;
        const bool firstFill = hostTable_.value(host_.pbuPrinted).empty();
        if (firstFill)
            fillFirstTime(host, counts);
        else
            refreshPbus(host, counts);
        writeCounts(host, hostRow, firstFill, counts);
        pbuBracket.close();
    }
    hostBracket.close();
}

void DataGridHostObserver::writeHostState(Host& host)
{
    RecordSet& row = hostTable_;
    assign(row, host_.envNo, envNoText(host.getEnvNo()));

    const Oes& a = programAt(host, 0);
    const Oes& b = programAt(host, 1);
    assign(row, host_.oesStatusA, a.getOesStatus());
    assign(row, host_.oesStatusB, b.getOesStatus());
    std::string_view version;
    if (a.getOesStatus() == kRunning)
        version = a.getOesVersion();
    else if (b.getOesStatus() == kRunning)
        version = b.getOesVersion();
    assign(row, host_.oesVersion, version);

    setHostFlagged(row, host_.cpuUsage, host.getCpuUsage() + "%", host.cpuUsageChanged);
    setHostFlagged(row, host_.diskUsage, host.getDiskUsage() + "%", host.diskUsageChanged);
    setHostFlagged(row, host_.memoryUsage, host.getMemoryUsage() + "%", host.memoryUsageChanged);

    assign(row, host_.warningLevelA, a.getWarningLevel());
    assign(row, host_.warningLevelB, b.getWarningLevel());
    row.post();
}

void DataGridHostObserver::fillFirstTime(Host& host, Counts& counts)
{
    hostTable_.edit();
    hostTable_.setValue(host_.pbuPrinted, "true");
    hostTable_.post();
    // PBU rows kept from before a disconnect stay as they are until the next refresh.
    for (const auto& pbu : host.getPbuList()) {
        if (pbu->stale)
            continue;
        buildKey(*pbu, host.getChannelIP());
        if (pbuTable_.locate(kPbuKeyField, key_))
            continue;
        pbuTable_.append();
        fillPbuRow(host, *pbu, true, counts);
    }
}

void DataGridHostObserver::refreshPbus(Host& host, Counts& counts)
{
    // A host's PBU rows were appended in the order of its list: the row after the one just
    // met is most likely the next PBU's.
    int hint = -1;
    for (const auto& pbu : host.getPbuList()) {
        buildKey(*pbu, host.getChannelIP());
        const bool found = pbuTable_.locateNear(pbu_.key, key_, hint);
        if (found && pbu->stale) {
            if (pbuTable_.asBool(kPbuCheckField))
                --checkedPbuCount_;
            pbuTable_.deleteCurrent();
            hint = pbuTable_.eof() ? -1 : pbuTable_.currentPosition();
            continue;
        }
        if (found) {
            pbuTable_.edit();
            fillPbuRow(host, *pbu, false, counts);
        } else if (!pbu->stale) {
            pbuTable_.append();
            fillPbuRow(host, *pbu, true, counts);
        }
        hint = found ? pbuTable_.currentPosition() + 1 : -1;
    }
}

void DataGridHostObserver::writeCounts(Host& host, RecId hostRow, bool firstFill,
                                       const Counts& counts)
{
    hostTable_.locateRecId(hostRow);
    hostTable_.edit();
    if (firstFill)
        hostTable_.setValue(host_.pbuPrinted, "true");
    host.activePbuCount = counts.active;
    host.inactivePbuCount = counts.sleeping;
    setHostFlagged(hostTable_, host_.activePbus, std::to_string(counts.active), host.activePbusChanged);
    setHostFlagged(hostTable_, host_.inactivePbus, std::to_string(counts.sleeping),
                   host.inactivePbusChanged);
    hostTable_.post();
}

void DataGridHostObserver::fillPbuRow(const Host& host, Pbu& pbu, bool newRow, Counts& counts)
{
    RecordSet& row = pbuTable_;
    assign(row, pbu_.oes, pbu.getOesName());

    // A PBU whose program is not in the answer keeps its state cells and is not counted.
    if (const Oes* program = programNamed(host, pbu.getOesName())) {
        const std::string& oesStatus = program->getOesStatus();
        if (setFlagged(pbu_.oesStatus, oesStatus, pbu.oesStatusChanged) == Change::ToStopped
            && !newRow)
            alarm(host, nullptr, pbu.getOesName());

        // A code that is not one of "0" to "5" has no word: the cell shows the code as
        // received, and the PBU neither beeps nor counts as active or sleeping.
        const std::string* word = &kUnknown;
        const std::string* text = word;
        if (oesStatus == kRunning) {
            word = statusNameOf(pbu.getPbuStatus());
            text = word ? word : &pbu.getPbuStatus();
        } else {
            pbu.setPbuStatus("0");
        }
        if (setFlagged(pbu_.status, *text, pbu.statusChanged) == Change::ToStopped && !newRow
            && word)
            alarm(host, &pbu, pbu.getOesName());
        if (word && *word == kRunning)
            ++counts.active;
        else if (word && *word == kStopped)
            ++counts.sleeping;
    }

    const std::string& operatorNumber = pbu.getOperatorNumber();
    const std::string_view number(operatorNumber);
    assign(row, pbu_.warningLevel, pbu.getWarningLevel());
    assign(row, pbu_.hostIp, host.getChannelIP());
    assign(row, pbu_.operatorCode, number.size() > 5 ? number.substr(5, 6) : std::string_view());
    assign(row, pbu_.id, number.substr(0, 5));

    setFlagged(pbu_.csIP, pbu.getCsIP(), pbu.csIPChanged);
    setFlagged(pbu_.localIP, pbu.getHostExtIP(), pbu.localIPChanged);
    setFlagged(pbu_.submitted, pbu.getPbuBidNumber(), pbu.submittedChanged);
    setFlagged(pbu_.responsed, pbu.getPbuResponseNumber(), pbu.responsedChanged);
    setFlagged(pbu_.cjhb, pbu.getPbuTradeNumber(), pbu.cjhbChanged);

    assign(row, pbu_.maxIndex, pbu.getMaxOrderNumber());
    assign(row, pbu_.capability, pbu.getCapability());
    assign(row, pbu_.work, pbu.getWork());
    if (newRow)
        row.setValue(pbu_.key, key_);
    row.post();
}

DataGridHostObserver::Change DataGridHostObserver::setFlagged(int field,
                                                              const std::string& value,
                                                              std::string& flag)
{
    const std::string& cell = pbuTable_.value(field);
    if (cell == value) {
        flag = kUnchanged;
        return Change::None;
    }
    // Leaving "未知" for "停止" is a program or PBU coming up stopped, not stopping.
    const bool stops = value == kStopped && cell != kUnknown;
    flag = kChanged;
    pbuTable_.setValue(field, value);
    return stops ? Change::ToStopped : Change::Other;
}

void DataGridHostObserver::buildKey(const Pbu& pbu, const std::string& channelIP)
{
    key_.clear();
    key_ += pbu.getOesName();
    key_ += pbu.getOperatorNumber();
    key_ += channelIP;
}

void DataGridHostObserver::alarm(const Host& host, const Pbu* pbu, const std::string& program)
{
    if (!raiseAlarm_)
        return;
    AlarmEvent event;
    event.channelIP = host.getChannelIP();
    event.hostName = host.getHostName();
    event.program = program;
    event.state = kStopped;
    if (pbu) {
        event.kind = AlarmEvent::Kind::PbuStopped;
        event.pbu = pbu->getOperatorNumber();
        event.text = "报盘机[Ip:" + event.channelIP + "]" + program + "的PBU" + event.pbu + "停止";
    } else {
        if (std::find(programsStopped_.begin(), programsStopped_.end(), program)
            != programsStopped_.end())
            return;
        programsStopped_.push_back(program);
        event.kind = AlarmEvent::Kind::ProgramStopped;
        event.text = "报盘机[Ip:" + event.channelIP + "]" + program + "停止";
    }
    raiseAlarm_(event);
}

} // namespace tarvo
