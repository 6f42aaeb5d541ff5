// Names per second of the search's typical expressions on a deterministic
// corpus of file-name-like strings (code page 1251: mixed case, Latin and
// Cyrillic, 5-60 characters), for TRegExpr, PCRE2's interpreter and
// std::regex side by side. The engines take turns on slices of the corpus so
// that a change in the machine's load hits all of them alike; the table shows
// the median of the runs and the match counts, which must agree.
#define PCRE2_CODE_UNIT_WIDTH 8
#include "regex/regexpr.h"

#include <pcre2.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

struct Rng {
    std::uint64_t s;
    std::uint64_t next() {
        s += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = s;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
};

// Words a file name is made of; Cyrillic in code page 1251.
const char* const kWords[] = {
    "report",
    "Report",
    "REPORT",
    "photo",
    "IMG",
    "scan",
    "invoice",
    "budget",
    "draft",
    "final",
    "backup",
    "notes",
    "Setup",
    "readme",
    "data",
    "plan",
    "2023",
    "2022",
    "2024",
    "v2",
    "copy",
    "\xee\xf2\xf7\xb8\xf2",         // отчёт
    "\xd1\xec\xe5\xf2\xe0",         // Смета
    "\xf4\xee\xf2\xee",             // фото
    "\xc4\xce\xc3\xce\xc2\xce\xd0", // ДОГОВОР
    "\xef\xeb\xe0\xed",             // план
    "\xc8\xf2\xee\xe3\xe8",         // Итоги
};
const char* const kExts[] = {".txt", ".TXT", ".doc", ".docx", ".xls", ".xlsx", ".XLSX", ".jpg",     ".jpeg",
                             ".JPG", ".png", ".pdf", ".zip",  ".exe", ".ini",  ".tmp",  ".txt.bak", ""};
const char kSeparators[] = {' ', '_', '-', '.', '(', ')'};

std::vector<std::string> makeCorpus(int count) {
    Rng rng{20240601};
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    while (static_cast<int>(names.size()) < count) {
        const std::size_t target = 5 + static_cast<std::size_t>(rng.below(56)); // 5..60
        std::string n;
        while (n.size() < target) {
            if (!n.empty())
                n += kSeparators[rng.below(sizeof kSeparators)];
            if (rng.below(4) == 0) {
                for (int k = 1 + rng.below(6); k > 0; --k) // random letters, mixed case and script
                    n += static_cast<char>(rng.below(3) == 0 ? 0xC0 + rng.below(64)
                                                             : (rng.below(2) ? 'a' : 'A') + rng.below(26));
            } else {
                n += kWords[rng.below(sizeof kWords / sizeof *kWords)];
            }
        }
        const std::string ext = kExts[rng.below(sizeof kExts / sizeof *kExts)];
        if (n.size() + ext.size() > 60)
            n.resize(60 - ext.size());
        n += ext;
        if (n.size() < 5)
            continue;
        names.push_back(std::move(n));
    }
    return names;
}

struct Engine {
    const char* name;
    std::function<bool(const std::string&)> match;
};

struct Expression {
    const char* text; // as the search gives it to TRegExpr
    const char* ecma; // the same for std::regex (no inline modifiers)
    bool icase;
};

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

int main(int argc, char** argv) {
    int count = 1000000, runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--names"))
            count = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::atoi(argv[i + 1]);
    }
    const std::vector<std::string> names = makeCorpus(count);
    std::size_t bytes = 0;
    for (const auto& n : names)
        bytes += n.size();
    std::printf("corpus: %zu names, mean length %.1f; %d runs, medians\n\n", names.size(),
                static_cast<double>(bytes) / static_cast<double>(names.size()), runs);

    const Expression exprs[] = {
        {"(?i)^.*.txt$", "^.*.txt$", true},
        {"(?i)^report.*$", "^report.*$", true},
        {"\\.(jpe?g|png)$", "\\.(jpe?g|png)$", false},
        {"(?i)^.*2023.*\\.xlsx?$", "^.*2023.*\\.xlsx?$", true},
    };

    std::printf(
        "| expression | TRegExpr | PCRE2 interpreter | std::regex | vs PCRE2 | vs std::regex | matches |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const auto& e : exprs) {
        ormix::TRegExpr ours;
        ours.SetExpression(e.text);
        ours.Compile();

        int err = 0;
        PCRE2_SIZE errOff = 0;
        pcre2_code* pc = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(e.text), PCRE2_ZERO_TERMINATED, 0, &err,
                                       &errOff, nullptr);
        if (!pc) {
            std::fprintf(stderr, "pcre2_compile failed for %s\n", e.text);
            return 1;
        }
        pcre2_match_data* md = pcre2_match_data_create_from_pattern(pc, nullptr);

        const std::regex sr(e.ecma,
                            e.icase ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript);

        const Engine engines[] = {
            {"TRegExpr", [&](const std::string& s) { return ours.Exec(s); }},
            {"PCRE2",
             [&](const std::string& s) {
                 return pcre2_match(pc, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), 0, 0, md,
                                    nullptr) >= 0;
             }},
            {"std::regex", [&](const std::string& s) { return std::regex_search(s, sr); }},
        };
        // Each run goes through the corpus in slices; every slice is matched
        // by each engine in turn (starting with a different one each time),
        // so a change in the machine's load falls on all engines alike.
        constexpr std::size_t kSlice = 5000;
        std::vector<double> rate[3];
        std::size_t matches[3] = {0, 0, 0};
        for (int r = 0; r < runs; ++r) {
            double spent[3] = {0, 0, 0};
            std::size_t m[3] = {0, 0, 0};
            for (std::size_t from = 0, slice = 0; from < names.size(); from += kSlice, ++slice) {
                const std::size_t to = std::min(names.size(), from + kSlice);
                for (std::size_t j = 0; j < 3; ++j) {
                    const std::size_t k = (slice + j) % 3;
                    const double t0 = now();
                    for (std::size_t i = from; i < to; ++i)
                        m[k] += engines[k].match(names[i]);
                    spent[k] += now() - t0;
                }
            }
            for (int k = 0; k < 3; ++k) {
                rate[k].push_back(static_cast<double>(names.size()) / spent[k]);
                matches[k] = m[k];
            }
        }
        double med[3];
        for (int k = 0; k < 3; ++k) {
            std::sort(rate[k].begin(), rate[k].end());
            med[k] = rate[k][rate[k].size() / 2];
        }
        std::printf("| `%s` | %.2f M/s | %.2f M/s | %.2f M/s | %.2f x | %.1f x | %zu / %zu / %zu |\n", e.text,
                    med[0] / 1e6, med[1] / 1e6, med[2] / 1e6, med[0] / med[1], med[0] / med[2], matches[0],
                    matches[1], matches[2]);
        std::fflush(stdout);
        pcre2_match_data_free(md);
        pcre2_code_free(pc);
    }
    return 0;
}
