// Judging one poll for the check plugin.
#include "app/CheckResult.h"

#include "display/GridTables.h"
#include "framework/RecordSet.h"
#include "host/HostSubject.h"
#include "host/HostSubjectPool.h"
#include "platform/Gbk.h"

namespace tarvo {

namespace {

const char *const kCodeWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

std::string perf(const std::string &label, size_t value, size_t maximum)
{
    return label + "=" + std::to_string(value) + ";;;0;" + std::to_string(maximum);
}

} // namespace

CheckResult unknownCheck(const std::string &reason)
{
    CheckResult result;
    result.code = CheckResult::Unknown;
    result.statusLine = std::string("TARVO UNKNOWN - ") + reason;
    return result;
}

CheckResult judgeCheck(const RecordSet &hosts, const RecordSet &pbus, const HostSubjectPool &pool,
                       const std::set<std::string> &answered,
                       const std::vector<std::string> &unreadable)
{
    if (!unreadable.empty()) {
        CheckResult result = unknownCheck("cannot read " + gbk::toUtf8(unreadable.front()));
        for (size_t i = 1; i < unreadable.size(); ++i)
            result.details.push_back("cannot read " + gbk::toUtf8(unreadable[i]));
        return result;
    }
    if (pool.size() == 0)
        return unknownCheck("no host configured (host list TarvoMonitor.CFG)");

    CheckResult result;
    size_t silent = 0, programsExpected = 0, programsRunning = 0, pbusRunning = 0, pbusTotal = 0;
    const int ipField = hosts.requireField(kHostKeyField);
    const int programFields[2] = {hosts.requireField("OESStatusA"), hosts.requireField("OESStatusB")};
    for (int row = 0; row < hosts.count(); ++row) {
        const std::string &ip = hosts.valueAt(row, ipField);
        const HostSubject *host = pool.find(ip);
        if (!host)
            continue;
        const std::string who = "host " + ip + " (" + host->getHostName() + ")";
        if (!answered.count(ip)) {
            ++silent;
            result.details.push_back(gbk::toUtf8(who + " did not answer"));
            continue;
        }
        for (int which = 0; which < 2; ++which) {
            const std::string &flag = which == 0 ? host->getOesAExist() : host->getOesBExist();
            const auto &programs = host->getOesList();
            const bool watched = flag == "Y" || (size_t(which) < programs.size() && programs[size_t(which)]
                                                  && programs[size_t(which)]->getOesExist() == "Y");
            if (!watched)
                continue;
            ++programsExpected;
            const std::string &state = hosts.valueAt(row, programFields[which]);
            if (state == "运行") {
                ++programsRunning;
                continue;
            }
            result.details.push_back(gbk::toUtf8(who + ": " + (which == 0 ? "A股报盘程序" : "B股报盘程序") +
                                                 " " + (state.empty() ? "未知" : state)));
        }
    }
    const int hostIpField = pbus.requireField("HostIp");
    const int idField = pbus.requireField("ID");
    const int operatorField = pbus.requireField("Operator");
    const int programField = pbus.requireField("OES");
    const int statusField = pbus.requireField("Status");
    for (int row = 0; row < pbus.count(); ++row) {
        if (!answered.count(pbus.valueAt(row, hostIpField)))
            continue;
        ++pbusTotal;
        const std::string &state = pbus.valueAt(row, statusField);
        if (state == "运行") {
            ++pbusRunning;
            continue;
        }
        result.details.push_back(gbk::toUtf8(
            "host " + pbus.valueAt(row, hostIpField) + ": PBU " + pbus.valueAt(row, idField) +
            pbus.valueAt(row, operatorField) + " of " + pbus.valueAt(row, programField) + " " +
            (state.empty() ? std::string("未知") : state)));
    }

    result.code = silent ? CheckResult::Critical
                  : (programsRunning < programsExpected || pbusRunning < pbusTotal)
                      ? CheckResult::Warning
                      : CheckResult::Ok;
    const size_t total = pool.size();
    std::string summary = std::to_string(total - silent) + " of " + std::to_string(total) +
                          " hosts answered, " + std::to_string(programsRunning) + " of " +
                          std::to_string(programsExpected) + " programs and " +
                          std::to_string(pbusRunning) + " of " + std::to_string(pbusTotal) +
                          " PBUs run";
    result.statusLine = std::string("TARVO ") + kCodeWords[result.code] + " - " + summary + " | " +
                        perf("hosts_answered", total - silent, total) + " " +
                        perf("programs_running", programsRunning, programsExpected) + " " +
                        perf("pbus_running", pbusRunning, pbusTotal);
    return result;
}

} // namespace tarvo
