// Start filters: facts read from a finished program that let a search skip
// positions where no match can begin (first character, anchoring, a text every
// match must hold) or end. They only read the program; compile.cpp calls them.
// Covered by tests/regex/compile_test.cpp and match_test.cpp.
#include "regex/engine.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace ormix::rx {
namespace {

class FilterBuilder {
public:
    explicit FilterBuilder(const Tables& tables) : t_(tables) {}

    void computeFilters(Program& prog, bool quantifiedStart) const {
        const ProgramView p = prog.view();
        StartFilters& f = prog.filters;
        const std::int32_t first = 1;
        const std::int32_t after = p.next(first);
        if (after != 0 && p.op(after) == END) {
            std::int32_t s = p.operand(first);
            if (p.op(s) == EXACTLY)
                f.startChar = p.code[s + kNodeHeader];
            else if (p.op(s) == BOL)
                f.anchored = true;
            if (quantifiedStart) {
                const char* longest = nullptr;
                std::size_t longestLen = 0;
                for (; s != 0; s = p.next(s)) {
                    if (p.op(s) != EXACTLY)
                        continue;
                    const char* text = reinterpret_cast<const char*>(p.operandPtr(s));
                    const std::size_t n = std::strlen(text);
                    if (n >= longestLen) {
                        longest = text;
                        longestLen = n;
                    }
                }
                if (longest && longestLen > 0)
                    f.mustHave.assign(longest, longestLen);
            }
        }
        fillFirstChars(p, f.firstChars);
    }

    // The characters a match can begin with. Every way through the program
    // adds to the set, so each node needs visiting only once.
    void fillFirstChars(const ProgramView& p, CharSet& set) const {
        std::vector<bool> seen(static_cast<std::size_t>(p.size), false);
        std::vector<std::int32_t> work{1};
        while (!work.empty()) {
            std::int32_t n = work.back();
            work.pop_back();
            while (n != 0 && !seen[static_cast<std::size_t>(n)]) {
                seen[static_cast<std::size_t>(n)] = true;
                const std::uint8_t k = p.op(n);
                const std::uint8_t* opnd = p.operandPtr(n);
                std::int32_t go = 0; // where the walk goes on; 0 stops it
                switch (k) {
                case END:
                    break;
                case BRANCH: {
                    const std::int32_t nx = p.next(n);
                    if (nx == 0 || p.op(nx) != BRANCH) {
                        go = p.operand(n);
                        break;
                    }
                    for (std::int32_t b = n; b != 0 && p.op(b) == BRANCH; b = p.next(b))
                        work.push_back(p.operand(b));
                    break;
                }
                case EXACTLY:
                    set.add(opnd[0]);
                    break;
                case EXACTLYCI:
                    set.add(opnd[0]);
                    set.add(t_.invert[opnd[0]]);
                    break;
                case ANY:
                case ANYML:
                case BSUBEXP:
                case BSUBEXPCI:
                    set.addRange(0, 255);
                    break;
                case ANYDIGIT:
                    set.addRange('0', '9');
                    break;
                case NOTDIGIT: {
                    CharSet d;
                    d.addRange('0', '9');
                    d.invert();
                    set.addAll(d);
                    break;
                }
                case ANYOFTINYSET:
                    set.add(opnd[0]);
                    set.add(opnd[1]);
                    set.add(opnd[2]);
                    break;
                case ANYBUTTINYSET: {
                    CharSet d;
                    d.add(opnd[0]);
                    d.add(opnd[1]);
                    d.add(opnd[2]);
                    d.invert();
                    set.addAll(d);
                    break;
                }
                case ANYOFFULLSET:
                    for (int ch = 0; ch < 256; ++ch)
                        if ((opnd[ch >> 3] >> (ch & 7)) & 1)
                            set.add(static_cast<unsigned char>(ch));
                    break;
                case STAR:
                case STARNG:
                    work.push_back(p.repeatOperand(n));
                    go = p.next(n);
                    break;
                case PLUS:
                case PLUSNG:
                    work.push_back(p.repeatOperand(n));
                    break;
                case BRACES:
                case BRACESNG:
                    work.push_back(p.repeatOperand(n));
                    if (p.argMin(n) == 0)
                        go = p.next(n);
                    break;
                case LOOP:
                case LOOPNG:
                    work.push_back(p.loopBody(n));
                    if (p.argMin(n) == 0 && p.next(n) != 0)
                        work.push_back(p.next(n));
                    break;
                default: // anchors, BACK, NOTHING, COMMENT, OPEN, CLOSE, LOOPENTRY
                    go = p.next(n);
                    break;
                }
                n = go;
            }
        }
    }

    static bool zeroWidth(std::uint8_t k) {
        return k == BOL || k == EOL || k == BOLML || k == EOLML || k == BOUND || k == NOTBOUND ||
               k == COMMENT || k == NOTHING || isOpen(k) || isClose(k);
    }

    // Facts from the chain of nodes every match runs through (stepping into
    // single alternatives, over alternations to where they join).
    void computeShortcuts(Program& prog) const {
        const ProgramView p = prog.view();
        Shortcuts& s = prog.shortcuts;
        auto text = [&p](std::int32_t n) { return reinterpret_cast<const char*>(p.operandPtr(n)); };

        std::int32_t prefixNode = 0;
        std::int32_t n = 1;
        bool sawBol = false;
        while (n != 0) {
            const std::uint8_t k = p.op(n);
            if (k == BRANCH) {
                const std::int32_t nx = p.next(n);
                if (nx != 0 && p.op(nx) == BRANCH)
                    break;
                n = p.operand(n);
            } else if (k == COMMENT || k == NOTHING || isOpen(k) || (sawBol && isClose(k))) {
                n = p.next(n);
            } else if (k == BOL && !sawBol) {
                sawBol = s.atInputStart = true;
                n = p.next(n);
            } else {
                if (sawBol && (k == EXACTLY || k == EXACTLYCI))
                    prefixNode = n;
                break;
            }
        }

        std::int32_t startNode = 0;
        if (prog.filters.startChar >= 0)
            startNode = p.operand(1);

        std::int32_t tailLiteral = 0; // last literal with only empty-width nodes after it
        std::int32_t suffixNode = 0;
        bool endsAtEol = false;
        std::vector<std::int32_t> literals;
        n = 1;
        while (n != 0 && p.op(n) != END) {
            const std::uint8_t k = p.op(n);
            if (k == BRANCH) {
                const std::int32_t nx = p.next(n);
                if (nx == 0 || p.op(nx) != BRANCH) {
                    n = p.operand(n);
                    continue;
                }
                std::int32_t j = n;
                while (j != 0 && p.op(j) == BRANCH)
                    j = p.next(j);
                tailLiteral = 0;
                endsAtEol = false;
                n = j;
                continue;
            }
            if (k == EXACTLY || k == EXACTLYCI) {
                if (text(n)[0] == 0) // a zero character: never matches, leave the search alone
                    return;
                literals.push_back(n);
                tailLiteral = n;
                endsAtEol = false;
            } else if (k == EOL) {
                endsAtEol = true;
                if (tailLiteral != 0 && suffixNode == 0)
                    suffixNode = tailLiteral;
            } else if (!zeroWidth(k)) {
                tailLiteral = 0;
                endsAtEol = false;
            }
            n = p.next(n);
        }
        if (prefixNode != 0) {
            s.prefix = text(prefixNode);
            s.prefixCI = p.op(prefixNode) == EXACTLYCI;
        }
        if (suffixNode != 0) {
            s.suffix = text(suffixNode);
            s.suffixCI = p.op(suffixNode) == EXACTLYCI;
        }
        std::size_t bestLen = 0;
        for (const std::int32_t lit : literals) {
            const std::size_t len = std::strlen(text(lit));
            if (lit == prefixNode || lit == suffixNode || (lit == startNode && len == 1) || len <= bestLen)
                continue;
            bestLen = len;
            s.required = text(lit);
            s.requiredCI = p.op(lit) == EXACTLYCI;
        }
        if (endsAtEol)
            computeLastChars(p, s);
        const StartFilters& f = prog.filters;
        s.firstCharRefuses =
            s.atInputStart && !f.anchored && (f.startChar >= 0 || f.firstChars.count() < 256);
    }

    // The characters a match can end with, for a program whose matches all end
    // at the input's end: per node, the last characters of the ways from it to
    // END (L) and whether one of them consumes nothing (E), to a fixed point.
    void computeLastChars(const ProgramView& p, Shortcuts& s) const {
        constexpr std::int32_t kMaxAnalysedSize = 1 << 16;
        if (p.size > kMaxAnalysedSize)
            return;
        std::vector<std::int32_t> nodes;
        for (std::int32_t n = 1; n < p.size;) {
            nodes.push_back(n);
            if (p.op(n) == END)
                break;
            n += nodeSize(p, n);
        }
        // Per node, by its index in program order.
        std::vector<std::int32_t> index(static_cast<std::size_t>(p.size), 0);
        for (std::size_t i = 0; i < nodes.size(); ++i)
            index[static_cast<std::size_t>(nodes[i])] = static_cast<std::int32_t>(i);
        std::vector<CharSet> L(nodes.size());
        std::vector<char> E(nodes.size(), 0);
        CharSet all;
        all.addRange(0, 255);

        auto chars = [&](std::int32_t n) {
            CharSet c;
            const std::uint8_t* o = p.operandPtr(n);
            switch (p.op(n)) {
            case EXACTLY:
            case EXACTLYCI: {
                const std::size_t len = std::strlen(reinterpret_cast<const char*>(o));
                if (len > 0) {
                    c.add(o[len - 1]);
                    if (p.op(n) == EXACTLYCI)
                        c.add(t_.invert[o[len - 1]]);
                }
                break;
            }
            case ANYDIGIT:
                c.addRange('0', '9');
                break;
            case NOTDIGIT:
                c.addRange('0', '9');
                c.invert();
                break;
            case ANYOFTINYSET:
                c.add(o[0]);
                c.add(o[1]);
                c.add(o[2]);
                break;
            case ANYBUTTINYSET:
                c.add(o[0]);
                c.add(o[1]);
                c.add(o[2]);
                c.invert();
                break;
            case ANYOFFULLSET:
                for (int ch = 0; ch < 256; ++ch)
                    if ((o[ch >> 3] >> (ch & 7)) & 1)
                        c.add(static_cast<unsigned char>(ch));
                break;
            default: // ANY, ANYML, back-references
                c = all;
                break;
            }
            return c;
        };
        auto at = [&index](std::int32_t n) {
            return static_cast<std::size_t>(index[static_cast<std::size_t>(n)]);
        };

        for (int round = 0;; ++round) {
            if (round > 64)
                return; // no fixed point in reasonable time: go without
            bool changed = false;
            for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
                const std::int32_t n = *it;
                const std::uint8_t k = p.op(n);
                const std::int32_t nx = p.next(n);
                CharSet l;
                bool e = false;
                auto from = [&](std::int32_t m) {
                    if (m == 0)
                        return;
                    l.addAll(L[at(m)]);
                    e = e || E[at(m)];
                };
                auto consume = [&](const CharSet& c, bool maybeEmpty) {
                    if (nx != 0 && E[at(nx)])
                        l.addAll(c);
                    if (nx != 0)
                        l.addAll(L[at(nx)]);
                    e = maybeEmpty && nx != 0 && E[at(nx)];
                };
                switch (k) {
                case END:
                    e = true;
                    break;
                case BRANCH:
                    from(p.operand(n));
                    if (nx != 0 && p.op(nx) == BRANCH)
                        from(nx);
                    break;
                case LOOP:
                case LOOPNG:
                    from(p.loopBody(n));
                    from(nx);
                    break;
                case STAR:
                case STARNG:
                case PLUS:
                case PLUSNG:
                case BRACES:
                case BRACESNG: {
                    const std::int32_t op = p.repeatOperand(n);
                    const bool zeroMin =
                        k == STAR || k == STARNG || ((k == BRACES || k == BRACESNG) && p.argMin(n) == 0);
                    consume(chars(op), zeroMin || p.op(op) == BSUBEXP || p.op(op) == BSUBEXPCI);
                    break;
                }
                case BSUBEXP:
                case BSUBEXPCI:
                    consume(all, true);
                    break;
                case EXACTLY:
                case EXACTLYCI:
                case ANY:
                case ANYML:
                case ANYDIGIT:
                case NOTDIGIT:
                case ANYOFTINYSET:
                case ANYBUTTINYSET:
                case ANYOFFULLSET:
                    consume(chars(n), false);
                    break;
                default: // empty-width nodes, BACK, LOOPENTRY
                    from(nx);
                    break;
                }
                if (std::memcmp(&l, &L[at(n)], sizeof l) != 0 || e != static_cast<bool>(E[at(n)])) {
                    L[at(n)] = l;
                    E[at(n)] = e;
                    changed = true;
                }
            }
            if (!changed)
                break;
        }
        if (E[at(1)])
            return; // a match may be empty
        s.lastCharKnown = true;
        s.lastChars = L[at(1)];
    }

private:
    const Tables& t_;
};

} // namespace

void computeStartFilters(Program& prog, bool quantifiedStart, const Tables& tables) {
    const FilterBuilder builder(tables);
    builder.computeFilters(prog, quantifiedStart);
    builder.computeShortcuts(prog);
}

} // namespace ormix::rx
