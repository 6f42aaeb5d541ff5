// ConfigFile: the one accessor of the program's initialisation file "cfg.ini".
// It keeps no copy of any value: every read asks the file, every write changes
// the file at once (through a temporary file renamed over the original).
//
// File syntax: "[name]" opens a section; a line with "=" is a key line; blanks
// around names and values are ignored; lines starting with ";" are comments.
// Comments, blank lines and lines the reader does not understand are kept
// untouched. Names compare without regard to letter case (Cyrillic included).
// With duplicate keys the first one wins.
//
// Bytes on disk: a write changes only the lines it writes, adds or removes;
// every other line, its ending and a leading BOM stay byte for byte, so an
// unchanged file is written back identical. Line endings: a line ends at LF and
// every CR just before the LF belongs to its ending ("\r\r\n" included); a
// line a write replaces keeps its ending, new lines take the ending of the
// file's first line (LF in a new file).
// Encoding: a file that is valid UTF-8 is UTF-8. Any other file is read as
// code page 1251 (files carried over from older installations) and stays 1251:
// lines a write makes are stored in 1251, and a text 1251 cannot hold makes the
// write fail (ConfigWriteError) instead of changing the file's encoding.
// Size: a file over kFileLimit bytes, or one that is not a regular file (a
// FIFO or device is never opened blocking), reads as empty and is never written.
// Tests: tests/settings/configfile_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ormix {

// Raised when a write cannot change the file; what() is "Unable to write to <path>".
class ConfigWriteError : public std::runtime_error {
public:
    explicit ConfigWriteError(const std::string& path);
};

// Several changes to cfg.ini that land in one rewrite of the file, all or none.
// The edit only records the changes; ConfigFile::Apply checks and performs them.
class ConfigEdit {
public:
    void WriteText(std::string_view section, std::string_view key, std::string_view value);
    void WriteNumber(std::string_view section, std::string_view key, int32_t value);
    void WriteFlag(std::string_view section, std::string_view key, bool value);
    void RemoveKey(std::string_view section, std::string_view key);
    void ClearSection(std::string_view section);
    bool empty() const { return changes_.empty(); }

    enum class Kind { Write, Remove, Clear };
    struct Change {
        Kind kind;
        std::string section;
        std::string key;
        std::string value;
    };
    const std::vector<Change>& Changes() const { return changes_; }

private:
    std::vector<Change> changes_;
};

// Every operation is atomic against every other operation of any ConfigFile
// in the process (one process-wide lock), whichever thread calls it.
class ConfigFile {
public:
    // A text read is cut to this many characters (UTF-8 characters, never bytes).
    static constexpr std::size_t kTextLimit = 2047;
    // ListKeys takes key names while their bytes, one terminator each, fit here.
    static constexpr std::size_t kKeyListBudget = 16384;
    // A larger file is not read (reads give the defaults) and never written
    // (writes raise ConfigWriteError); it stays as it is for the user to look at.
    static constexpr std::size_t kFileLimit = 1024 * 1024;

    explicit ConfigFile(std::string path);

    const std::string& Path() const { return path_; }

    // A missing file, section or key gives the default; so does a file that cannot be read.
    std::string ReadText(std::string_view section, std::string_view key, std::string_view def) const;
    // Creates the file, section and key as needed. Line breaks and NULs in the
    // value become blanks (they would split the line). Throws ConfigWriteError
    // when the file cannot be changed or the section or key cannot be stored
    // (see IsStorableKey).
    void WriteText(std::string_view section, std::string_view key, std::string_view value);
    // Decimal; "0x"/"0X" (text longer than two characters) or "$" hexadecimal;
    // junk or a value outside the signed 32-bit range gives the default.
    int32_t ReadNumber(std::string_view section, std::string_view key, int32_t def) const;
    void WriteNumber(std::string_view section, std::string_view key, int32_t value);
    // A number read with default 1 or 0; true when not 0.
    bool ReadFlag(std::string_view section, std::string_view key, bool def) const;
    void WriteFlag(std::string_view section, std::string_view key, bool value);
    // Empties the list, then the section's key names in file order, each name
    // once, whole names only, within kKeyListBudget bytes.
    void ListKeys(std::string_view section, std::vector<std::string>& list) const;
    // Removes the section with all its lines; a missing section leaves the file untouched.
    void ClearSection(std::string_view section);
    // Removes the key (all its duplicates); never reports a failure.
    void RemoveKey(std::string_view section, std::string_view key);

    // Applies every change in order in one rewrite; throws ConfigWriteError like WriteText. An empty
    // edit or one that changes nothing leaves the file untouched (no rewrite). A write of a section
    // or key that cannot be stored fails the whole edit before the file is read.
    void Apply(const ConfigEdit& edit);

    // Whether a name can be written as a key and read back as the same key:
    // not empty or blank, no "=", no line break or NUL, not starting with ";".
    // Blanks around the name are dropped when stored.
    static bool IsStorableKey(std::string_view key);

    // Whether the file, when present, is larger than kFileLimit: the program
    // then runs on defaults and the window says so at start-up.
    bool IsTooLarge() const;

private:
    std::string path_;
};

// The comma list encoding of keys `iprange` and `ExcludeRes`.
std::string EncodeCommaList(const std::vector<std::string>& items);
std::vector<std::string> DecodeCommaList(std::string_view text);

} // namespace ormix
