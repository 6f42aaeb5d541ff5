// The row formats: tsv escapes, and hostile names that must come back
// unchanged through Python's csv and json readers.
#include "export/rowformat.h"
#include "fixtures/files.h"
#include "fixtures/netns.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace ormix {
namespace {

namespace fs = std::filesystem;

TEST(RowFormat, TsvEscapesEveryControlCharacter) {
    struct Case {
        std::string in;
        bool path;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"PC-5", false, "PC-5"},
        {"Архив Отчёт.doc", false, "Архив Отчёт.doc"},
        {"a\\b", false, "a\\\\b"},
        {"\\\\127.0.0.11\\Docs\\a.txt", true, "\\\\127.0.0.11\\Docs\\a.txt"},
        {"6.6.6.6\tFAKEHOST\r\nx", false, "6.6.6.6\\tFAKEHOST\\r\\nx"},
        {"\\\\1.2.3.4\\s\\e\x1b[31m\n", true, "\\\\1.2.3.4\\s\\e\\x1B[31m\\n"},
        {std::string("n\0ul\x7f", 5), false, "n\\x00ul\\x7F"},
        {"csi\xC2\x9B"
         "2J",
         false, "csi\\xC2\\x9B2J"},                       // C1 control U+009B
        {"bad\xFF\xC0\xAF", false, "bad\\xFF\\xC0\\xAF"}, // not UTF-8, overlong '/'
        {"cut\xD0", false, "cut\\xD0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(escapeTsvCell(c.in, c.path), c.out) << c.out;

    const RowWriter tsv(RowFormat::Tsv, {{"path", CellKind::Path}, {"remark", CellKind::Text}});
    EXPECT_EQ(tsv.header(), "");
    EXPECT_EQ(tsv.row({"\\\\127.0.0.11\\Public", "Общая папка"}), "\\\\127.0.0.11\\Public\tОбщая папка\n");
}

TEST(RowFormat, CsvAndJsonShapes) {
    const std::vector<Column> columns = {
        {"host", CellKind::Text}, {"path", CellKind::Path}, {"size", CellKind::Number}};
    const RowWriter csv(RowFormat::Csv, columns);
    EXPECT_EQ(csv.header(), "host,path,size\r\n");
    EXPECT_EQ(csv.row({"A,B", "=HYPERLINK(\"x\")", "-5"}), "\"A,B\",\"'=HYPERLINK(\"\"x\"\")\",-5\r\n");
    const RowWriter json(RowFormat::Json, columns);
    EXPECT_EQ(json.header(), "");
    EXPECT_EQ(json.row({"BRAVO", "\\\\1.2.3.4\\s\\\"q\"", "12"}),
              "{\"host\":\"BRAVO\",\"path\":\"\\\\\\\\1.2.3.4\\\\s\\\\\\\"q\\\"\",\"size\":12}\n");
    // A size that is not a number is written as a string, never as raw JSON.
    EXPECT_EQ(json.row({"", "", "1,2}"}), "{\"host\":\"\",\"path\":\"\",\"size\":\"1,2}\"}\n");
    EXPECT_EQ(parseRowFormat("json"), RowFormat::Json);
    EXPECT_FALSE(parseRowFormat("JSON"));
}

// Reads CSV (with the BOM the windows write) and JSON lines with Python and
// prints every text cell back as hex, dropping the ' the writer puts in front
// of a cell that would start a formula.
const char* const kReader = R"(import csv, json, sys
def out(v):
    print(v.encode('utf-8').hex())
kind, path = sys.argv[1], sys.argv[2]
with open(path, encoding='utf-8-sig', newline='') as f:
    if kind == 'csv':
        rows = list(csv.reader(f))[1:]
        for r in rows:
            name = r[0]
            if name[:1] == "'" and name[1:2] in ("=", "+", "-", "@", "'", "\t", "\r"):
                name = name[1:]
            out(name)
            out(r[1])
    else:
        for line in f:
            o = json.loads(line)
            out(o['name'])
            out(o['path'])
)";

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(RowFormat, HostileNamesRoundTripThroughCsvAndJsonReaders) {
    const std::vector<std::string> names = {
        "PC5",        "ПК бухгалтерии",
        "a,b",        "say \"hi\"",
        "tab\there",  "line1\nline2",
        "cr\rlf\r\n", "=1+2",
        "+SUM(A1)",   "-2+3",
        "@cmd",       "'quoted",
        "''=x",       "\tlead",
        "esc\x1b[2J", "\\\\1.2.3.4\\s\\x",
        " spaced ",   "",
    };
    char dirTemplate[] = "/tmp/ormix-rowformat-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const fs::path dir = dirTemplate;
    const std::string script = (dir / "read.py").string();
    testing::writeFile(script, kReader);

    std::string expected;
    for (const std::string& n : names)
        expected += hex(n) + "\n" + hex("\\\\1.2.3.4\\" + n) + "\n";
    const std::vector<Column> columns = {{"name", CellKind::Text}, {"path", CellKind::Path}};
    for (RowFormat format : {RowFormat::Csv, RowFormat::Json}) {
        const RowWriter writer(format, columns);
        std::string text = format == RowFormat::Csv ? std::string(kUtf8Bom) + writer.header() : std::string();
        for (const std::string& n : names)
            text += writer.row({n, "\\\\1.2.3.4\\" + n});
        if (format == RowFormat::Json) {
            EXPECT_EQ(text.find('\x1b'), std::string::npos) << "no raw control byte in JSON";
        }
        const std::string data = (dir / "rows").string();
        testing::writeFile(data, text);
        std::string decoded;
        const int rc = testing::runCommand(
            {"/usr/bin/env", "python3", script, format == RowFormat::Csv ? "csv" : "json", data}, &decoded);
        EXPECT_EQ(rc, 0) << "python3 must be installed (tools/install-deps.sh)";
        EXPECT_EQ(decoded, expected) << (format == RowFormat::Csv ? "csv" : "json") << "\n" << text;
    }
    fs::remove_all(dir);
}

TEST(RowFormat, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    EXPECT_EQ(csvCell("a\xFF"
                      "b",
                      false),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(jsonString("\xC0\xAF\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(jsonString("\xC2\x85\xE2\x80\xA8"), "\"\\u0085\\u2028\"");
}

} // namespace
} // namespace ormix
