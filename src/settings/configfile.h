// ConfigFile: the one accessor of the program's initialisation file "cfg.ini".
// It keeps no copy of any value: every read asks the file, every write changes
// the file at once (through a temporary file renamed over the original).
#pragma once

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

class ConfigFile {
public:
    explicit ConfigFile(std::string path);

    const std::string& Path() const { return path_; }

    std::string ReadText(std::string_view section, std::string_view key, std::string_view def) const;
    void WriteText(std::string_view section, std::string_view key, std::string_view value);
    int32_t ReadNumber(std::string_view section, std::string_view key, int32_t def) const;
    void WriteNumber(std::string_view section, std::string_view key, int32_t value);
    bool ReadFlag(std::string_view section, std::string_view key, bool def) const;
    void WriteFlag(std::string_view section, std::string_view key, bool value);
    void ListKeys(std::string_view section, std::vector<std::string>& list) const;
    void ClearSection(std::string_view section);
    void RemoveKey(std::string_view section, std::string_view key);

private:
    std::string path_;
};

// The comma list encoding of keys `iprange` and `ExcludeRes`.
std::string EncodeCommaList(const std::vector<std::string>& items);
std::vector<std::string> DecodeCommaList(std::string_view text);

} // namespace ormix
