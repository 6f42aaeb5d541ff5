// Search and matcher: picks the start positions by the program's filters and
// runs a backtracking match of the program at each. Choice points and undo
// records live on a heap stack, so a long input cannot exhaust the native stack.
// Covered by tests/regex/match_test.cpp and the reference comparison in
// tests/regex/reference_test.cpp.
#include "regex/engine.h"

#include <algorithm>
#include <cstring>

namespace ormix::rx {
namespace {

// Stack entries. Choice points resume matching; undo records put back what a
// node changed when the matcher backs out past it.
enum FrameKind : std::int32_t {
    F_ALT,      // next alternative of a BRANCH chain: node, pos
    F_REPEAT,   // simple repeat: node, pos = start, a = next count, b = last count to try
    F_LOOPEXIT, // greedy loop end: leave the loop at pos
    F_LOOPBODY, // non-greedy loop end: one more iteration at pos
    U_START,    // group node's start was pos
    U_END,      // group node's end was pos
    U_LOOP,     // loop level was b; counter a and iteration start pos of level node
    U_BACK,     // BACK slot node held pos
};

bool findLiteral(const unsigned char* in, std::int32_t from, std::int32_t len, const std::string& lit,
                 bool ci, const unsigned char* inv) {
    const auto n = static_cast<std::int32_t>(lit.size());
    if (len - from < n)
        return false;
    if (!ci)
        return memmem(in + from, static_cast<std::size_t>(len - from), lit.data(), lit.size()) != nullptr;
    const auto* t = reinterpret_cast<const unsigned char*>(lit.data());
    const unsigned char f0 = t[0], f1 = inv[t[0]];
    for (std::int32_t i = from; i <= len - n; ++i) {
        const unsigned char c = in[i];
        if (c != f0 && c != f1)
            continue;
        std::int32_t j = 1;
        while (j < n && (in[i + j] == t[j] || in[i + j] == inv[t[j]]))
            ++j;
        if (j == n)
            return true;
    }
    return false;
}

bool endsWith(const unsigned char* in, std::int32_t from, std::int32_t len, const std::string& lit, bool ci,
              const unsigned char* inv) {
    const auto n = static_cast<std::int32_t>(lit.size());
    if (len - from < n)
        return false;
    const auto* t = reinterpret_cast<const unsigned char*>(lit.data());
    const unsigned char* s = in + len - n;
    for (std::int32_t j = 0; j < n; ++j)
        if (s[j] != t[j] && !(ci && s[j] == inv[t[j]]))
            return false;
    return true;
}

bool startsWith(const unsigned char* in, std::int32_t len, const std::string& lit, bool ci,
                const unsigned char* inv) {
    const auto n = static_cast<std::int32_t>(lit.size());
    if (len < n)
        return false;
    const auto* t = reinterpret_cast<const unsigned char*>(lit.data());
    for (std::int32_t j = 0; j < n; ++j)
        if (in[j] != t[j] && !(ci && in[j] == inv[t[j]]))
            return false;
    return true;
}

} // namespace

void Matcher::push(std::int32_t kind, std::int32_t node, std::int32_t pos, std::int32_t a, std::int32_t b) {
    if (stack_.size() >= stackLimit_)
        throw Fault{1016, 0};
    stack_.push_back(
        Frame{static_cast<std::uint32_t>(node) << 3 | static_cast<std::uint32_t>(kind), pos, a, b});
}

bool Matcher::shortcutsReject(std::int32_t off) const {
    const Shortcuts& s = prog_->shortcuts;
    if (s.atInputStart) {
        if (off > 0)
            return true;
        if (!s.prefix.empty() && !startsWith(in_, len_, s.prefix, s.prefixCI, t_->invert))
            return true;
    }
    if (s.lastCharKnown && (len_ == 0 || !s.lastChars.has(in_[len_ - 1])))
        return true;
    if (!s.suffix.empty() && !endsWith(in_, off, len_, s.suffix, s.suffixCI, t_->invert))
        return true;
    if (!s.required.empty() && !findLiteral(in_, off, len_, s.required, s.requiredCI, t_->invert))
        return true;
    return false;
}

// Whether the start filters alone would try at least one position from off.
bool Matcher::filtersWouldTry(std::int32_t off) const {
    const StartFilters& f = prog_->filters;
    if (f.anchored)
        return true;
    if (f.startChar >= 0)
        return off < len_ &&
               std::memchr(in_ + off, f.startChar, static_cast<std::size_t>(len_ - off)) != nullptr;
    for (std::int32_t p = off; p < len_; ++p)
        if (f.firstChars.has(in_[p]))
            return true;
    return false;
}

bool Matcher::search(const Program& prog, const Tables& tables, const unsigned char* in, std::int32_t len,
                     std::int32_t off, Pairs& pairs) {
    // A deep match leaves a large stack behind; an object kept for short
    // names should not hold on to it.
    struct Release {
        std::vector<Frame>& stack;
        ~Release() {
            if (stack.capacity() > kKeptStackEntries)
                std::vector<Frame>().swap(stack);
        }
    } release{stack_};
    return searchFiltered(prog, tables, in, len, off, pairs);
}

bool Matcher::searchFiltered(const Program& prog, const Tables& tables, const unsigned char* in,
                             std::int32_t len, std::int32_t off, Pairs& pairs) {
    prog_ = &prog;
    p_ = prog.view();
    t_ = &tables;
    in_ = in;
    len_ = len;
    pairs_ = &pairs;
    steps_ = 0;
    checkAt_ = 0;
    checkpoint();
    if (backPos_.size() != static_cast<std::size_t>(prog.backCount))
        backPos_.assign(static_cast<std::size_t>(prog.backCount), -1);

    const StartFilters& f = prog.filters;
    if (!f.mustHave.empty() &&
        !memmem(in + off, static_cast<std::size_t>(len - off), f.mustHave.data(), f.mustHave.size()))
        return false;

    // Positions the filters below would try in vain are skipped; the pairs
    // still end up as a full search would leave them.
    if (shortcutsReject(off)) {
        if (!pairs.clean && filtersWouldTry(off))
            pairs.unset();
        return false;
    }

    if (f.anchored)
        return tryAt(off);

    if (prog.shortcuts.atInputStart) { // off is 0 here
        bool tried = false;
        if (len > 0 && prog.mayBeginWith(in[0])) {
            tried = true;
            if (tryAt(0))
                return true;
        }
        if (!tried && !pairs.clean && filtersWouldTry(0))
            pairs.unset();
        return false;
    }

    if (f.startChar >= 0) {
        const auto c = static_cast<unsigned char>(f.startChar);
        for (std::int32_t p = off; p < len; ++p) {
            const void* hit = std::memchr(in + p, c, static_cast<std::size_t>(len - p));
            if (!hit)
                break;
            p = static_cast<std::int32_t>(static_cast<const unsigned char*>(hit) - in);
            if (tryAt(p))
                return true;
        }
        return false;
    }

    for (std::int32_t p = off; p < len; ++p)
        if (f.firstChars.has(in[p]) && tryAt(p))
            return true;
    return false;
}

// Runs when steps_ passes checkAt_: raises 1017 past the step limit and 1019
// once the cancel flag is set, and sets the next point to look again.
void Matcher::checkpoint() {
    if (stepLimit_ > 0 && steps_ > stepLimit_)
        throw Fault{1017, 0};
    if (cancel_ && cancel_->load(std::memory_order_relaxed))
        throw Fault{1019, 0};
    std::int64_t next = INT64_MAX;
    if (cancel_)
        next = steps_ + kCancelPollSteps;
    if (stepLimit_ > 0 && stepLimit_ < next)
        next = stepLimit_;
    checkAt_ = next;
}

bool Matcher::tryAt(std::int32_t pos) {
    if (!pairs_->clean)
        pairs_->unset();
    pairs_->clean = false; // until the try has put everything back
    if (!run(pos)) {
        pairs_->clean = true;
        return false;
    }
    pairs_->start[0] = pos;
    pairs_->end[0] = endPos_;
    return true;
}

bool Matcher::nextCharOk(int c1, int c2, std::int32_t pos) const {
    if (c1 < 0)
        return true;
    if (pos >= len_)
        return false;
    const int c = in_[pos];
    return c == c1 || c == c2;
}

// Length of one repetition of a simple node: 1, or the captured text's length
// for a back-reference (-1 while the group holds nothing usable).
std::int32_t Matcher::repeatUnit(std::int32_t opnd) const {
    const std::uint8_t k = p_.op(opnd);
    if (k != BSUBEXP && k != BSUBEXPCI)
        return 1;
    const int g = p_.operandPtr(opnd)[0];
    const std::int32_t s = pairs_->start[g], e = pairs_->end[g];
    if (s < 0 || e < 0 || e < s)
        return -1;
    return e - s;
}

std::int32_t Matcher::countRepeat(std::int32_t opnd, std::int32_t pos, std::int32_t max, std::int32_t min,
                                  std::int32_t& unit) const {
    const unsigned char* s = in_ + pos;
    const std::int32_t avail = len_ - pos;
    const std::int32_t lim = std::min(max, avail);
    const std::uint8_t* o = p_.operandPtr(opnd);
    const unsigned char* inv = t_->invert;
    std::int32_t n = 0;
    unit = 1;
    switch (p_.op(opnd)) {
    case ANY:
        return lim;
    case EXACTLY: {
        const unsigned char c = o[0];
        if (c == 0)
            return 0;
        while (n < lim && s[n] == c)
            ++n;
        return n;
    }
    case EXACTLYCI: {
        const unsigned char c = o[0], ic = inv[o[0]];
        if (c == 0)
            return 0;
        while (n < lim && (s[n] == c || s[n] == ic))
            ++n;
        return n;
    }
    case ANYDIGIT:
        while (n < lim && s[n] >= '0' && s[n] <= '9')
            ++n;
        return n;
    case NOTDIGIT:
        while (n < lim && !(s[n] >= '0' && s[n] <= '9'))
            ++n;
        return n;
    case ANYOFTINYSET:
        while (n < lim && (s[n] == o[0] || s[n] == o[1] || s[n] == o[2]))
            ++n;
        return n;
    case ANYBUTTINYSET:
        while (n < lim && s[n] != o[0] && s[n] != o[1] && s[n] != o[2])
            ++n;
        return n;
    case ANYOFFULLSET:
        while (n < lim && ((o[s[n] >> 3] >> (s[n] & 7)) & 1))
            ++n;
        return n;
    case BSUBEXP:
    case BSUBEXPCI: {
        unit = repeatUnit(opnd);
        if (unit < 0) {
            unit = 0;
            return 0;
        }
        // Copies of an empty capture are all empty: counting them could not
        // end below max, and every count gives the same position.
        if (unit == 0)
            return std::min(min, max);
        const unsigned char* cap = in_ + pairs_->start[p_.operandPtr(opnd)[0]];
        const bool ci = p_.op(opnd) == BSUBEXPCI;
        std::int32_t at = 0;
        while (n < max && avail - at >= unit) {
            std::int32_t j = 0;
            if (ci) {
                while (j < unit && (s[at + j] == cap[j] || s[at + j] == inv[cap[j]]))
                    ++j;
            } else if (std::memcmp(s + at, cap, static_cast<std::size_t>(unit)) == 0) {
                j = unit;
            }
            if (j < unit)
                break;
            at += unit;
            ++n;
        }
        return n;
    }
    default:
        throw Fault{1000, 0};
    }
}

bool Matcher::run(std::int32_t pos) {
    stack_.clear();
    level_ = 0;
    std::fill(backPos_.begin(), backPos_.end(), -1);

    const std::uint8_t* code = p_.code;
    const unsigned char* in = in_;
    const std::int32_t len = len_;
    const unsigned char* inv = t_->invert;
    std::int32_t node = 1;

    for (;;) {
        if (++steps_ > checkAt_)
            checkpoint();
        const std::uint8_t k = code[node];
        const std::uint8_t* o = code + node + kNodeHeader;
        switch (k) {
        case END:
            endPos_ = pos;
            return true;
        case BOL:
            if (pos != 0)
                goto fail;
            break;
        case EOL:
            if (pos != len)
                goto fail;
            break;
        case BOLML: {
            if (pos == 0)
                break;
            const unsigned char before = in[pos - 1];
            if (t_->paired && pos >= 2 && in[pos - 2] == t_->head && before == t_->tail)
                break;
            if (t_->separators.has(before) && !(t_->paired && before == t_->head && in[pos] == t_->tail))
                break;
            goto fail;
        }
        case EOLML: {
            if (pos == len)
                break;
            const unsigned char at = in[pos];
            if (t_->paired && at == t_->head && in[pos + 1] == t_->tail)
                break;
            if (t_->separators.has(at) &&
                !(t_->paired && at == t_->tail && pos > 0 && in[pos - 1] == t_->head))
                break;
            goto fail;
        }
        case ANY:
            if (pos >= len)
                goto fail;
            ++pos;
            break;
        case ANYML: {
            if (pos >= len)
                goto fail;
            const unsigned char c = in[pos];
            if (t_->separators.has(c) || (t_->paired && c == t_->head && in[pos + 1] == t_->tail))
                goto fail;
            ++pos;
            break;
        }
        case ANYDIGIT:
            if (pos >= len || in[pos] < '0' || in[pos] > '9')
                goto fail;
            ++pos;
            break;
        case NOTDIGIT:
            if (pos >= len || (in[pos] >= '0' && in[pos] <= '9'))
                goto fail;
            ++pos;
            break;
        case EXACTLY: {
            // The input ends with a zero byte and a literal holds none, so the
            // comparison stops at the end by itself. A literal zero character
            // (an empty text here) never matches: the input cannot hold one.
            if (o[0] == 0 || in[pos] != o[0])
                goto fail;
            std::int32_t j = 1;
            while (o[j] != 0) {
                if (in[pos + j] != o[j])
                    goto fail;
                ++j;
            }
            pos += j;
            break;
        }
        case EXACTLYCI: {
            if (o[0] == 0)
                goto fail;
            std::int32_t j = 0;
            while (o[j] != 0) {
                if (pos + j >= len)
                    goto fail;
                const unsigned char c = in[pos + j];
                if (c != o[j] && c != inv[o[j]])
                    goto fail;
                ++j;
            }
            pos += j;
            break;
        }
        case ANYOFTINYSET:
            if (pos >= len || (in[pos] != o[0] && in[pos] != o[1] && in[pos] != o[2]))
                goto fail;
            ++pos;
            break;
        case ANYBUTTINYSET:
            if (pos >= len || in[pos] == o[0] || in[pos] == o[1] || in[pos] == o[2])
                goto fail;
            ++pos;
            break;
        case ANYOFFULLSET:
            if (pos >= len || !((o[in[pos] >> 3] >> (in[pos] & 7)) & 1))
                goto fail;
            ++pos;
            break;
        case BOUND:
        case NOTBOUND: {
            const bool before = pos > 0 && t_->word.has(in[pos - 1]);
            const bool at = pos < len && t_->word.has(in[pos]);
            if ((before != at) != (k == BOUND))
                goto fail;
            break;
        }
        case BSUBEXP:
        case BSUBEXPCI: {
            const std::int32_t unit = repeatUnit(node);
            if (unit < 0 || len - pos < unit)
                goto fail;
            const unsigned char* cap = in + pairs_->start[o[0]];
            if (k == BSUBEXP) {
                if (std::memcmp(in + pos, cap, static_cast<std::size_t>(unit)) != 0)
                    goto fail;
            } else {
                for (std::int32_t j = 0; j < unit; ++j)
                    if (in[pos + j] != cap[j] && in[pos + j] != inv[cap[j]])
                        goto fail;
            }
            pos += unit;
            break;
        }
        case BRANCH: {
            const std::int32_t nx = p_.next(node);
            if (nx != 0 && code[nx] == BRANCH)
                push(F_ALT, nx, pos);
            node += kNodeHeader;
            continue;
        }
        case BACK: {
            // An iteration that consumed nothing would repeat forever.
            const std::int32_t slot = prog_->backSlot[static_cast<std::size_t>(node)];
            if (backPos_[static_cast<std::size_t>(slot)] == pos)
                goto fail;
            push(U_BACK, slot, backPos_[static_cast<std::size_t>(slot)]);
            backPos_[static_cast<std::size_t>(slot)] = pos;
            break;
        }
        case NOTHING:
        case COMMENT:
            break;
        case STAR:
        case PLUS:
        case BRACES:
        case STARNG:
        case PLUSNG:
        case BRACESNG: {
            const std::int32_t opnd = p_.repeatOperand(node);
            std::int32_t mn, mx;
            if (k == STAR || k == STARNG) {
                mn = 0;
                mx = kSimpleRepeatMax;
            } else if (k == PLUS || k == PLUSNG) {
                mn = 1;
                mx = kSimpleRepeatMax;
            } else {
                mn = p_.argMin(node);
                mx = p_.argMax(node);
            }
            std::int32_t unit = 1;
            const std::int32_t count = countRepeat(opnd, pos, mx, mn, unit);
            if (count < mn)
                goto fail;
            const std::int32_t nx = p_.next(node);
            if (nx == 0)
                throw Fault{1002, 0};
            int c1 = -1, c2 = -1;
            if ((code[nx] == EXACTLY || code[nx] == EXACTLYCI) && code[nx + kNodeHeader] != 0) {
                c1 = code[nx + kNodeHeader];
                c2 = code[nx] == EXACTLYCI ? inv[c1] : c1;
            }
            std::int32_t kk;
            if (k == STAR || k == PLUS || k == BRACES) {
                kk = count;
                if (c1 >= 0 && unit == 1) {
                    while (kk >= mn && !nextCharOk(c1, c2, pos + kk))
                        --kk;
                } else {
                    while (kk >= mn && !nextCharOk(c1, c2, pos + kk * unit))
                        --kk;
                }
                if (kk < mn)
                    goto fail;
                if (kk > mn)
                    push(F_REPEAT, node, pos, kk - 1, mn);
            } else {
                kk = mn;
                while (kk <= count && !nextCharOk(c1, c2, pos + kk * unit))
                    ++kk;
                if (kk > count)
                    goto fail;
                if (kk < count)
                    push(F_REPEAT, node, pos, kk + 1, count);
            }
            pos += kk * unit;
            node = nx;
            continue;
        }
        case LOOPENTRY: {
            if (level_ >= kMaxLoopLevel)
                throw Fault{1014, 0};
            const std::int32_t lv = level_ + 1;
            push(U_LOOP, lv, loopStart_[lv], loopCount_[lv], level_);
            level_ = lv;
            loopCount_[lv] = 0;
            loopStart_[lv] = pos;
            break;
        }
        case LOOP:
        case LOOPNG: {
            if (level_ <= 0)
                throw Fault{1015, 0};
            const std::int32_t lv = level_;
            const std::int32_t c = loopCount_[lv];
            const std::int32_t mn = p_.argMin(node), mx = p_.argMax(node);
            // An iteration that consumed nothing would give the same again:
            // take the loop as done.
            const bool emptyIteration = c > 0 && pos == loopStart_[lv];
            const bool more = !emptyIteration && c < mx;
            // Choice points go below the undo record, so that backing into
            // them finds the loop state as it was at this node.
            if (c < mn && !emptyIteration) {
                push(U_LOOP, lv, loopStart_[lv], c, level_);
                loopCount_[lv] = c + 1;
                loopStart_[lv] = pos;
                node = p_.loopBody(node);
                continue;
            }
            if (k == LOOP && more) {
                push(F_LOOPEXIT, node, pos);
                push(U_LOOP, lv, loopStart_[lv], c, level_);
                loopCount_[lv] = c + 1;
                loopStart_[lv] = pos;
                node = p_.loopBody(node);
                continue;
            }
            if (k == LOOPNG && more)
                push(F_LOOPBODY, node, pos);
            push(U_LOOP, lv, loopStart_[lv], c, level_);
            level_ = lv - 1;
            break;
        }
        default:
            if (isOpen(k)) {
                const int g = k - OPEN;
                push(U_START, g, pairs_->start[g]);
                pairs_->start[g] = pos;
                break;
            }
            if (isClose(k)) {
                const int g = k - CLOSE;
                push(U_END, g, pairs_->end[g]);
                pairs_->end[g] = pos;
                break;
            }
            throw Fault{1001, 0};
        }
        {
            const std::int32_t d = readInt(code + node + 1);
            if (d == 0)
                throw Fault{1002, 0};
            node += d;
        }
        continue;
    fail:
        if (!backtrack(node, pos))
            return false;
    }
}

bool Matcher::backtrack(std::int32_t& node, std::int32_t& pos) {
    while (!stack_.empty()) {
        const Frame f = stack_.back();
        stack_.pop_back();
        switch (f.kind()) {
        case U_START:
            pairs_->start[f.node()] = f.pos;
            break;
        case U_END:
            pairs_->end[f.node()] = f.pos;
            break;
        case U_LOOP:
            loopStart_[f.node()] = f.pos;
            loopCount_[f.node()] = f.a;
            level_ = f.b;
            break;
        case U_BACK:
            backPos_[static_cast<std::size_t>(f.node())] = f.pos;
            break;
        case F_ALT: {
            pos = f.pos;
            const std::int32_t nx = p_.next(f.node());
            if (nx != 0 && p_.op(nx) == BRANCH)
                push(F_ALT, nx, pos);
            node = f.node() + kNodeHeader;
            return true;
        }
        case F_REPEAT: {
            const std::int32_t nx = p_.next(f.node());
            const std::uint8_t k = p_.op(f.node());
            const std::int32_t unit = std::max<std::int32_t>(repeatUnit(p_.repeatOperand(f.node())), 0);
            int c1 = -1, c2 = -1;
            if ((p_.op(nx) == EXACTLY || p_.op(nx) == EXACTLYCI) && p_.code[nx + kNodeHeader] != 0) {
                c1 = p_.code[nx + kNodeHeader];
                c2 = p_.op(nx) == EXACTLYCI ? t_->invert[c1] : c1;
            }
            std::int32_t kk = f.a;
            if (k == STAR || k == PLUS || k == BRACES) {
                while (kk >= f.b && !nextCharOk(c1, c2, f.pos + kk * unit))
                    --kk;
                if (kk < f.b)
                    break;
                if (kk > f.b)
                    push(F_REPEAT, f.node(), f.pos, kk - 1, f.b);
            } else {
                while (kk <= f.b && !nextCharOk(c1, c2, f.pos + kk * unit))
                    ++kk;
                if (kk > f.b)
                    break;
                if (kk < f.b)
                    push(F_REPEAT, f.node(), f.pos, kk + 1, f.b);
            }
            pos = f.pos + kk * unit;
            node = nx;
            return true;
        }
        case F_LOOPEXIT: {
            pos = f.pos;
            push(U_LOOP, level_, loopStart_[level_], loopCount_[level_], level_);
            --level_;
            node = p_.next(f.node());
            if (node == 0)
                throw Fault{1002, 0};
            return true;
        }
        case F_LOOPBODY: {
            pos = f.pos;
            const std::int32_t lv = level_;
            push(U_LOOP, lv, loopStart_[lv], loopCount_[lv], level_);
            ++loopCount_[lv];
            loopStart_[lv] = pos;
            node = p_.loopBody(f.node());
            return true;
        }
        default:
            break;
        }
    }
    return false;
}

} // namespace ormix::rx
