// The status file an order-submission program writes, read into its record and PBUs.
#pragma once

#include "host/Pbu.h"
#include "platform/Files.h"

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
    // A status file larger than this is not read (the program's record keeps its values,
    // as for a file not written yet); a real one holds a few hundred bytes per operator.
    static constexpr size_t MAX_FILE_BYTES = 1u << 20;
    // Every value taken from a status file is cut to this many bytes (at a GBK character
    // boundary) and its 0x01 bytes, the protocol's field separator, become blanks.
    static constexpr size_t MAX_VALUE_BYTES = 64;
    // A program may write its status file in several pieces: a file that changes while it
    // is read, or was modified less than 50 ms before, is looked at again, up to four reads
    // in all, so that the answer holds one whole version of it (or, when it never settles,
    // the record's last values).
    static constexpr ReadSettling SETTLING{4, std::chrono::milliseconds(50)};

    explicit OesStatusFile(std::string statusFile);

    // Reads the file into the working texts and into the configured `pbus` (matched by
    // operator number). `oesStatus` is the program's process state ("运行" while it runs):
    // warning levels are read only while it runs, a PBU's counters only while it runs and
    // the PBU's "Status" is "3". "FAIL" without touching anything when the file is missing
    // or its "Time" is not a valid time text; "OK" otherwise. Only a regular file of at most
    // MAX_FILE_BYTES is read, without blocking, as SETTLING says; another (a FIFO, a
    // directory, a file too large, unreadable or never still) also gives "FAIL", and the
    // agent's log says why once, when the problem appears, and again when the file can be
    // read again.
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

    // `text` cut to `limit` bytes without splitting a GBK character, 0x01 bytes as blanks.
    static std::string cleanValue(std::string_view text, size_t limit = MAX_VALUE_BYTES);

    const std::string &getStatusFile() const { return statusFile; }
    // Why the last read did not read the file; empty when it did or the file is missing.
    const std::string &getLastProblem() const { return lastProblem; }

private:
    std::string statusFile;
    mutable std::string lastProblem;
};

// The 1-based indexes k (1 <= k <= count) of the sections named `prefix` + k that `ini`
// holds, in increasing order. Reading only these gives what reading every section from
// 1 to count gives, without walking a huge count.
std::vector<long> numberedSections(const IniFile &ini, std::string_view prefix, long count);

} // namespace tarvo
