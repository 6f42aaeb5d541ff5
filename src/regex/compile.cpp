// Compiler: parses an expression twice, first only to count the bytes its
// program needs, then to write the nodes into a buffer of exactly that size;
// afterwards filters.cpp derives the start filters the search uses.
// Covered by tests/regex/compile_test.cpp and match_test.cpp.
#include "regex/engine.h"

#include <algorithm>
#include <climits>

namespace ormix::rx {

int CharSet::count() const {
    int n = 0;
    for (auto b : bits)
        n += __builtin_popcountll(b);
    return n;
}

bool isKnownOp(std::uint8_t k) {
    switch (k) {
    case END:
    case BOL:
    case EOL:
    case ANY:
    case BRANCH:
    case BACK:
    case EXACTLY:
    case NOTHING:
    case STAR:
    case PLUS:
    case ANYDIGIT:
    case NOTDIGIT:
    case BRACES:
    case COMMENT:
    case EXACTLYCI:
    case LOOPENTRY:
    case LOOP:
    case ANYOFTINYSET:
    case ANYBUTTINYSET:
    case ANYOFFULLSET:
    case BSUBEXP:
    case BSUBEXPCI:
    case STARNG:
    case PLUSNG:
    case BRACESNG:
    case LOOPNG:
    case BOLML:
    case EOLML:
    case ANYML:
    case BOUND:
    case NOTBOUND:
        return true;
    default:
        return isOpen(k) || isClose(k);
    }
}

std::int32_t nodeSize(const ProgramView& p, std::int32_t node) {
    switch (p.op(node)) {
    case EXACTLY:
    case EXACTLYCI: {
        const std::uint8_t* t = p.operandPtr(node);
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(t, 0, p.size - node - kNodeHeader));
        return end ? kNodeHeader + static_cast<std::int32_t>(end - t) + 1 : -1;
    }
    case ANYOFTINYSET:
    case ANYBUTTINYSET:
        return kNodeHeader + 3;
    case ANYOFFULLSET:
        return kNodeHeader + kFullSetBytes;
    case BSUBEXP:
    case BSUBEXPCI:
        return kNodeHeader + 1;
    case BRACES:
    case BRACESNG:
        return kNodeHeader + kBracesArgs;
    case LOOP:
    case LOOPNG:
        return kNodeHeader + kLoopArgs;
    default:
        return isKnownOp(p.op(node)) ? kNodeHeader : -1;
    }
}

namespace {

// Flags of a parsed atom, piece, alternative or group.
constexpr int HASWIDTH = 1; // never matches the empty text
constexpr int SIMPLE = 2;   // one simple node
constexpr int SPSTART = 4;  // starts with a quantified piece

constexpr std::int32_t kNone = -1; // node offset during the counting pass

bool isMeta(unsigned char c) {
    switch (c) {
    case '^':
    case '$':
    case '.':
    case '[':
    case '(':
    case ')':
    case '|':
    case '?':
    case '+':
    case '*':
    case '\\':
    case '{':
        return true;
    default:
        return false;
    }
}

bool isQuantifierChar(unsigned char c) {
    return c == '*' || c == '+' || c == '?' || c == '{';
}

bool isExtendedBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int modifierBit(unsigned char c) {
    switch (c) {
    case 'i':
    case 'I':
        return MOD_I;
    case 'r':
    case 'R':
        return MOD_R;
    case 's':
    case 'S':
        return MOD_S;
    case 'g':
    case 'G':
        return MOD_G;
    case 'm':
    case 'M':
        return MOD_M;
    case 'x':
    case 'X':
        return MOD_X;
    default:
        return 0;
    }
}

class Compiler {
public:
    Compiler(std::string_view expr, int modifiers, const Tables& tables)
        : e_(reinterpret_cast<const unsigned char*>(expr.data())),
          len_(static_cast<std::int32_t>(expr.size())), startMods_(modifiers), t_(tables) {}

    Program run() {
        int flags = 0;
        beginPass(true);
        parseReg(false, flags);
        if (size_ > kMaxProgramSize)
            fail(101);
        code_.assign(static_cast<std::size_t>(size_), 0);
        code_[0] = kSignature;
        beginPass(false);
        parseReg(false, flags);

        Program prog;
        prog.code = std::move(code_);
        computeStartFilters(prog, (flags & SPSTART) != 0, t_);
        indexBackNodes(prog);
        return prog;
    }

private:
    [[noreturn]] void fail(int code) const { throw Fault{code, pos_}; }

    void beginPass(bool counting) {
        counting_ = counting;
        pos_ = 0;
        npar_ = 1;
        mods_ = startMods_;
        size_ = 1;
        emit_ = 1;
    }

    // --- node writing ---------------------------------------------------

    std::int32_t emitNode(std::uint8_t kind) {
        if (counting_) {
            size_ += kNodeHeader;
            return kNone;
        }
        const std::int32_t at = emit_;
        code_[at] = kind;
        writeInt(&code_[at + 1], 0);
        emit_ += kNodeHeader;
        return at;
    }

    void emitByte(std::uint8_t b) {
        if (counting_) {
            ++size_;
            return;
        }
        code_[emit_++] = b;
    }

    void emitInt(std::int32_t v) {
        if (counting_) {
            size_ += 4;
            return;
        }
        writeInt(&code_[emit_], v);
        emit_ += 4;
    }

    // Puts a node of `size` bytes (header plus zeroed arguments) in front of
    // the operand that starts at `at`, moving the operand up.
    void insertNode(std::uint8_t kind, std::int32_t at, std::int32_t size) {
        if (counting_) {
            size_ += size;
            return;
        }
        std::memmove(&code_[at + size], &code_[at], static_cast<std::size_t>(emit_ - at));
        std::memset(&code_[at], 0, static_cast<std::size_t>(size));
        code_[at] = kind;
        emit_ += size;
    }

    std::int32_t nextOf(std::int32_t p) const {
        const std::int32_t d = readInt(&code_[p + 1]);
        return d == 0 ? 0 : p + d;
    }

    // Points the last node of the chain that starts at p to val.
    void tail(std::int32_t p, std::int32_t val) {
        if (counting_ || p == kNone)
            return;
        for (std::int32_t n = nextOf(p); n != 0; n = nextOf(p))
            p = n;
        writeInt(&code_[p + 1], val - p);
    }

    // tail() on the operand of a BRANCH; nothing for other nodes.
    void opTail(std::int32_t p, std::int32_t val) {
        if (counting_ || p == kNone || code_[p] != BRANCH)
            return;
        tail(p + kNodeHeader, val);
    }

    // --- parsing ---------------------------------------------------------

    // Top level (paren false) or a group after its "(".
    std::int32_t parseReg(bool paren, int& flagp) {
        flagp = HASWIDTH;
        const int savedMods = mods_;
        std::int32_t ret = kNone;
        int parno = 0;
        if (paren) {
            if (npar_ >= kMaxGroups)
                fail(102);
            parno = npar_++;
            ret = emitNode(static_cast<std::uint8_t>(OPEN + parno));
        }

        int fl = 0;
        std::int32_t br = parseBranch(fl);
        const std::int32_t firstBranch = br;
        if (ret != kNone)
            tail(ret, br);
        else
            ret = br;
        if (!(fl & HASWIDTH))
            flagp &= ~HASWIDTH;
        flagp |= fl & SPSTART;
        std::int32_t lastBranch = br;
        while (pos_ < len_ && e_[pos_] == '|') {
            ++pos_;
            br = parseBranch(fl);
            tail(lastBranch, br);
            lastBranch = br;
            if (!(fl & HASWIDTH))
                flagp &= ~HASWIDTH;
            flagp |= fl & SPSTART;
        }

        const std::int32_t ender = emitNode(static_cast<std::uint8_t>(paren ? CLOSE + parno : END));
        tail(lastBranch, ender);
        if (!counting_) {
            // The end of every alternative leads to the closing node.
            for (std::int32_t b = firstBranch; b != 0 && code_[b] == BRANCH; b = nextOf(b))
                opTail(b, ender);
        }

        if (paren) {
            if (pos_ >= len_ || e_[pos_] != ')')
                fail(103);
            ++pos_;
        } else if (pos_ < len_) {
            fail(e_[pos_] == ')' ? 104 : 105);
        }
        mods_ = savedMods;
        return ret;
    }

    std::int32_t parseBranch(int& flagp) {
        flagp = 0;
        const std::int32_t ret = emitNode(BRANCH);
        std::int32_t chain = kNone;
        bool any = false;
        while (pos_ < len_ && e_[pos_] != '|' && e_[pos_] != ')') {
            int fl = 0;
            const std::int32_t latest = parsePiece(fl);
            flagp |= fl & HASWIDTH;
            if (!any)
                flagp |= fl & SPSTART;
            else
                tail(chain, latest);
            chain = latest;
            any = true;
        }
        if (!any)
            emitNode(NOTHING);
        return ret;
    }

    // Reads '{n}', '{n,}' or '{n,m}' at `at`. False when the text there is not
    // one of these forms (the "{" is then a literal).
    bool parseBraces(std::int32_t at, std::int32_t& bmin, std::int32_t& bmax, std::int32_t& after) const {
        std::int32_t p = at + 1;
        const std::int32_t d1 = p;
        while (p < len_ && e_[p] >= '0' && e_[p] <= '9')
            ++p;
        const std::int32_t n1 = p - d1;
        if (n1 == 0 || p >= len_)
            return false;
        std::int32_t d2 = p;
        std::int32_t n2 = -1; // -1: no comma
        if (e_[p] == ',') {
            d2 = ++p;
            while (p < len_ && e_[p] >= '0' && e_[p] <= '9')
                ++p;
            n2 = p - d2;
        }
        if (p >= len_ || e_[p] != '}')
            return false;
        after = p + 1;
        if (n1 > 8 || n2 > 8)
            fail(122);
        bmin = number(d1, n1);
        if (n2 < 0)
            bmax = bmin;
        else if (n2 == 0)
            bmax = kInfiniteRepeat;
        else
            bmax = number(d2, n2);
        if (bmax < bmin)
            fail(124);
        return true;
    }

    std::int32_t number(std::int32_t from, std::int32_t n) const {
        std::int32_t v = 0;
        for (std::int32_t i = 0; i < n; ++i)
            v = v * 10 + (e_[from + i] - '0');
        return v;
    }

    bool quantifierAt(std::int32_t p) const {
        if (p >= len_)
            return false;
        if (e_[p] == '*' || e_[p] == '+' || e_[p] == '?')
            return true;
        if (e_[p] != '{')
            return false;
        std::int32_t a, b, after;
        return parseBraces(p, a, b, after);
    }

    std::int32_t parsePiece(int& flagp) {
        int flags = 0;
        const std::int32_t ret = parseAtom(flags);
        flagp = flags;
        if (pos_ >= len_)
            return ret;
        const unsigned char op = e_[pos_];
        std::int32_t bmin = 0, bmax = 0, after = 0;
        if (op == '{') {
            if (!parseBraces(pos_, bmin, bmax, after))
                return ret;
        } else if (op != '*' && op != '+' && op != '?') {
            return ret;
        }
        if (!(flags & HASWIDTH) && op != '?')
            fail(106);
        pos_ = op == '{' ? after : pos_ + 1;
        bool nonGreedy = false;
        if (pos_ < len_ && e_[pos_] == '?') {
            nonGreedy = true;
            ++pos_;
        }
        if (!(mods_ & MOD_G))
            nonGreedy = true;
        const bool simple = flags & SIMPLE;

        switch (op) {
        case '*':
            flagp = SPSTART;
            if (simple)
                insertNode(nonGreedy ? STARNG : STAR, ret, kNodeHeader);
            else if (!nonGreedy)
                emitComplexStar(ret);
            else
                emitComplexBraces(ret, 0, kInfiniteRepeat, true);
            break;
        case '+':
            flagp = SPSTART | HASWIDTH;
            if (simple)
                insertNode(nonGreedy ? PLUSNG : PLUS, ret, kNodeHeader);
            else if (!nonGreedy)
                emitComplexPlus(ret);
            else
                emitComplexBraces(ret, 1, kInfiniteRepeat, true);
            break;
        case '?':
            flagp = 0;
            if (!nonGreedy)
                emitOptional(ret);
            else if (simple)
                insertBraces(BRACESNG, ret, 0, 1);
            else
                emitComplexBraces(ret, 0, 1, true);
            break;
        default: // '{'
            flagp = (bmax > 0 ? SPSTART : 0) | (bmin > 0 ? HASWIDTH : 0);
            if (simple)
                insertBraces(nonGreedy ? BRACESNG : BRACES, ret, bmin, bmax);
            else
                emitComplexBraces(ret, bmin, bmax, nonGreedy);
            break;
        }
        if (quantifierAt(pos_))
            fail(107);
        return ret;
    }

    // x* for a complex x: BRANCH(x BACK->itself) BRANCH(NOTHING).
    void emitComplexStar(std::int32_t ret) {
        insertNode(BRANCH, ret, kNodeHeader);
        opTail(ret, emitNode(BACK));
        opTail(ret, ret);
        tail(ret, emitNode(BRANCH));
        tail(ret, emitNode(NOTHING));
    }

    // x+ for a complex x: x BRANCH(BACK->x) BRANCH(NOTHING).
    void emitComplexPlus(std::int32_t ret) {
        const std::int32_t next = emitNode(BRANCH);
        tail(ret, next);
        tail(emitNode(BACK), ret);
        tail(next, emitNode(BRANCH));
        tail(ret, emitNode(NOTHING));
    }

    // x? greedy: BRANCH(x) BRANCH(NOTHING), both alternatives joining at the NOTHING.
    void emitOptional(std::int32_t ret) {
        insertNode(BRANCH, ret, kNodeHeader);
        tail(ret, emitNode(BRANCH));
        const std::int32_t next = emitNode(NOTHING);
        tail(ret, next);
        opTail(ret, next);
    }

    void insertBraces(std::uint8_t kind, std::int32_t ret, std::int32_t bmin, std::int32_t bmax) {
        insertNode(kind, ret, kNodeHeader + kBracesArgs);
        if (!counting_) {
            writeInt(&code_[ret + kNodeHeader], bmin);
            writeInt(&code_[ret + kNodeHeader + 4], bmax);
        }
    }

    // LOOPENTRY x LOOP{min,max}: the entry leads to the loop end, the end of x
    // too, and the loop end points back to x.
    void emitComplexBraces(std::int32_t ret, std::int32_t bmin, std::int32_t bmax, bool nonGreedy) {
        insertNode(LOOPENTRY, ret, kNodeHeader);
        const std::int32_t loop = emitNode(nonGreedy ? LOOPNG : LOOP);
        emitInt(bmin);
        emitInt(bmax);
        emitInt(counting_ ? 0 : ret + kNodeHeader - loop);
        tail(ret, loop);
        if (!counting_)
            tail(ret + kNodeHeader, loop);
    }

    std::int32_t parseAtom(int& flagp) {
        flagp = 0;
        const unsigned char c = e_[pos_];
        switch (c) {
        case '^':
            ++pos_;
            return emitNode((mods_ & MOD_M) && t_.lineModeAvailable() ? BOLML : BOL);
        case '$':
            ++pos_;
            return emitNode((mods_ & MOD_M) && t_.lineModeAvailable() ? EOLML : EOL);
        case '.':
            ++pos_;
            if (mods_ & MOD_S) {
                flagp = HASWIDTH | SIMPLE;
                return emitNode(ANY);
            }
            flagp = HASWIDTH;
            return emitNode(ANYML);
        case '[':
            ++pos_;
            flagp = HASWIDTH | SIMPLE;
            return parseClass();
        case '(':
            ++pos_;
            if (pos_ < len_ && e_[pos_] == '?')
                return parseSpecialGroup();
            {
                int fl = 0;
                const std::int32_t ret = parseReg(true, fl);
                flagp = fl & (HASWIDTH | SPSTART);
                return ret;
            }
        case '|':
        case ')':
            fail(114);
        case '?':
        case '+':
        case '*':
            fail(115);
        case '\\':
            return parseEscape(flagp);
        default:
            return parseLiteral(flagp);
        }
    }

    // "(?#...)" or "(?modifiers)", parse position just after "(".
    std::int32_t parseSpecialGroup() {
        ++pos_; // over '?'
        if (pos_ < len_ && e_[pos_] == '#') {
            while (pos_ < len_ && e_[pos_] != ')')
                ++pos_;
            if (pos_ >= len_)
                fail(125);
            ++pos_;
            return emitNode(COMMENT);
        }
        int mods = mods_;
        bool on = true;
        for (;;) {
            if (pos_ >= len_)
                fail(127);
            const unsigned char m = e_[pos_];
            if (m == ')')
                break;
            if (m == '-') {
                on = false;
            } else {
                const int bit = modifierBit(m);
                if (!bit)
                    fail(127);
                mods = on ? (mods | bit) : (mods & ~bit);
            }
            ++pos_;
        }
        ++pos_;
        mods_ = mods;
        return emitNode(COMMENT);
    }

    // The character an escape stands for; the parse position is on the
    // character after the backslash and moves past the escape.
    unsigned char escapedChar() {
        const unsigned char c = e_[pos_++];
        switch (c) {
        case 't':
            return 9;
        case 'n':
            return 10;
        case 'r':
            return 13;
        case 'f':
            return 12;
        case 'a':
            return 7;
        case 'e':
            return 27;
        case 'x':
            return hexEscape();
        default:
            return c;
        }
    }

    unsigned char hexEscape() {
        if (pos_ >= len_)
            fail(111);
        if (e_[pos_] == '{') {
            ++pos_;
            int value = 0;
            int significant = 0;
            for (;;) {
                if (pos_ >= len_)
                    fail(111);
                const unsigned char h = e_[pos_];
                if (h == '}')
                    break;
                const int v = hexValue(h);
                if (v < 0)
                    fail(108);
                if (significant > 0 || v != 0)
                    ++significant;
                if (significant > 2)
                    fail(112);
                value = value * 16 + v;
                ++pos_;
            }
            ++pos_;
            return static_cast<unsigned char>(value);
        }
        const int hi = hexValue(e_[pos_]);
        if (hi < 0)
            fail(108);
        ++pos_;
        if (pos_ >= len_)
            fail(111);
        const int lo = hexValue(e_[pos_]);
        if (lo < 0)
            fail(108);
        ++pos_;
        return static_cast<unsigned char>(hi * 16 + lo);
    }

    std::int32_t parseEscape(int& flagp) {
        ++pos_; // over '\'
        if (pos_ >= len_)
            fail(116);
        const unsigned char c = e_[pos_];
        switch (c) {
        case 'd':
        case 'D':
            ++pos_;
            flagp = HASWIDTH | SIMPLE;
            return emitNode(c == 'd' ? ANYDIGIT : NOTDIGIT);
        case 's':
        case 'S':
        case 'w':
        case 'W':
            ++pos_;
            flagp = HASWIDTH | SIMPLE;
            return emitSet(c == 's' || c == 'S' ? t_.space : t_.word, c == 'S' || c == 'W');
        case 'b':
            ++pos_;
            return emitNode(BOUND);
        case 'B':
            ++pos_;
            return emitNode(NOTBOUND);
        case 'A':
            ++pos_;
            return emitNode(BOL);
        case 'Z':
            ++pos_;
            return emitNode(EOL);
        default:
            break;
        }
        flagp = HASWIDTH | SIMPLE;
        if (c >= '1' && c <= '9') {
            ++pos_;
            const std::int32_t ret = emitNode((mods_ & MOD_I) ? BSUBEXPCI : BSUBEXP);
            emitByte(static_cast<std::uint8_t>(c - '0'));
            return ret;
        }
        const unsigned char ch = escapedChar();
        const std::int32_t ret = emitNode((mods_ & MOD_I) ? EXACTLYCI : EXACTLY);
        emitByte(ch);
        emitByte(0);
        return ret;
    }

    std::int32_t parseLiteral(int& flagp) {
        const bool extended = mods_ & MOD_X;
        const std::int32_t start = pos_;
        if (extended && isExtendedBlank(e_[pos_])) {
            while (pos_ < len_ && isExtendedBlank(e_[pos_]))
                ++pos_;
            return emitNode(COMMENT);
        }
        if (extended && e_[pos_] == '#') {
            while (pos_ < len_ && e_[pos_] != '\r' && e_[pos_] != '\n')
                ++pos_;
            while (pos_ < len_ && (e_[pos_] == '\r' || e_[pos_] == '\n'))
                ++pos_;
            return emitNode(COMMENT);
        }
        // The first character belongs to the run even when it is a "{" that
        // did not make a quantifier.
        std::int32_t p = start + 1;
        while (p < len_ && !isMeta(e_[p]) && !(extended && e_[p] == '#'))
            ++p;
        std::int32_t runLen = p - start;
        if (runLen > 1 && p < len_ && isQuantifierChar(e_[p]))
            --runLen; // the quantifier takes only the last character
        pos_ = start + runLen;

        const std::int32_t ret = emitNode((mods_ & MOD_I) ? EXACTLYCI : EXACTLY);
        int written = 0;
        for (std::int32_t i = start; i < start + runLen; ++i) {
            if (extended && isExtendedBlank(e_[i]))
                continue;
            emitByte(e_[i]);
            ++written;
        }
        emitByte(0);
        if (written == 0)
            fail(119);
        flagp = HASWIDTH | (written == 1 ? SIMPLE : 0);
        return ret;
    }

    // A class after its "[".
    std::int32_t parseClass() {
        CharSet set;
        bool negated = false;
        if (pos_ < len_ && e_[pos_] == '^') {
            negated = true;
            ++pos_;
        }
        if (pos_ < len_ && e_[pos_] == ']') {
            set.add(']');
            ++pos_;
        }
        for (;;) {
            if (pos_ >= len_)
                fail(113);
            const unsigned char c = e_[pos_];
            if (c == ']') {
                ++pos_;
                break;
            }
            unsigned char from;
            if (c == '\\') {
                if (pos_ + 1 >= len_)
                    fail(110);
                const unsigned char d = e_[pos_ + 1];
                if (d == 'd' || d == 'w' || d == 's') {
                    if (d == 'd')
                        set.addRange('0', '9');
                    else
                        set.addAll(d == 'w' ? t_.word : t_.space);
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                from = escapedChar();
            } else {
                from = c;
                ++pos_;
            }
            if (pos_ + 1 < len_ && e_[pos_] == '-' && e_[pos_ + 1] != ']') {
                unsigned char to;
                if (e_[pos_ + 1] == '\\') {
                    if (pos_ + 2 >= len_) {
                        ++pos_;
                        fail(110);
                    }
                    const unsigned char d = e_[pos_ + 2];
                    if (d == 'd' || d == 'D' || d == 's' || d == 'S' || d == 'w' || d == 'W') {
                        // Not a range: "-" is a member and the escape comes next.
                        set.add(from);
                        set.add('-');
                        ++pos_;
                        continue;
                    }
                    pos_ += 2;
                    to = escapedChar();
                } else {
                    to = e_[pos_ + 1];
                    pos_ += 2;
                }
                addRange(set, from, to);
            } else {
                set.add(from);
            }
        }
        if (mods_ & MOD_I) {
            const CharSet plain = set;
            for (int ch = 0; ch < 256; ++ch)
                if (plain.has(static_cast<unsigned char>(ch)))
                    set.add(t_.invert[ch]);
        }
        return emitSet(set, negated);
    }

    void addRange(CharSet& set, unsigned char from, unsigned char to) {
        if (mods_ & MOD_R) {
            // The Russian letter ranges of code page 1251 bring in ё/Ё, which
            // lie outside the code ranges.
            if (from == 0xE0 && to == 0xFF) {
                set.addRange(0xE0, 0xFF);
                set.add(0xB8);
                return;
            }
            if (from == 0xC0 && to == 0xDF) {
                set.addRange(0xC0, 0xDF);
                set.add(0xA8);
                return;
            }
            if (from == 0xE0 && to == 0xDF) {
                set.addRange(0xC0, 0xFF);
                set.add(0xA8);
                set.add(0xB8);
                return;
            }
        }
        if (to < from)
            fail(109);
        set.addRange(from, to);
    }

    std::int32_t emitSet(const CharSet& set, bool negated) {
        const int n = set.count();
        if (n <= 3) {
            const std::int32_t ret = emitNode(negated ? ANYBUTTINYSET : ANYOFTINYSET);
            unsigned char members[3] = {0, 0, 0};
            int k = 0;
            for (int ch = 0; ch < 256 && k < 3; ++ch)
                if (set.has(static_cast<unsigned char>(ch)))
                    members[k++] = static_cast<unsigned char>(ch);
            for (int i = k; i < 3; ++i)
                members[i] = k > 0 ? members[k - 1] : 0;
            for (unsigned char m : members)
                emitByte(m);
            return ret;
        }
        CharSet bits = set;
        if (negated)
            bits.invert();
        const std::int32_t ret = emitNode(ANYOFFULLSET);
        for (int i = 0; i < kFullSetBytes; ++i) {
            std::uint8_t b = 0;
            for (int j = 0; j < 8; ++j)
                if (bits.has(static_cast<unsigned char>(i * 8 + j)))
                    b |= static_cast<std::uint8_t>(1u << j);
            emitByte(b);
        }
        return ret;
    }

    void indexBackNodes(Program& prog) const {
        const ProgramView p = prog.view();
        prog.backSlot.assign(static_cast<std::size_t>(p.size), -1);
        for (std::int32_t n = 1; n < p.size;) {
            if (p.op(n) == BACK)
                prog.backSlot[static_cast<std::size_t>(n)] = prog.backCount++;
            if (p.op(n) == END)
                break;
            n += nodeSize(p, n);
        }
    }

    const unsigned char* e_;
    std::int32_t len_;
    const int startMods_;
    const Tables& t_;

    bool counting_ = true;
    std::int32_t pos_ = 0;
    int npar_ = 1;
    int mods_ = 0;
    std::int64_t size_ = 1;
    std::int32_t emit_ = 1;
    std::vector<std::uint8_t> code_;
};

} // namespace

Program compileProgram(std::string_view expr, int modifiers, const Tables& tables) {
    return Compiler(expr, modifiers, tables).run();
}

} // namespace ormix::rx
