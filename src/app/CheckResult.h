// `--once` as a check plugin (Nagios, Icinga and friends): one status line with performance
// data, then a line per problem, and the exit code of the plugin conventions.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace tarvo {

class HostSubjectPool;
class RecordSet;

struct CheckResult
{
    // 0 every host answered and every expected program and PBU runs; 1 a program or PBU
    // does not run; 2 a host did not answer; 3 the check could not be made (bad usage, files
    // that cannot be read, no host configured).
    enum Code { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };
    int code = Unknown;
    std::string statusLine;          // UTF-8, "TARVO OK - ... | perfdata"
    std::vector<std::string> details; // UTF-8, one problem a line
};

// Judges the console's state after one poll. `answered`: the hosts that answered. A program
// is expected when the host list or the agent says it is watched; a PBU is expected when
// its host answered with it. `unreadable`: the files that could not be read.
CheckResult judgeCheck(const RecordSet &hosts, const RecordSet &pbus, const HostSubjectPool &pool,
                       const std::set<std::string> &answered,
                       const std::vector<std::string> &unreadable);

// The result of a check that could not be made at all (UNKNOWN), with its reason.
CheckResult unknownCheck(const std::string &reason);

} // namespace tarvo
