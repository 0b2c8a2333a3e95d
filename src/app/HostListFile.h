// The host list file "TarvoMonitor.CFG": one line per host, every field followed by a comma.
#pragma once

#include "host/HostSubject.h"
#include "host/HostSubjectPool.h"
#include "platform/FileReplace.h"

#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvo {

// True when `value` can stand in a field of the file: the format has no escape, so a comma,
// CR or LF would split the line (an agent once sent "X,EVIL,127.0.3.212,22212,Y,Y,0" as an
// operator code, and the next start added a host "EVIL").
bool fitsHostListField(std::string_view value);

// name,ip,port,A-flag,B-flag,n,oesName1,operatorNumber1,...,  (no line break). A PBU with a
// field that does not fit is left out (and not counted in n); a program flag that does not
// fit is written as "N".
std::string formatHostLine(const Host &host);
// What formatHostLine leaves out of a host's line, one text per PBU or flag, for the log.
std::vector<std::string> unwritableParts(const Host &host);
// True when unwritableParts would name anything; allocates nothing.
bool hasUnwritableParts(const Host &host);
// Every host of the pool in pool order, each line ended by CR LF.
std::string formatHostList(const HostSubjectPool &pool);

// True when formatHostList(pool) would give exactly `text`; builds nothing.
bool hostListEquals(const HostSubjectPool &pool, std::string_view text);
// True when `text` holds the host's line (CR LF included) at `at`; `at` then stands behind
// it (after a mismatch somewhere inside it).
bool hostLineMatches(const Host &host, std::string_view text, size_t &at);

// The records of a host list text. Line breaks (CR and LF) are dropped wherever they occur;
// a record cut by the end of the text is dropped; a PBU count takes its leading digits
// (0 without any). Duplicates are kept; the pool drops them when they are added.
std::vector<std::unique_ptr<HostSubject>> parseHostList(std::string_view text);

// A record that loading did not take: the line it starts on (from 1) and why.
struct DroppedRecord
{
    int line = 0;
    std::string reason;
    friend bool operator==(const DroppedRecord &, const DroppedRecord &) = default;
};

// The same, also naming the record cut by the end of the text, and the line where each
// record starts (in the order of the records returned).
std::vector<std::unique_ptr<HostSubject>> parseHostList(std::string_view text,
                                                        std::vector<DroppedRecord> *dropped,
                                                        std::vector<int> *lines = nullptr);

// What loading the file found.
struct HostListLoad
{
    bool missing = true;       // no file: nothing to report
    bool unreadable = false;   // a file that exists but could not be read
    std::string error;         // why it could not be read
    std::string text;          // the bytes read
    std::vector<DroppedRecord> dropped;  // incomplete records and repeated addresses
    bool notGbk = false;
    int added = 0;
};

// Offers every record of the file to the pool and says what it found. A file that cannot be
// read leaves the pool as it was.
HostListLoad loadHostListFile(const std::string &path, HostSubjectPool &pool);
// The same, returning how many hosts the pool took.
int loadHostList(const std::string &path, HostSubjectPool &pool);

// The file-system calls a save goes through (tests make them fail).
using HostListFileCalls = ReplaceFileCalls;

// Writes the list with replaceFile, so that a crash or a full disk never leaves a partial
// file. Returns the reason on failure; the old file is then untouched.
std::optional<std::string> saveHostList(const std::string &path, const HostSubjectPool &pool,
                                        const HostListFileCalls &calls = {});

// Saves the list at every save point and reports a failure once, not at every attempt:
// save() returns the error line to show when a save fails after the previous one succeeded
// (or on the first failure). A save whose bytes equal the last saved ones, while the file is
// still the one it wrote, is skipped.
class HostListStore
{
public:
    struct FileStamp
    {
        ino_t inode;
        off_t size;
        time_t seconds;
        long nanoseconds;
        friend bool operator==(const FileStamp &, const FileStamp &) = default;
    };

    // Clears what earlier saves of `path` that were cut short left behind.
    explicit HostListStore(std::string path, HostListFileCalls calls = {});

    // Loads the file into the pool; returns the lines to report (error list and log). A file
    // that exists but cannot be read is never written over in this run; when records were
    // dropped, the file as it was is kept beside it before the first save (backupPath()).
    std::vector<std::string> load(HostSubjectPool &pool);
    std::optional<std::string> save(const HostSubjectPool &pool);
    // The poll's save in rounds of steps, `hosts` hosts a step (one step per pass of the event
    // loop): each step compares its hosts with the last saved text and notes their fields
    // that cannot be written; the step that ends the round writes the list when anything
    // differed or the file was touched, as save() would. True when the round is over; the
    // line to report, as save() returns it, in `failure`. A save() in between starts the
    // round again.
    bool saveStep(const HostSubjectPool &pool, size_t hosts,
                  std::optional<std::string> &failure);
    // Lines the saves since the last call want reported once: the backup made, PBUs left out.
    std::vector<std::string> takeNotices() { return std::exchange(notices, {}); }
    const std::string &path() const { return filePath; }
    bool failing() const { return failed; }
    bool protectedFile() const { return readOnly; }
    // Where the backup went (or goes): path + ".bak", or ".bak.N" when that holds other bytes.
    std::string backupPath() const;

private:
    std::optional<std::string> keepBackup();
    void noteUnwritable(const HostSubjectPool &pool);
    void noteUnwritable(const std::string &ip, const Host &host);
    std::optional<std::string> write(const HostSubjectPool &pool);

    std::string filePath;
    HostListFileCalls calls;
    bool failed = false;
    std::string lastText;
    std::optional<FileStamp> lastStamp;
    bool readOnly = false;          // the file could not be read: never written over
    std::optional<std::string> backupText;  // the file as read, kept before the first save
    std::vector<std::string> notices;
    std::vector<std::string> reportedParts;  // PBUs and flags left out, each reported once
    // The round of steps: the address of the host the next step starts at (none: no round),
    // where its line should stand in lastText, and whether a host differed.
    std::optional<std::string> roundNext;
    size_t roundAt = 0;
    bool roundDiffers = false;
};

} // namespace tarvo
