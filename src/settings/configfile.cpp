// The initialisation-file accessor: parse the whole file for every operation,
// change the parsed lines, and replace the file through a temporary file in the
// same folder (write, flush, fsync, rename) so a crash never leaves it half-written.
#include "settings/configfile.h"

#include "platform/atomicfile.h"
#include "platform/codepage.h"
#include "platform/hexdigit.h"

#include <QString>

#include <mutex>
#include <optional>

namespace ormix {
namespace {

std::mutex& configLock() {
    static std::mutex lock;
    return lock;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Case folding for name comparison: plain ASCII stays cheap, anything else
// (Cyrillic program names in "ProgList") goes through Unicode folding.
std::string foldCase(std::string_view s) {
    std::string out(s);
    bool ascii = true;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) >= 0x80)
            ascii = false;
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    if (ascii)
        return out;
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()))
        .toCaseFolded()
        .toUtf8()
        .toStdString();
}

bool validUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        size_t len = 0;
        if (b < 0x80)
            len = 1;
        else if (b >= 0xC2 && b <= 0xDF)
            len = 2;
        else if (b >= 0xE0 && b <= 0xEF)
            len = 3;
        else if (b >= 0xF0 && b <= 0xF4)
            len = 4;
        else
            return false;
        if (i + len > s.size())
            return false;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

// The first `limit` characters of a UTF-8 text; a cut never splits a sequence.
std::string cutToCharacters(std::string_view s, size_t limit) {
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == limit)
                return std::string(s.substr(0, i));
            ++chars;
        }
    }
    return std::string(s);
}

enum class LineKind { Other, Section, Key };

struct Line {
    std::string text;  // the line decoded to UTF-8, without its ending
    std::string bytes; // the line as the file holds it, without its ending
    std::string eol;   // its ending as found: "\n", "\r\n", "\r\r\n", ... or "" at the very end
    LineKind kind = LineKind::Other;
    std::string name;  // section or key name, trimmed
    std::string value; // key value, trimmed
};

// A line with "=" is a key even when it starts with "[": a program name such as
// "[x]" must read back as the key it was written as.
void classify(Line& line) {
    const std::string_view t = trim(line.text);
    if (t.empty() || t.front() == ';')
        return;
    const size_t eq = t.find('=');
    if (eq != std::string_view::npos) {
        const std::string_view name = trim(t.substr(0, eq));
        if (name.empty())
            return;
        line.kind = LineKind::Key;
        line.name = std::string(name);
        line.value = std::string(trim(t.substr(eq + 1)));
        return;
    }
    if (t.front() == '[' && t.back() == ']' && t.size() >= 2) {
        line.kind = LineKind::Section;
        line.name = std::string(trim(t.substr(1, t.size() - 2)));
    }
}

struct Document {
    bool bom = false;
    bool cp1251 = false;    // the file was not UTF-8: read, and written, as code page 1251
    std::string eol = "\n"; // the ending new lines get: the file's first one
    std::vector<Line> lines;
};

// A line a write makes, in the file's own encoding; nullopt when the text has
// characters that code page 1251 cannot hold (the file is never re-encoded).
std::optional<Line> makeLine(const Document& doc, std::string text) {
    Line line;
    if (doc.cp1251) {
        line.bytes = utf8ToCp1251(text);
        if (cp1251ToUtf8(line.bytes) != text)
            return std::nullopt;
    } else {
        line.bytes = text;
    }
    line.text = std::move(text);
    line.eol = doc.eol;
    classify(line);
    return line;
}

Document parse(std::string_view content) {
    Document doc;
    if (content.starts_with("\xEF\xBB\xBF")) {
        doc.bom = true;
        content.remove_prefix(3);
    }
    doc.cp1251 = !validUtf8(content);
    bool eolKnown = false;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        const bool terminated = end != std::string_view::npos;
        if (!terminated)
            end = content.size();
        // Every CR before the LF belongs to the ending, so "\r\r\n" files keep
        // their section headers.
        size_t stop = end;
        while (terminated && stop > start && content[stop - 1] == '\r')
            --stop;
        Line line;
        line.bytes = std::string(content.substr(start, stop - start));
        line.text = doc.cp1251 ? cp1251ToUtf8(line.bytes) : line.bytes;
        line.eol = terminated ? std::string(content.substr(stop, end + 1 - stop)) : std::string();
        classify(line);
        if (terminated && !eolKnown) {
            doc.eol = line.eol;
            eolKnown = true;
        }
        doc.lines.push_back(std::move(line));
        start = end + 1;
    }
    return doc;
}

std::string serialize(const Document& doc) {
    std::string out;
    if (doc.bom)
        out += "\xEF\xBB\xBF";
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const Line& line = doc.lines[i];
        out += line.bytes;
        // A last line without an ending gets one when a line now follows it.
        out += (line.eol.empty() && i + 1 < doc.lines.size()) ? doc.eol : line.eol;
    }
    return out;
}

// For reads: anything that cannot be read (missing, not a regular file, too
// large) is an empty file.
Document loadForRead(const std::string& path) {
    auto content = readRegularFile(path, ConfigFile::kFileLimit);
    if (!content)
        return {};
    return parse(content.value());
}

bool hasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}

bool isStorableSection(std::string_view section) {
    const std::string_view t = trim(section);
    return !t.empty() && t.find_first_of("[]=") == t.npos && t.front() != ';' && !hasLineBreakOrNul(t);
}

std::string sanitizeValue(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return out;
}

// Calls f(index, line) for every key line inside a section named `section`.
template <typename F> void forEachKeyIn(const Document& doc, std::string_view section, F f) {
    const std::string wanted = foldCase(trim(section));
    bool inSection = false;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const Line& line = doc.lines[i];
        if (line.kind == LineKind::Section)
            inSection = foldCase(line.name) == wanted;
        else if (inSection && line.kind == LineKind::Key)
            if (!f(i, line))
                return;
    }
}

std::optional<size_t> findKey(const Document& doc, std::string_view section, std::string_view key) {
    const std::string wanted = foldCase(trim(key));
    std::optional<size_t> found;
    forEachKeyIn(doc, section, [&](size_t i, const Line& line) {
        if (foldCase(line.name) != wanted)
            return true;
        found = i;
        return false;
    });
    return found;
}

// False when the file's code page cannot hold the new line.
bool writeKey(Document& doc, std::string_view section, std::string_view key, std::string_view value) {
    auto made = makeLine(doc, std::string(trim(key)) + "=" + sanitizeValue(value));
    auto header = makeLine(doc, "[" + std::string(trim(section)) + "]");
    if (!made || !header)
        return false;
    Line line = std::move(*made);
    if (const auto at = findKey(doc, section, key)) {
        line.eol = doc.lines[*at].eol;
        doc.lines[*at] = std::move(line);
        return true;
    }
    // Place a new key after the last key of the section's first appearance.
    const std::string wanted = foldCase(trim(section));
    std::optional<size_t> insertAt;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const Line& l = doc.lines[i];
        if (l.kind == LineKind::Section) {
            if (insertAt)
                break;
            if (foldCase(l.name) == wanted)
                insertAt = i + 1;
        } else if (insertAt && l.kind == LineKind::Key) {
            insertAt = i + 1;
        }
    }
    if (insertAt) {
        doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(line));
        return true;
    }
    if (!doc.lines.empty() && !trim(doc.lines.back().text).empty())
        doc.lines.push_back(*makeLine(doc, ""));
    doc.lines.push_back(std::move(*header));
    doc.lines.push_back(std::move(line));
    return true;
}

// True when something was removed.
bool removeKey(Document& doc, std::string_view section, std::string_view key) {
    std::vector<size_t> drop;
    const std::string wanted = foldCase(trim(key));
    forEachKeyIn(doc, section, [&](size_t i, const Line& line) {
        if (foldCase(line.name) == wanted)
            drop.push_back(i);
        return true;
    });
    for (auto it = drop.rbegin(); it != drop.rend(); ++it)
        doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(*it));
    return !drop.empty();
}

// True when the section was there.
bool clearSection(Document& doc, std::string_view section) {
    const std::string wanted = foldCase(trim(section));
    std::vector<Line> kept;
    bool inSection = false;
    bool removed = false;
    for (Line& line : doc.lines) {
        if (line.kind == LineKind::Section)
            inSection = foldCase(line.name) == wanted;
        if (inSection)
            removed = true;
        else
            kept.push_back(std::move(line));
    }
    doc.lines = std::move(kept);
    return removed;
}

std::optional<std::string> lookup(const std::string& path, std::string_view section, std::string_view key) {
    const Document doc = loadForRead(path);
    const auto at = findKey(doc, section, key);
    if (!at)
        return std::nullopt;
    return doc.lines[*at].value;
}

std::optional<int32_t> parseDigits(std::string_view digits, int base, bool negative) {
    if (digits.empty())
        return std::nullopt;
    const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
    int64_t v = 0;
    for (char c : digits) {
        const int d = hexDigitValue(c);
        if (d < 0 || d >= base)
            return std::nullopt;
        v = v * base + d;
        if (v > limit)
            return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -v : v);
}

std::optional<int32_t> parseNumber(std::string_view t) {
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        return parseDigits(t.substr(2), 16, false);
    if (!t.empty() && t[0] == '$')
        return parseDigits(t.substr(1), 16, false);
    bool negative = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    return parseDigits(t, 10, negative);
}

} // namespace

ConfigWriteError::ConfigWriteError(const std::string& path)
    : std::runtime_error("Unable to write to " + path) {}

ConfigFile::ConfigFile(std::string path) : path_(std::move(path)) {}

bool ConfigFile::IsStorableKey(std::string_view key) {
    const std::string_view t = trim(key);
    return !t.empty() && t.find('=') == t.npos && t.front() != ';' && !hasLineBreakOrNul(t);
}

bool ConfigFile::IsTooLarge() const {
    std::lock_guard guard(configLock());
    const auto read = readRegularFile(path_, kFileLimit);
    return !read && read.error().kind == FileError::Kind::TooLarge;
}

std::string ConfigFile::ReadText(std::string_view section, std::string_view key, std::string_view def) const {
    std::lock_guard guard(configLock());
    const auto value = lookup(path_, section, key);
    return value ? cutToCharacters(*value, kTextLimit) : std::string(def);
}

void ConfigFile::WriteText(std::string_view section, std::string_view key, std::string_view value) {
    ConfigEdit edit;
    edit.WriteText(section, key, value);
    Apply(edit);
}

int32_t ConfigFile::ReadNumber(std::string_view section, std::string_view key, int32_t def) const {
    std::lock_guard guard(configLock());
    const auto value = lookup(path_, section, key);
    if (!value)
        return def;
    return parseNumber(*value).value_or(def);
}

void ConfigFile::WriteNumber(std::string_view section, std::string_view key, int32_t value) {
    WriteText(section, key, std::to_string(value));
}

bool ConfigFile::ReadFlag(std::string_view section, std::string_view key, bool def) const {
    return ReadNumber(section, key, def ? 1 : 0) != 0;
}

void ConfigFile::WriteFlag(std::string_view section, std::string_view key, bool value) {
    WriteText(section, key, value ? "1" : "0");
}

void ConfigFile::ListKeys(std::string_view section, std::vector<std::string>& list) const {
    list.clear();
    std::lock_guard guard(configLock());
    const Document doc = loadForRead(path_);
    std::vector<std::string> folded;
    size_t used = 0;
    forEachKeyIn(doc, section, [&](size_t, const Line& line) {
        std::string f = foldCase(line.name);
        for (const auto& seen : folded)
            if (seen == f)
                return true;
        if (used + line.name.size() + 1 > kKeyListBudget)
            return false;
        used += line.name.size() + 1;
        folded.push_back(std::move(f));
        list.push_back(line.name);
        return true;
    });
}

void ConfigFile::ClearSection(std::string_view section) {
    ConfigEdit edit;
    edit.ClearSection(section);
    Apply(edit);
}

void ConfigFile::RemoveKey(std::string_view section, std::string_view key) {
    ConfigEdit edit;
    edit.RemoveKey(section, key);
    try {
        Apply(edit);
    } catch (const ConfigWriteError&) {
        // A key that cannot be removed is as good as gone for the caller.
    }
}

void ConfigFile::Apply(const ConfigEdit& edit) {
    if (edit.empty())
        return;
    for (const auto& change : edit.Changes())
        if (change.kind == ConfigEdit::Kind::Write &&
            (!isStorableSection(change.section) || !IsStorableKey(change.key)))
            throw ConfigWriteError(path_);
    std::lock_guard guard(configLock());
    // A file that exists but cannot be read (too large, not a regular file) must
    // not be replaced by one that holds only the new keys.
    auto read = readRegularFile(path_, kFileLimit);
    const bool missing = !read && read.error().kind == FileError::Kind::NotFound;
    if (!read && !missing)
        throw ConfigWriteError(path_);
    const std::string original = read ? std::move(read.value()) : std::string();
    Document doc = parse(original);
    bool changed = false;
    for (const auto& change : edit.Changes()) {
        switch (change.kind) {
        case ConfigEdit::Kind::Write:
            if (!writeKey(doc, change.section, change.key, change.value))
                throw ConfigWriteError(path_);
            changed = true;
            break;
        case ConfigEdit::Kind::Remove:
            changed = removeKey(doc, change.section, change.key) || changed;
            break;
        case ConfigEdit::Kind::Clear:
            changed = clearSection(doc, change.section) || changed;
            break;
        }
    }
    if (!changed)
        return;
    const std::string contents = serialize(doc);
    if (!missing && contents == original)
        return;
    // A file the next read would refuse is not written.
    if (contents.size() > kFileLimit || !replaceFile(path_, contents))
        throw ConfigWriteError(path_);
}

void ConfigEdit::WriteText(std::string_view section, std::string_view key, std::string_view value) {
    changes_.push_back({Kind::Write, std::string(section), std::string(key), std::string(value)});
}

void ConfigEdit::WriteNumber(std::string_view section, std::string_view key, int32_t value) {
    WriteText(section, key, std::to_string(value));
}

void ConfigEdit::WriteFlag(std::string_view section, std::string_view key, bool value) {
    WriteText(section, key, value ? "1" : "0");
}

void ConfigEdit::RemoveKey(std::string_view section, std::string_view key) {
    changes_.push_back({Kind::Remove, std::string(section), std::string(key), {}});
}

void ConfigEdit::ClearSection(std::string_view section) {
    changes_.push_back({Kind::Clear, std::string(section), {}, {}});
}

std::string EncodeCommaList(const std::vector<std::string>& items) {
    if (items.size() == 1 && items[0].empty())
        return "\"\"";
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += ',';
        const std::string& item = items[i];
        bool quote = false;
        for (char c : item)
            if (c == '"' || c == ',' || static_cast<unsigned char>(c) <= 32)
                quote = true;
        if (!quote) {
            out += item;
            continue;
        }
        out += '"';
        for (char c : item) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

std::vector<std::string> DecodeCommaList(std::string_view text) {
    // The text ends at a NUL, as the stored value always has.
    if (const size_t nul = text.find('\0'); nul != text.npos)
        text = text.substr(0, nul);
    auto separator = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::vector<std::string> items;
    size_t p = 0;
    while (p < text.size() && separator(text[p]))
        ++p;
    while (p < text.size()) {
        std::string item;
        if (text[p] == '"') {
            ++p;
            while (p < text.size()) {
                if (text[p] == '"') {
                    if (p + 1 < text.size() && text[p + 1] == '"') {
                        item += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const size_t start = p;
            while (p < text.size() && !separator(text[p]) && text[p] != ',')
                ++p;
            item.assign(text.substr(start, p - start));
        }
        items.push_back(std::move(item));
        while (p < text.size() && separator(text[p]))
            ++p;
        if (p < text.size() && text[p] == ',') {
            if (p + 1 == text.size())
                items.emplace_back();
            ++p;
            while (p < text.size() && separator(text[p]))
                ++p;
        }
    }
    return items;
}

} // namespace ormix
