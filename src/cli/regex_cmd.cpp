// ormix-cli regex: runs the expression engine on texts given as arguments, for
// scripts and tests. Arguments are UTF-8; the engine sees code page 1251.
// Covered by tests/regex/cli_test.cpp.
#include "cli/commands.h"
#include "platform/codepage.h"
#include "platform/hexdigit.h"
#include "regex/regexpr.h"
#include "search/pattern.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace ormix::cli {
namespace {

void printUsage() {
    std::fputs(
        "usage: ormix-cli regex [-m MODS] [--text-escapes] PATTERN TEXT...\n"
        "       ormix-cli regex [-m MODS] [--text-escapes] --split PATTERN TEXT\n"
        "       ormix-cli regex [-m MODS] [--text-escapes] --replace REPLACEMENT [--subst] PATTERN TEXT\n"
        "       ormix-cli regex [-m MODS] --dump PATTERN\n"
        "  -m MODS          modifiers as in (?MODS), e.g. i, -s, m-g\n"
        "  --text-escapes   decode \\\\ \\n \\r \\t \\xHH in TEXT (\\xHH is a code page 1251 byte)\n"
        "  --step-limit N   matcher steps one TEXT may take (default 20000000, 0 none); a TEXT\n"
        "                   that needs more prints \"error 1017 ...\" and the next TEXT is tried\n"
        "exit status: 0 done, 2 bad arguments, 3 the engine raised an error\n",
        stderr);
}

// Decodes \\, \n, \r, \t and \xHH; any other backslash stays as it is.
std::string decodeEscapes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const char e = s[i + 1];
        if (e == '\\' || e == 'n' || e == 'r' || e == 't') {
            out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : '\\';
            ++i;
        } else if (e == 'x' && i + 3 < s.size() && hexDigitValue(s[i + 2]) >= 0 &&
                   hexDigitValue(s[i + 3]) >= 0) {
            out += static_cast<char>(hexDigitValue(s[i + 2]) * 16 + hexDigitValue(s[i + 3]));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

void printLine(const std::string& text1251) {
    const std::string utf8 = cp1251ToUtf8(text1251);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
}

enum class Mode { Match, Split, Replace, Dump };

} // namespace

int runRegex(int argc, char** argv) {
    Mode mode = Mode::Match;
    bool haveMods = false, textEscapes = false, subst = false;
    long long stepLimit = kNameMatchStepLimit;
    std::string mods, replacement;
    auto setMode = [&mode](Mode m) {
        if (mode != Mode::Match && mode != m)
            return false;
        mode = m;
        return true;
    };

    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view a = argv[i];
        bool ok = true;
        if (a == "--") {
            ++i;
            break;
        } else if (a == "-m" && i + 1 < argc) {
            haveMods = true;
            mods = argv[++i];
        } else if (a == "--step-limit" && i + 1 < argc) {
            char* end = nullptr;
            const char* v = argv[++i];
            stepLimit = std::strtoll(v, &end, 10);
            ok = end != v && *end == '\0' && stepLimit >= 0;
        } else if (a == "--text-escapes") {
            textEscapes = true;
        } else if (a == "--split") {
            ok = setMode(Mode::Split);
        } else if (a == "--replace" && i + 1 < argc) {
            ok = setMode(Mode::Replace);
            replacement = argv[++i];
        } else if (a == "--subst") {
            subst = true;
        } else if (a == "--dump") {
            ok = setMode(Mode::Dump);
        } else if (a.size() > 1 && a[0] == '-') {
            ok = false;
        } else {
            break;
        }
        if (!ok) {
            printUsage();
            return 2;
        }
    }
    const std::vector<std::string_view> args(argv + i, argv + argc);
    const bool countOk =
        mode == Mode::Match ? args.size() >= 2 : args.size() == (mode == Mode::Dump ? 1u : 2u);
    if (!countOk || (subst && mode != Mode::Replace)) {
        printUsage();
        return 2;
    }

    auto text = [&](std::string_view arg) {
        std::string t = utf8ToCp1251(arg);
        return textEscapes ? decodeEscapes(t) : t;
    };

    TRegExpr r;
    r.SetMatchStepLimit(stepLimit);
    bool limitHit = false;
    try {
        if (haveMods)
            r.SetModifierStr(utf8ToCp1251(mods));
        r.SetExpression(utf8ToCp1251(args[0]));
        r.Compile();
        switch (mode) {
        case Mode::Dump: {
            const std::string d = cp1251ToUtf8(r.Dump());
            std::fwrite(d.data(), 1, d.size(), stdout);
            break;
        }
        case Mode::Split: {
            std::vector<std::string> pieces;
            r.Split(text(args[1]), pieces);
            for (const auto& p : pieces)
                printLine("[" + p + "]");
            break;
        }
        case Mode::Replace:
            printLine(r.Replace(text(args[1]), utf8ToCp1251(replacement), subst));
            break;
        case Mode::Match:
            for (std::size_t t = 1; t < args.size(); ++t) {
                bool matched = false;
                try {
                    matched = r.Exec(text(args[t]));
                } catch (const ERegExpr& e) {
                    if (e.ErrorCode != 1017)
                        throw;
                    // One text that takes too long costs only itself.
                    std::printf("error %d %s\n", e.ErrorCode, cp1251ToUtf8(e.what()).c_str());
                    std::fflush(stdout);
                    std::fprintf(stderr, "ormix-cli regex: TEXT %zu took more than %lld steps, skipped\n", t,
                                 stepLimit);
                    limitHit = true;
                    continue;
                }
                if (!matched) {
                    std::puts("nomatch");
                    continue;
                }
                std::string line =
                    "match " + std::to_string(r.GetMatchPos(0)) + " " + std::to_string(r.GetMatchLen(0));
                for (int g = 1; g <= 14; ++g)
                    if (r.GetMatchPos(g) > 0)
                        line += " " + std::to_string(g) + ":" + std::to_string(r.GetMatchPos(g)) + "," +
                                std::to_string(r.GetMatchLen(g));
                std::puts(line.c_str());
            }
            break;
        }
    } catch (const ERegExpr& e) {
        std::fflush(stdout);
        std::printf("error %d %s\n", e.ErrorCode, cp1251ToUtf8(e.what()).c_str());
        return 3;
    }
    return limitHit ? 3 : 0;
}

} // namespace ormix::cli
