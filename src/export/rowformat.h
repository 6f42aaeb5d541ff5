// Rows of results written as text for other programs: the tab-separated lines
// of ormix-cli (escaped), CSV for spreadsheets and one JSON object per line.
// Used by ormix-cli scan/shares/search and by the windows' CSV export.
// Tests: tests/export/rowformat_test.cpp, tests/export/cli_format_test.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ormix {

enum class RowFormat { Tsv, Csv, Json };

// "tsv", "csv" or "json"; nothing for any other text.
std::optional<RowFormat> parseRowFormat(std::string_view text);

enum class CellKind {
    Text,   // a name or remark as a peer sent it
    Path,   // a share path: its backslashes are separators and stay as they are in tsv
    Number, // decimal digits with an optional '-': a JSON number, never neutralised in CSV
};

struct Column {
    std::string name; // CSV header and JSON key
    CellKind kind = CellKind::Text;
};

// UTF-8 byte order mark: the windows' CSV files start with it so that
// spreadsheets read Cyrillic names as UTF-8.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// One writer per table. Cells are UTF-8; a row has one cell per column.
//
// tsv: cells joined by TAB, line ends with LF, no header. Backslash, TAB, CR,
//      LF, every other byte below 0x20, DEL and bytes that are not UTF-8 are
//      written as \\ \t \r \n \xHH, and the C1 controls U+0080..U+009F as the
//      \xHH of their two bytes, so no cell can break a line or a field or
//      reach a terminal as a control sequence. Path cells keep their
//      backslashes (the separator), everything else is escaped the same way.
//      Ordinary names come out unchanged.
// csv: RFC 4180 with a header line, CRLF line ends, a cell quoted when it
//      holds a comma, quote, CR or LF. A Text
//      or Path cell that begins with = + - @ ' TAB or CR gets one ' in front so
//      that a spreadsheet shows it as text instead of running it as a formula;
//      a reader drops a leading ' of such a cell to get the name back.
// json: one object per line ({"column":value,...}); Number cells are numbers,
//      the rest strings. Control characters, DEL, C1 controls, U+2028 and
//      U+2029 are \u escapes, so a line holds no raw control byte.
// csv and json replace bytes that are not UTF-8 by U+FFFD.
class RowWriter {
public:
    RowWriter(RowFormat format, std::vector<Column> columns);

    RowFormat format() const { return format_; }
    // The CSV header line; empty for tsv and json.
    std::string header() const;
    // One row with its line end. Missing cells are empty; extra ones are ignored.
    std::string row(const std::vector<std::string>& cells) const;

private:
    RowFormat format_;
    std::vector<Column> columns_;
};

// A whole CSV file for a spreadsheet: the UTF-8 byte order mark, the header
// line and the rows (what the windows' "Экспорт в CSV" writes).
std::string csvDocument(const std::vector<Column>& columns,
                        const std::vector<std::vector<std::string>>& rows);

// The single-cell encoders behind RowWriter.
std::string escapeTsvCell(std::string_view text, bool keepBackslash);
std::string csvCell(std::string_view text, bool neutralise);
std::string jsonString(std::string_view text);

// What `ormix-cli --help` says about the formats.
extern const char* const kRowFormatHelp;

} // namespace ormix
