// Rewrites a host's row and its PBU rows after every status answer: change flags, PBU
// counts, and the error beep when a program or a PBU stops.
#pragma once

#include "display/AlarmEvent.h"

#include "framework/GridState.h"
#include "framework/RecordSet.h"
#include "host/HostObservers.h"

#include <functional>
#include <vector>
#include <string>

namespace tarvo {

class Host;
class Pbu;

// One observer serves every host. Nothing is owned. Rows are only ever found through the
// key indexes (ChannelIP, PbuIden), so an update costs the same however many rows the
// tables hold.
class DataGridHostObserver : public HostObserver {
public:
    // raiseAlarm sets the error-beep thread's pending count to 5 (set, not added); it may be
    // empty. It is told which program or PBU stopped: a program once per update of its host.
    using AlarmSink = std::function<void(const AlarmEvent&)>;
    DataGridHostObserver(RecordSet& hostTable, RecordSet& pbuTable, GridState& hostGrid,
                         GridState& pbuGrid, int& checkedPbuCount, AlarmSink raiseAlarm);

    // A host whose state is "未知" or "停止" only gets its name rewritten. Otherwise its row
    // takes the reported state, and its PBU rows are filled: the first time after the
    // host was added or disconnected (PbuPrinted "") only PBUs without a row are appended
    // and counted; later, stale PBUs lose their row and every other PBU's row is rewritten.
    // Both grids keep the operator's current row and first visible row, and every
    // exception leaves both tables out of their suspend brackets with no row half written.
    // A host without a row is left alone.
    void update(HostSubject& host) override;

private:
    enum class Change { None, Other, ToStopped };
    struct Counts {
        int active = 0;
        int sleeping = 0;
    };

    void writeHostState(Host& host);
    void fillFirstTime(Host& host, Counts& counts);
    void refreshPbus(Host& host, Counts& counts);
    void writeCounts(Host& host, RecId hostRow, bool firstFill, const Counts& counts);
    // Fills the PBU table's edit buffer (an edited or an appended row) and posts it.
    void fillPbuRow(const Host& host, Pbu& pbu, bool newRow, Counts& counts);
    // A change-flagged PBU cell: "T" and the new text when it differs, else "F". ToStopped
    // when it changed to "停止" from anything but "未知".
    Change setFlagged(int field, const std::string& value, std::string& flag);
    void buildKey(const Pbu& pbu, const std::string& channelIP);
    void alarm(const Host& host, const Pbu* pbu, const std::string& program);

    RecordSet& hostTable_;
    RecordSet& pbuTable_;
    GridState& hostGrid_;
    GridState& pbuGrid_;
    int& checkedPbuCount_;
    AlarmSink raiseAlarm_;
    std::vector<std::string> programsStopped_;  // this update's, so each alarms once
    std::string key_;  // reused for every PBU's PbuIden so the per-PBU path does not allocate

    // Field indexes, looked up once: a status answer sets hundreds of cells.
    struct HostFields {
        int hostName, envNo, oesStatusA, oesStatusB, oesVersion, cpuUsage, diskUsage,
            memoryUsage, warningLevelA, warningLevelB, pbuPrinted, activePbus, inactivePbus;
    } host_;
    struct PbuFields {
        int oes, oesStatus, status, warningLevel, hostIp, operatorCode, id, csIP, localIP,
            submitted, responsed, cjhb, maxIndex, capability, work, key;
    } pbu_;
};

// The EnvNo cell for an envNo text: "生产环境" for 0, "" for -1, else
// "测试环境[" + the text as received + "]" (also for a text that is not a decimal integer).
// Blanks around the number are ignored when it is read.
std::string envNoText(std::string_view envNo);

} // namespace tarvo
