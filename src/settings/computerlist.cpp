// The computer list and its file "range.lst" (see computerlist.h).
#include "settings/computerlist.h"

#include "export/rowformat.h"
#include "platform/atomicfile.h"
#include "platform/fdio.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace ormix {

namespace {

bool isBlankOrControl(unsigned char c) {
    return c <= ' ';
}

bool sameIp(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) {
                   return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// Commas, carriage returns and line feeds inside a field would break the line.
std::string fieldText(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c == ',' || c == '\r' || c == '\n')
            c = ' ';
    }
    return out;
}

bool parseInt32(std::string_view s, int32_t& v) {
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

bool parseLine(std::string_view line, ComputerRecord& rec) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    std::tm check{};
    if (fields.size() < 4 || !parseInt32(fields[3], rec.LastSeen) || !fromDosDateTime(rec.LastSeen, check))
        return false;
    rec.Ip = std::string(fields[0]);
    rec.Name = std::string(fields[1]);
    rec.Mac = std::string(fields[2]);
    return true;
}

} // namespace

int32_t toDosDateTime(const std::tm& t) {
    const int year = std::clamp(t.tm_year + 1900, 1980, 2107) - 1980;
    const uint32_t v = (static_cast<uint32_t>(year) << 25) | (static_cast<uint32_t>(t.tm_mon + 1) << 21) |
                       (static_cast<uint32_t>(t.tm_mday) << 16) | (static_cast<uint32_t>(t.tm_hour) << 11) |
                       (static_cast<uint32_t>(t.tm_min) << 5) | static_cast<uint32_t>(t.tm_sec / 2);
    return static_cast<int32_t>(v);
}

bool fromDosDateTime(int32_t dos, std::tm& t) {
    const auto v = static_cast<uint32_t>(dos);
    const int year = static_cast<int>(v >> 25) + 1980;
    const int month = (v >> 21) & 0x0F;
    const int day = (v >> 16) & 0x1F;
    const int hour = (v >> 11) & 0x1F;
    const int minute = (v >> 5) & 0x3F;
    const int second = (v & 0x1F) * 2;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day < 1 || day > days)
        return false;
    t = std::tm{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return true;
}

int32_t currentDosDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return toDosDateTime(local);
}

std::string formatDosDateTime(int32_t dos, char dateSep, char timeSep) {
    std::tm t;
    if (!fromDosDateTime(dos, t))
        return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%c%02d%c%02d %02d%c%02d%c%02d", t.tm_mday, dateSep, t.tm_mon + 1,
                  dateSep, (t.tm_year + 1900) % 100, t.tm_hour, timeSep, t.tm_min, timeSep, t.tm_sec);
    return buf;
}

std::string computerListCsv(const std::vector<ComputerRecord>& list) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(list.size());
    for (const ComputerRecord& c : list) {
        std::string when;
        if (std::tm t; fromDosDateTime(c.LastSeen, t)) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                          t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
            when = buf;
        }
        rows.push_back({c.Ip, c.Name, c.Mac, when});
    }
    return csvDocument({{"IP Адрес"}, {"Название"}, {"MAC Адрес"}, {"Дата время"}}, rows);
}

std::string cleanComputerName(std::string_view name) {
    while (!name.empty() && isBlankOrControl(static_cast<unsigned char>(name.front())))
        name.remove_prefix(1);
    while (!name.empty() && isBlankOrControl(static_cast<unsigned char>(name.back())))
        name.remove_suffix(1);
    std::string out(name);
    for (char& c : out) {
        if (c == ',' || static_cast<unsigned char>(c) < ' ')
            c = ' ';
    }
    return out;
}

uint32_t computerIpKey(std::string_view ip) {
    uint32_t value = 0;
    int shift = 24;
    size_t start = 0;
    while (shift >= 0) {
        const size_t dot = ip.find('.', start);
        const std::string_view part = ip.substr(start, dot == std::string_view::npos ? dot : dot - start);
        uint32_t n = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), n);
        if (ec != std::errc() || end != part.data() + part.size())
            n = 0;
        value += n << shift;
        shift -= 8;
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    return value;
}

void sortComputersByIp(std::vector<ComputerRecord>& list) {
    std::stable_sort(list.begin(), list.end(), [](const ComputerRecord& a, const ComputerRecord& b) {
        return computerIpKey(a.Ip) < computerIpKey(b.Ip);
    });
}

ComputerList::ComputerList(std::string path) : path_(std::move(path)), now_(currentDosDateTime) {}

void ComputerList::setClock(std::function<int32_t()> now) {
    std::lock_guard lock(mutex_);
    now_ = std::move(now);
}

void ComputerList::setBeforeRenameHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    beforeRename_ = std::move(hook);
}

void ComputerList::recordComputer(const std::string& ip, const std::string& name, const std::string& mac) {
    std::lock_guard lock(mutex_);
    const std::string clean = cleanComputerName(name);
    const int32_t now = now_();
    bool found = false;
    for (auto& rec : list_) {
        if (!sameIp(rec.Ip, ip))
            continue;
        rec.Ip = ip;
        rec.Name = clean;
        rec.Mac = mac;
        rec.LastSeen = now;
        found = true;
    }
    if (!found)
        list_.insert(list_.begin(), ComputerRecord{ip, clean, mac, now});
}

Result<void> ComputerList::loadComputerList() {
    std::lock_guard lock(mutex_);
    list_.clear();
    unreadable_.clear();
    loadRefused_ = false;
    removeStaleTemporaries(path_);
    auto content = readRegularFile(path_, kFileLimit);
    if (!content && content.error().kind == FileError::Kind::NotFound) {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return content.error();
        ::close(fd);
        return {};
    }
    if (!content) {
        loadRefused_ = true;
        return content.error();
    }
    std::string_view text = content.value();
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == text.npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        ComputerRecord rec;
        if (parseLine(line, rec))
            list_.push_back(std::move(rec));
        else
            unreadable_.emplace_back(line);
    }
    return {};
}

Result<void> ComputerList::saveComputerList() {
    std::lock_guard lock(mutex_);
    if (loadRefused_)
        return FileError{FileError::Kind::Io, 0, path_};
    std::string text;
    for (const auto& rec : list_) {
        text += fieldText(rec.Ip) + ',' + fieldText(rec.Name) + ',' + fieldText(rec.Mac) + ',' +
                std::to_string(rec.LastSeen) + "\r\n";
    }
    for (const auto& line : unreadable_) {
        text += line;
        text += "\r\n";
    }
    ReplaceOptions options;
    options.newFileMode = 0644;
    options.beforeRename = beforeRename_;
    return replaceFile(path_, text, options);
}

size_t ComputerList::removeComputers(const std::vector<std::string>& ips) {
    std::lock_guard lock(mutex_);
    const size_t before = list_.size();
    std::erase_if(list_, [&ips](const ComputerRecord& rec) {
        return std::any_of(ips.begin(), ips.end(),
                           [&rec](const std::string& ip) { return sameIp(rec.Ip, ip); });
    });
    return before - list_.size();
}

std::vector<ComputerRecord> ComputerList::snapshot() const {
    std::lock_guard lock(mutex_);
    return list_;
}

size_t ComputerList::count() const {
    std::lock_guard lock(mutex_);
    return list_.size();
}

int ComputerList::skippedLines() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(unreadable_.size());
}

} // namespace ormix
