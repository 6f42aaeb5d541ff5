// A deliberately plain matcher for tests only: it runs a compiled program by
// recursion, node by node as the engine's rules read, with the start positions
// tried one by one and none of the search shortcuts. Every failed try puts back
// the position, the groups and the loop counters it changed. The engine's own
// matcher (heap stack, shortcuts) must agree with it on every input.
#pragma once

#include "regex/engine.h"
#include "regex/regexpr.h"

#include <cstring>
#include <string>
#include <vector>

namespace ormix::rxtest {

// Tables as a new TRegExpr builds them from the global defaults.
inline rx::Tables defaultTables() {
    rx::Tables t;
    for (int c = 0; c < 256; ++c)
        t.invert[c] = TRegExpr::InvertCaseFunction(static_cast<unsigned char>(c));
    t.word.addText(RegExprWordChars);
    t.space.addText(RegExprSpaceChars);
    t.separators.addText(RegExprLineSeparators);
    t.paired = true;
    t.head = '\r';
    t.tail = '\n';
    return t;
}

class ReferenceMatcher {
public:
    // Thrown when a search takes more steps than the budget allows.
    struct OverBudget {};

    ReferenceMatcher(const rx::Program& prog, const rx::Tables& tables, std::string input)
        : p_(prog.view()), prog_(prog), t_(tables), in_(std::move(input)) {
        pairs_.unset();
        backPos_.assign(static_cast<std::size_t>(prog.backCount), -1);
    }

    // The search from 1-based offset; throws rx::Fault like the engine.
    bool search(int offset) {
        const auto len = static_cast<std::int32_t>(in_.size());
        if (offset > len + 1)
            return false;
        const std::int32_t off = offset - 1;
        const rx::StartFilters& f = prog_.filters;
        if (!f.mustHave.empty() && in_.find(f.mustHave, static_cast<std::size_t>(off)) == std::string::npos)
            return false;
        if (f.anchored)
            return tryAt(off);
        for (std::int32_t p = off; p < len; ++p) {
            const auto c = static_cast<unsigned char>(in_[static_cast<std::size_t>(p)]);
            const bool candidate = f.startChar >= 0 ? c == f.startChar : f.firstChars.has(c);
            if (candidate && tryAt(p))
                return true;
        }
        return false;
    }

    const rx::Pairs& pairs() const { return pairs_; }
    void setBudget(long steps) { budget_ = steps; }

private:
    bool tryAt(std::int32_t p) {
        pairs_.unset();
        pos_ = p;
        level_ = 0;
        std::fill(backPos_.begin(), backPos_.end(), -1);
        if (!matchPrim(1))
            return false;
        pairs_.start[0] = p;
        pairs_.end[0] = pos_;
        return true;
    }

    unsigned char at(std::int32_t i) const {
        return static_cast<unsigned char>(in_[static_cast<std::size_t>(i)]);
    }
    std::int32_t len() const { return static_cast<std::int32_t>(in_.size()); }
    bool word(std::int32_t i) const { return i >= 0 && i < len() && t_.word.has(at(i)); }

    bool single(std::int32_t node, std::int32_t i) const {
        if (i >= len())
            return false;
        const unsigned char c = at(i);
        const std::uint8_t* o = p_.operandPtr(node);
        switch (p_.op(node)) {
        case rx::ANY:
            return true;
        case rx::EXACTLY:
            return o[0] != 0 && c == o[0];
        case rx::EXACTLYCI:
            return o[0] != 0 && (c == o[0] || c == t_.invert[o[0]]);
        case rx::ANYDIGIT:
            return c >= '0' && c <= '9';
        case rx::NOTDIGIT:
            return !(c >= '0' && c <= '9');
        case rx::ANYOFTINYSET:
            return c == o[0] || c == o[1] || c == o[2];
        case rx::ANYBUTTINYSET:
            return c != o[0] && c != o[1] && c != o[2];
        case rx::ANYOFFULLSET:
            return (o[c >> 3] >> (c & 7)) & 1;
        default:
            throw rx::Fault{1000, 0};
        }
    }

    // Length of the captured text of group g, -1 when it holds nothing usable.
    std::int32_t captured(int g) const {
        const std::int32_t s = pairs_.start[g], e = pairs_.end[g];
        return (s < 0 || e < 0 || e < s) ? -1 : e - s;
    }

    bool copyAt(int g, bool ci, std::int32_t i) const {
        const std::int32_t n = captured(g);
        if (n < 0 || len() - i < n)
            return false;
        for (std::int32_t j = 0; j < n; ++j) {
            const unsigned char c = at(i + j), k = at(pairs_.start[g] + j);
            if (c != k && !(ci && c == t_.invert[k]))
                return false;
        }
        return true;
    }

    struct LoopState {
        std::int32_t level;
        std::int32_t count[rx::kMaxLoopLevel + 1];
        std::int32_t start[rx::kMaxLoopLevel + 1];
    };
    LoopState saveLoops() const {
        LoopState s{level_, {}, {}};
        std::memcpy(s.count, count_, sizeof count_);
        std::memcpy(s.start, start_, sizeof start_);
        return s;
    }
    void restoreLoops(const LoopState& s) {
        level_ = s.level;
        std::memcpy(count_, s.count, sizeof count_);
        std::memcpy(start_, s.start, sizeof start_);
    }

    bool matchPrim(std::int32_t scan) {
        using namespace rx;
        while (scan != 0) {
            if (budget_ > 0 && --budget_ == 0)
                throw OverBudget{};
            const std::uint8_t k = p_.op(scan);
            const std::int32_t next = p_.next(scan);
            const std::uint8_t* o = p_.operandPtr(scan);
            switch (k) {
            case END:
                return true;
            case BOL:
                if (pos_ != 0)
                    return false;
                break;
            case EOL:
                if (pos_ != len())
                    return false;
                break;
            case BOLML: {
                bool ok = pos_ == 0;
                if (!ok && t_.paired && pos_ >= 2 && at(pos_ - 2) == t_.head && at(pos_ - 1) == t_.tail)
                    ok = true;
                if (!ok && t_.separators.has(at(pos_ - 1)) &&
                    !(t_.paired && at(pos_ - 1) == t_.head && pos_ < len() && at(pos_) == t_.tail))
                    ok = true;
                if (!ok)
                    return false;
                break;
            }
            case EOLML: {
                bool ok = pos_ == len();
                if (!ok && t_.paired && pos_ + 1 < len() && at(pos_) == t_.head && at(pos_ + 1) == t_.tail)
                    ok = true;
                if (!ok && t_.separators.has(at(pos_)) &&
                    !(t_.paired && at(pos_) == t_.tail && pos_ > 0 && at(pos_ - 1) == t_.head))
                    ok = true;
                if (!ok)
                    return false;
                break;
            }
            case ANYML:
                if (pos_ >= len() || t_.separators.has(at(pos_)) ||
                    (t_.paired && at(pos_) == t_.head && pos_ + 1 < len() && at(pos_ + 1) == t_.tail))
                    return false;
                ++pos_;
                break;
            case ANY:
            case EXACTLY:
            case EXACTLYCI:
            case ANYDIGIT:
            case NOTDIGIT:
            case ANYOFTINYSET:
            case ANYBUTTINYSET:
            case ANYOFFULLSET:
                if (k == EXACTLY || k == EXACTLYCI) {
                    const std::size_t n = std::strlen(reinterpret_cast<const char*>(o));
                    if (n == 0)
                        return false;
                    for (std::size_t j = 0; j < n; ++j) {
                        if (pos_ >= len())
                            return false;
                        const unsigned char c = at(pos_);
                        if (c != o[j] && !(k == EXACTLYCI && c == t_.invert[o[j]]))
                            return false;
                        ++pos_;
                    }
                    break;
                }
                if (!single(scan, pos_))
                    return false;
                ++pos_;
                break;
            case BOUND:
            case NOTBOUND:
                if ((word(pos_ - 1) != word(pos_)) != (k == BOUND))
                    return false;
                break;
            case BSUBEXP:
            case BSUBEXPCI:
                if (!copyAt(o[0], k == BSUBEXPCI, pos_))
                    return false;
                pos_ += captured(o[0]);
                break;
            case BRANCH: {
                if (next == 0 || p_.op(next) != BRANCH) {
                    scan = p_.operand(scan);
                    continue;
                }
                const std::int32_t save = pos_;
                for (std::int32_t b = scan; b != 0 && p_.op(b) == BRANCH; b = p_.next(b)) {
                    if (matchPrim(p_.operand(b)))
                        return true;
                    pos_ = save;
                }
                return false;
            }
            case BACK: {
                const auto slot = static_cast<std::size_t>(prog_.backSlot[static_cast<std::size_t>(scan)]);
                if (backPos_[slot] == pos_)
                    return false;
                const std::int32_t old = backPos_[slot];
                backPos_[slot] = pos_;
                if (matchPrim(next))
                    return true;
                backPos_[slot] = old;
                return false;
            }
            case NOTHING:
            case COMMENT:
                break;
            case STAR:
            case PLUS:
            case BRACES:
            case STARNG:
            case PLUSNG:
            case BRACESNG:
                return repeat(scan, k, next);
            case LOOPENTRY: {
                const LoopState saved = saveLoops();
                ++level_;
                if (level_ > kMaxLoopLevel)
                    throw Fault{1014, 0};
                count_[level_] = 0;
                start_[level_] = pos_;
                const std::int32_t save = pos_;
                if (matchPrim(next))
                    return true;
                restoreLoops(saved);
                pos_ = save;
                return false;
            }
            case LOOP:
            case LOOPNG:
                return loopEnd(scan, k, next);
            default:
                if (isOpen(k) || isClose(k)) {
                    const int g = isOpen(k) ? k - OPEN : k - CLOSE;
                    std::int32_t& slot = isOpen(k) ? pairs_.start[g] : pairs_.end[g];
                    const std::int32_t old = slot;
                    slot = pos_;
                    if (matchPrim(next))
                        return true;
                    slot = old;
                    return false;
                }
                throw Fault{1001, 0};
            }
            scan = next;
        }
        throw rx::Fault{1002, 0};
    }

    bool repeat(std::int32_t scan, std::uint8_t k, std::int32_t next) {
        using namespace rx;
        const std::int32_t opnd = p_.repeatOperand(scan);
        std::int32_t mn = 0, mx = kSimpleRepeatMax;
        if (k == PLUS || k == PLUSNG)
            mn = 1;
        if (k == BRACES || k == BRACESNG) {
            mn = p_.argMin(scan);
            mx = p_.argMax(scan);
        }
        const bool backref = p_.op(opnd) == BSUBEXP || p_.op(opnd) == BSUBEXPCI;
        std::int32_t unit = 1, count = 0;
        if (backref) {
            const int g = p_.operandPtr(opnd)[0];
            unit = captured(g);
            if (unit < 0) {
                unit = 0;
            } else if (unit == 0) {
                count = std::min(mn, mx);
            } else {
                while (count < mx && copyAt(g, p_.op(opnd) == BSUBEXPCI, pos_ + count * unit))
                    ++count;
            }
        } else {
            while (count < mx && single(opnd, pos_ + count))
                ++count;
        }
        if (count < mn)
            return false;
        int nextChar = -1, nextOther = -1;
        if (next != 0 && (p_.op(next) == EXACTLY || p_.op(next) == EXACTLYCI) &&
            p_.operandPtr(next)[0] != 0) {
            nextChar = p_.operandPtr(next)[0];
            nextOther = p_.op(next) == EXACTLYCI ? t_.invert[nextChar] : nextChar;
        }
        const std::int32_t start = pos_;
        const bool greedy = k == STAR || k == PLUS || k == BRACES;
        for (std::int32_t i = 0; i <= count - mn; ++i) {
            const std::int32_t n = greedy ? count - i : mn + i;
            pos_ = start + n * unit;
            if (nextChar >= 0 && !(pos_ < len() && (at(pos_) == nextChar || at(pos_) == nextOther)))
                continue;
            const LoopState saved = saveLoops();
            if (matchPrim(next))
                return true;
            restoreLoops(saved);
        }
        pos_ = start;
        return false;
    }

    bool loopEnd(std::int32_t scan, std::uint8_t k, std::int32_t next) {
        using namespace rx;
        if (level_ <= 0)
            throw Fault{1015, 0};
        const std::int32_t body = p_.loopBody(scan);
        const std::int32_t mn = p_.argMin(scan), mx = p_.argMax(scan);
        const std::int32_t lv = level_;
        const std::int32_t c = count_[lv];
        const std::int32_t save = pos_;
        const bool emptyIteration = c > 0 && pos_ == start_[lv];
        // Loop counters belong to the state a failed try puts back: the
        // continuation may run a later loop on the same level.
        auto tryBody = [&] {
            const LoopState saved = saveLoops();
            count_[lv] = c + 1;
            start_[lv] = pos_;
            if (matchPrim(body))
                return true;
            restoreLoops(saved);
            pos_ = save;
            return false;
        };
        auto tryContinuation = [&] {
            const LoopState saved = saveLoops();
            level_ = lv - 1;
            if (matchPrim(next))
                return true;
            restoreLoops(saved);
            pos_ = save;
            return false;
        };
        if (c < mn && !emptyIteration)
            return tryBody();
        const bool more = !emptyIteration && c < mx;
        if (k == LOOP) {
            if (more && tryBody())
                return true;
            return tryContinuation();
        }
        if (tryContinuation())
            return true;
        return more && tryBody();
    }

    const rx::ProgramView p_;
    const rx::Program& prog_;
    const rx::Tables& t_;
    const std::string in_;
    rx::Pairs pairs_;
    std::int32_t pos_ = 0;
    std::int32_t level_ = 0;
    std::int32_t count_[rx::kMaxLoopLevel + 1] = {};
    std::int32_t start_[rx::kMaxLoopLevel + 1] = {};
    std::vector<std::int32_t> backPos_;
    long budget_ = 0;
};

} // namespace ormix::rxtest
