// The status file an order-submission program writes, read into its record and PBUs.
#pragma once

#include "host/Pbu.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

class IniFile;

class OesStatusFile
{
public:
    explicit OesStatusFile(std::string statusFile);

    // Reads the file into the working texts and into the configured `pbus` (matched by
    // operator number). `oesStatus` is the program's process state ("运行" while it runs):
    // warning levels are read only while it runs, a PBU's counters only while it runs and
    // the PBU's "Status" is "3". "FAIL" without touching anything when the file is missing
    // or its "Time" is not a valid time text; "OK" otherwise.
    std::string readStatusFile(const std::string &name, std::string &type,
                               std::string &version, std::string &warningLevel,
                               std::string oesStatus,
                               std::vector<std::unique_ptr<Pbu>> &pbus) const;

    // The same on status file text already read (`exists` false for a missing file).
    static std::string readStatusText(const IniFile &ini, const std::string &name,
                                      std::string &type, std::string &version,
                                      std::string &warningLevel, const std::string &oesStatus,
                                      std::vector<std::unique_ptr<Pbu>> &pbus);

    // The "Time" text (yyyymmdd?hh?mm?ss, any separator) as milliseconds since the epoch
    // in local time; 0 for an empty, short or non-numeric text.
    static int64_t parseStatusTime(std::string_view text);

    const std::string &getStatusFile() const { return statusFile; }

private:
    std::string statusFile;
};

// The 1-based indexes k (1 <= k <= count) of the sections named `prefix` + k that `ini`
// holds, in increasing order. Reading only these gives what reading every section from
// 1 to count gives, without walking a huge count.
std::vector<long> numberedSections(const IniFile &ini, std::string_view prefix, long count);

} // namespace tarvo
