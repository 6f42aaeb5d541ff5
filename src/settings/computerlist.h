// The computer list: every computer that ever answered a scan, kept in memory
// behind one lock and stored in "range.lst" (one "Ip,Name,Mac,LastSeen" line
// per computer, CR LF). The window that shows it lives in the GUI; this core
// never shows anything: its file operations return a Result and the window
// shows the message box texts below.
// Tests: tests/settings/computerlist_test.cpp.
#pragma once

#include "platform/result.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ormix {

struct ComputerRecord {
    std::string Ip;
    std::string Name;
    std::string Mac;
    int32_t LastSeen = 0; // local time in MS-DOS date-time form
};

// Message box texts the window shows when loadComputerList / saveComputerList fail.
inline constexpr const char* kComputerListReadError = "AddMgrUnit: fopen(r) ERROR!";
inline constexpr const char* kComputerListWriteError = "AddMgrUnit: fopen(w+) ERROR!";

// MS-DOS date-time: bits 31-25 year - 1980, 24-21 month, 20-16 day,
// 15-11 hour, 10-5 minute, 4-0 seconds / 2. Years outside 1980..2107 are clamped.
int32_t toDosDateTime(const std::tm& local);
// False when the value names no real date and time (month 13, 30 February, 24:00, ...).
bool fromDosDateTime(int32_t dos, std::tm& local);
int32_t currentDosDateTime();
// "dd/mm/yy hh:nn:ss" with the given separators; empty for an invalid value.
std::string formatDosDateTime(int32_t dos, char dateSep = '/', char timeSep = ':');

// The list as a CSV file for a spreadsheet ("Экспорт в CSV"): the table's
// columns, the date and time as "yyyy-mm-dd hh:nn:ss".
std::string computerListCsv(const std::vector<ComputerRecord>& list);

// A name as the list keeps it: blanks and control characters cut at both
// ends, and every comma or control character inside turned into a blank, so
// the name can never split or break its line of "range.lst".
std::string cleanComputerName(std::string_view name);

// The sort key of the "IP Адрес" column: the unsigned 32-bit value of the
// dotted address (a part that is not a number counts as 0).
uint32_t computerIpKey(std::string_view ip);
// Sorts ascending by address; equal addresses keep their order.
void sortComputersByIp(std::vector<ComputerRecord>& list);

class ComputerList {
public:
    // path is listPath: programDir() + "range.lst" in the program.
    explicit ComputerList(std::string path);

    const std::string& listPath() const { return path_; }

    // Records one answering computer: every record with an equal address is
    // updated in place, otherwise a new record goes to the front.
    void recordComputer(const std::string& ip, const std::string& name, const std::string& mac);

    // The largest "range.lst" that is read (about a million computers).
    static constexpr std::size_t kFileLimit = 64u * 1024 * 1024;

    // Replaces the list with the file's records (the file is created empty
    // when missing) and removes temporary files of killed saves. Lines that
    // are not records are counted (skippedLines) and kept verbatim: the next
    // save writes them back after the records, so a hand edit is never lost.
    // A FIFO, device or oversized file is not read (an error).
    Result<void> loadComputerList();

    // Replaces listPath atomically (see platform/atomicfile.h). On failure the
    // list stays in memory for the next save. A file that exists but could not
    // be loaded is never replaced, so records the program could not read are
    // not lost; nor is a read-only file.
    Result<void> saveComputerList();

    // Removes every record whose address equals one of `ips` (as
    // recordComputer compares them); returns how many records went.
    size_t removeComputers(const std::vector<std::string>& ips);

    std::vector<ComputerRecord> snapshot() const;
    size_t count() const;
    // Lines of the last load that were not records (kept for the next save).
    int skippedLines() const;

    // For tests: the clock used by recordComputer, and a hook that runs after
    // the temporary file is written and before it is renamed.
    void setClock(std::function<int32_t()> now);
    void setBeforeRenameHook(std::function<void()> hook);

private:
    const std::string path_;
    mutable std::mutex mutex_;
    std::vector<ComputerRecord> list_;
    std::vector<std::string> unreadable_; // lines that are not records, without their endings
    bool loadRefused_ = false;            // the file is there but was not read: never replace it
    std::function<int32_t()> now_;
    std::function<void()> beforeRename_;
};

} // namespace ormix
