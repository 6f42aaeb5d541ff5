// Internal pieces of the expression engine shared by the compiler, the matcher
// and Dump: character tables, the compiled program with its start filters, and
// the error carried from the inside out to TRegExpr::Error.
#pragma once

#include "regex/program.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ormix::rx {

// Modifier bits (TRegExpr's modifiers field).
enum Modifier : int { MOD_I = 1, MOD_R = 2, MOD_S = 4, MOD_G = 8, MOD_M = 16, MOD_X = 32 };

// An error raised inside the engine; TRegExpr turns it into Error(code).
struct Fault {
    int code;
    int pos; // characters of the expression before the parse position (compile errors)
};

struct CharSet {
    std::uint64_t bits[4] = {0, 0, 0, 0};

    bool has(unsigned char c) const { return (bits[c >> 6] >> (c & 63)) & 1u; }
    void add(unsigned char c) { bits[c >> 6] |= std::uint64_t{1} << (c & 63); }
    void addRange(int from, int to) {
        for (int c = from; c <= to; ++c)
            add(static_cast<unsigned char>(c));
    }
    void addAll(const CharSet& o) {
        for (int i = 0; i < 4; ++i)
            bits[i] |= o.bits[i];
    }
    void invert() {
        for (auto& b : bits)
            b = ~b;
    }
    bool empty() const { return !(bits[0] | bits[1] | bits[2] | bits[3]); }
    int count() const;
    void addText(std::string_view s) {
        for (unsigned char c : s)
            add(c);
    }
};

// The object's character settings in the form compile and match use.
struct Tables {
    unsigned char invert[256];
    CharSet word;
    CharSet space;
    CharSet separators;
    bool paired = false;
    unsigned char head = 0;
    unsigned char tail = 0;

    bool lineModeAvailable() const { return paired || !separators.empty(); }
};

// Start filters of the compiled program (what Dump reports).
struct StartFilters {
    CharSet firstChars;
    int startChar = -1; // -1: none
    bool anchored = false;
    std::string mustHave;
};

// Extra facts the search uses to skip inputs that cannot match. They are
// derived from nodes every match must pass through, so they never change a
// result; Dump does not show them.
struct Shortcuts {
    bool atInputStart = false; // the first real node is BOL: only position 0 can match
    std::string prefix;        // with atInputStart: literal every match starts with
    bool prefixCI = false;
    std::string required; // literal that every match contains
    bool requiredCI = false;
    std::string suffix; // literal every match ends with, at the input's end
    bool suffixCI = false;
    bool lastCharKnown = false; // every match ends at the input's end with one of lastChars
    CharSet lastChars;
    // Every match starts at position 0, the start filters do not simply try
    // there, and they leave out some first characters: the first character
    // alone refuses many inputs, so Exec asks Program::refusesAtFirstChar
    // before it sets up a search.
    bool firstCharRefuses = false;
};

struct Program {
    std::vector<std::uint8_t> code;
    StartFilters filters;
    Shortcuts shortcuts;
    std::vector<std::int32_t> backSlot; // per offset: index of a BACK node's slot, -1 elsewhere
    int backCount = 0;

    ProgramView view() const { return {code.data(), static_cast<std::int32_t>(code.size())}; }

    // Whether the start filters let a try begin with character c.
    bool mayBeginWith(unsigned char c) const {
        return filters.startChar >= 0 ? c == filters.startChar : filters.firstChars.has(c);
    }

    // For a program with firstCharRefuses: whether a search from the input's
    // beginning would try no position because of the first character (or
    // because the input is empty). Reads in[0] only, so Exec asks it of the
    // caller's text before copying it; a zero byte there leaves an empty
    // copy, which the search refuses too. False for other programs.
    bool refusesAtFirstChar(const unsigned char* in, std::size_t len) const {
        return shortcuts.firstCharRefuses && (len == 0 || !mayBeginWith(in[0]));
    }
};

// Two-pass compilation of expr under the given modifiers. Throws Fault.
Program compileProgram(std::string_view expr, int modifiers, const Tables& tables);

// Fills prog.filters and prog.shortcuts from the finished program (filters.cpp).
// quantifiedStart: the whole expression starts with a quantified piece, so a
// literal run in the top-level chain is the best must-have text.
void computeStartFilters(Program& prog, bool quantifiedStart, const Tables& tables);

// Text listing of a program. Throws Fault(1011) on a corrupted node kind.
std::string dumpProgram(const Program& program);

// Position pairs: 0 the whole match, 1..14 the groups; -1 = unset.
struct Pairs {
    std::int32_t start[kMaxGroups];
    std::int32_t end[kMaxGroups];
    // All pairs unset. A failed try leaves them so (it puts back what it set),
    // so only a match clears this.
    bool clean = false;

    void unset() {
        for (int i = 0; i < kMaxGroups; ++i)
            start[i] = end[i] = -1;
        clean = true;
    }
    bool isSet(int i) const { return start[i] >= 0 && end[i] >= 0; }
};

// Backtracking matcher. It keeps its choice points on a heap stack of its own,
// so the depth of the native stack never depends on the input.
class Matcher {
public:
    // Searches in[0..len) (in[len] must be 0) from off (0-based) by the
    // program's start filters. Fills pairs on success; on failure the pairs are
    // unset when the search tried at least one position, and kept otherwise.
    bool search(const Program& prog, const Tables& tables, const unsigned char* in, std::int32_t len,
                std::int32_t off, Pairs& pairs);

    // Work bound for one search (0 = none): count of matcher steps after which
    // the search raises 1017.
    void setStepLimit(std::int64_t steps) { stepLimit_ = steps; }
    // Polled every kCancelPollSteps steps; once set the search raises 1019.
    void setCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }
    // Bound of the backtracking stack in entries (raises 1016 beyond it).
    void setStackLimit(std::size_t entries) { stackLimit_ = entries; }

private:
    // kind in the low 3 bits of tag, the node (or group, slot, level) above.
    struct Frame {
        std::uint32_t tag;
        std::int32_t pos;
        std::int32_t a;
        std::int32_t b;
        std::int32_t kind() const { return static_cast<std::int32_t>(tag & 7u); }
        std::int32_t node() const { return static_cast<std::int32_t>(tag >> 3); }
    };

    static constexpr std::size_t kKeptStackEntries = 1 << 16;
    static constexpr std::int64_t kCancelPollSteps = 4096;

    bool searchFiltered(const Program& prog, const Tables& tables, const unsigned char* in, std::int32_t len,
                        std::int32_t off, Pairs& pairs);
    bool tryAt(std::int32_t pos);
    bool run(std::int32_t pos);
    bool backtrack(std::int32_t& node, std::int32_t& pos);
    std::int32_t countRepeat(std::int32_t opnd, std::int32_t pos, std::int32_t max, std::int32_t min,
                             std::int32_t& unit) const;
    std::int32_t repeatUnit(std::int32_t opnd) const;
    bool nextCharOk(int c1, int c2, std::int32_t pos) const;
    void push(std::int32_t kind, std::int32_t node, std::int32_t pos, std::int32_t a = 0, std::int32_t b = 0);
    bool filtersWouldTry(std::int32_t off) const;
    bool shortcutsReject(std::int32_t off) const;
    void checkpoint();

    const Program* prog_ = nullptr;
    ProgramView p_;
    const Tables* t_ = nullptr;
    const unsigned char* in_ = nullptr;
    std::int32_t len_ = 0;
    Pairs* pairs_ = nullptr;
    std::int32_t endPos_ = 0;

    std::vector<Frame> stack_;
    std::int32_t level_ = 0;
    std::int32_t loopCount_[kMaxLoopLevel + 1] = {};
    std::int32_t loopStart_[kMaxLoopLevel + 1] = {};
    std::vector<std::int32_t> backPos_;

    // Steps are counted in every search; at checkAt_ the search looks at the
    // step limit and the cancel flag, so the loop pays one comparison.
    std::int64_t steps_ = 0;
    std::int64_t checkAt_ = 0;
    std::int64_t stepLimit_ = 0;
    const std::atomic<bool>* cancel_ = nullptr;
    std::size_t stackLimit_ = std::size_t{1} << 23; // 128 MiB
};

} // namespace ormix::rx
