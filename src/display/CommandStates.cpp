// Enabled state of the console's commands and the counters text, from the two tables.
#include "display/CommandStates.h"

#include "display/GridTables.h"

namespace tarvo {

std::string countersText(int checkedHostCount, int hostRows, int checkedPbuCount, int pbuRows)
{
    return "HOST:" + std::to_string(checkedHostCount) + "/" + std::to_string(hostRows) + " "
         + "PBU:" + std::to_string(checkedPbuCount) + "/" + std::to_string(pbuRows);
}

int countChecked(const RecordSet& table, std::string_view checkField)
{
    int field = table.requireField(checkField);
    int checked = 0;
    for (int i = 0; i < table.count(); ++i) {
        if (table.valueAt(i, field) == kTrueText)
            ++checked;
    }
    return checked;
}

namespace {

void hostPageStates(CommandStates& s, const RecordSet& hosts, int checkedHostCount)
{
    s.addHost = true;
    s.deleteHost = checkedHostCount != 0;
    s.hostStatusView = false;
    s.pbuStatusView = true;
    if (hosts.isEmpty()) {
        s.connect = s.disconnect = s.menuConnect = s.menuDisconnect = false;
        return;
    }
    int check = hosts.requireField(kHostCheckField);
    int connection = hosts.requireField("Connection");
    int statusA = hosts.requireField("OESStatusA");
    int statusB = hosts.requireField("OESStatusB");
    bool canConnect = false;
    bool canDisconnect = false;
    bool canShowDetails = false;
    // This runs after every message from every agent: the walk ends as soon as the answer
    // is known, and there is none without checked rows.
    int checkedLeft = checkedHostCount;
    for (int i = 0; i < hosts.count() && checkedLeft > 0; ++i) {
        if (hosts.valueAt(i, check) != kTrueText)
            continue;
        --checkedLeft;
        if (hosts.valueAt(i, connection) != "已连接") {
            canConnect = true;
        } else {
            canDisconnect = true;
            if (!hosts.valueAt(i, statusA).empty() && !hosts.valueAt(i, statusB).empty())
                canShowDetails = true;
        }
        if (canConnect && canDisconnect && (canShowDetails || checkedHostCount != 1))
            break;
    }
    if (checkedHostCount != 1)
        canShowDetails = false;
    s.connect = s.menuConnect = canConnect;
    s.disconnect = s.menuDisconnect = canDisconnect;
    s.hostDetail = canShowDetails;
}

} // namespace

CommandStates computeCommandStates(CommandMode mode, MainPage activePage,
                                   const RecordSet& hostTable, const RecordSet& pbuTable,
                                   int checkedHostCount, int checkedPbuCount)
{
    CommandStates s;
    if (mode == CommandMode::StartUp) {
        s.versionPanel = "版本：2009版   ";
        s.activePage = MainPage::Host;
        s.hostStatusView = s.hostDetail = s.menuConnect = s.menuDisconnect = false;
        s.deleteHost = s.connect = s.disconnect = false;
    } else if (activePage == MainPage::Host) {
        hostPageStates(s, hostTable, checkedHostCount);
    } else {
        s.connect = s.disconnect = s.addHost = s.deleteHost = false;
        s.hostDetail = s.pbuStatusView = s.menuConnect = s.menuDisconnect = false;
        s.hostStatusView = true;
    }
    s.countersPanel =
        countersText(checkedHostCount, hostTable.count(), checkedPbuCount, pbuTable.count());
    return s;
}

} // namespace tarvo
