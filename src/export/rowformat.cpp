// The three row formats (see rowformat.h).
#include "export/rowformat.h"

#include <cstdint>
#include <cstdio>

namespace ormix {
namespace {

// Length of the well-formed UTF-8 sequence at text[i] (1..4) and its code
// point, or 0 when the bytes there are not UTF-8 (stray continuation, overlong
// form, surrogate, beyond U+10FFFF, cut short).
size_t utf8Sequence(std::string_view text, size_t i, uint32_t& cp) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    uint32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, min = 0x80, cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, min = 0x800, cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, min = 0x10000, cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (text.size() - i < len)
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

void appendHex(std::string& out, const char* format, unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, format, value);
    out += buf;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// The text with every byte run that is not UTF-8 replaced by U+FFFD.
std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t len = utf8Sequence(text, i, cp);
        if (len == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text, i, len);
            i += len;
        }
    }
    return out;
}

bool isNumber(std::string_view text) {
    size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

} // namespace

const char* const kRowFormatHelp =
    "output formats (--format, default tsv):\n"
    "  tsv   fields separated by TAB, one line per row, no header; inside a field\n"
    "        backslash, TAB, CR, LF and every other control character are written\n"
    "        as \\\\, \\t, \\r, \\n and \\xHH (\\xHH also for bytes that are not UTF-8),\n"
    "        except that the backslashes of share paths stay as they are\n"
    "  csv   RFC 4180, UTF-8, with a header line; a text field starting with\n"
    "        = + - @ ' TAB or CR gets a ' in front against spreadsheet formulas\n"
    "  json  one JSON object per line\n";

std::optional<RowFormat> parseRowFormat(std::string_view text) {
    if (text == "tsv")
        return RowFormat::Tsv;
    if (text == "csv")
        return RowFormat::Csv;
    if (text == "json")
        return RowFormat::Json;
    return std::nullopt;
}

std::string escapeTsvCell(std::string_view text, bool keepBackslash) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t len = utf8Sequence(text, i, cp);
        if (len == 0 || (cp >= 0x80 && cp <= 0x9F)) {
            const size_t n = len == 0 ? 1 : len;
            for (size_t k = 0; k < n; ++k)
                appendHex(out, "\\x%02X", static_cast<unsigned char>(text[i + k]));
            i += n;
            continue;
        }
        const char c = text[i];
        if (c == '\\')
            out += keepBackslash ? "\\" : "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (cp < 0x20 || cp == 0x7F)
            appendHex(out, "\\x%02X", cp);
        else
            out.append(text, i, len);
        i += len;
    }
    return out;
}

std::string csvCell(std::string_view text, bool neutralise) {
    std::string cell = validUtf8(text);
    if (neutralise && !cell.empty() && std::string_view("=+-@'\t\r").find(cell[0]) != std::string_view::npos)
        cell.insert(cell.begin(), '\'');
    if (cell.find_first_of(",\"\r\n") == std::string::npos)
        return cell;
    std::string out = "\"";
    for (char c : cell) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string jsonString(std::string_view text) {
    const std::string valid = validUtf8(text);
    std::string out = "\"";
    for (size_t i = 0; i < valid.size();) {
        uint32_t cp = 0;
        const size_t len = utf8Sequence(valid, i, cp);
        if (cp == '"')
            out += "\\\"";
        else if (cp == '\\')
            out += "\\\\";
        else if (cp == '\n')
            out += "\\n";
        else if (cp == '\r')
            out += "\\r";
        else if (cp == '\t')
            out += "\\t";
        else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029)
            appendHex(out, "\\u%04X", cp);
        else
            out.append(valid, i, len);
        i += len;
    }
    out += '"';
    return out;
}

RowWriter::RowWriter(RowFormat format, std::vector<Column> columns)
    : format_(format), columns_(std::move(columns)) {}

std::string RowWriter::header() const {
    if (format_ != RowFormat::Csv)
        return {};
    std::string line;
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (i > 0)
            line += ',';
        line += csvCell(columns_[i].name, false);
    }
    return line + "\r\n";
}

std::string RowWriter::row(const std::vector<std::string>& cells) const {
    std::string line;
    if (format_ == RowFormat::Json)
        line += '{';
    for (size_t i = 0; i < columns_.size(); ++i) {
        const Column& column = columns_[i];
        const std::string_view cell = i < cells.size() ? std::string_view(cells[i]) : std::string_view();
        switch (format_) {
        case RowFormat::Tsv:
            if (i > 0)
                line += '\t';
            line += escapeTsvCell(cell, column.kind == CellKind::Path);
            break;
        case RowFormat::Csv:
            if (i > 0)
                line += ',';
            line += csvCell(cell, column.kind != CellKind::Number);
            break;
        case RowFormat::Json:
            if (i > 0)
                line += ',';
            line += jsonString(column.name);
            line += ':';
            line += column.kind == CellKind::Number && isNumber(cell) ? std::string(cell) : jsonString(cell);
            break;
        }
    }
    switch (format_) {
    case RowFormat::Tsv:
        return line + '\n';
    case RowFormat::Csv:
        return line + "\r\n";
    case RowFormat::Json:
        return line + "}\n";
    }
    return line;
}

std::string csvDocument(const std::vector<Column>& columns,
                        const std::vector<std::vector<std::string>>& rows) {
    const RowWriter writer(RowFormat::Csv, columns);
    std::string out(kUtf8Bom);
    out += writer.header();
    for (const auto& row : rows)
        out += writer.row(row);
    return out;
}

} // namespace ormix
