// Dump: a text listing of a compiled program, one node per line, then its start
// filters. Covered by the golden dumps in tests/regex/compile_test.cpp.
#include "regex/engine.h"

#include <cstdio>

namespace ormix::rx {
namespace {

const char* opName(std::uint8_t k) {
    switch (k) {
    case END:
        return "END";
    case BOL:
        return "BOL";
    case EOL:
        return "EOL";
    case ANY:
        return "ANY";
    case BRANCH:
        return "BRANCH";
    case BACK:
        return "BACK";
    case EXACTLY:
        return "EXACTLY";
    case NOTHING:
        return "NOTHING";
    case STAR:
        return "STAR";
    case PLUS:
        return "PLUS";
    case ANYDIGIT:
        return "ANYDIGIT";
    case NOTDIGIT:
        return "NOTDIGIT";
    case BRACES:
        return "BRACES";
    case COMMENT:
        return "COMMENT";
    case EXACTLYCI:
        return "EXACTLY/CI";
    case LOOPENTRY:
        return "LOOPENTRY";
    case LOOP:
        return "LOOP";
    case ANYOFTINYSET:
        return "ANYOFTINYSET";
    case ANYBUTTINYSET:
        return "ANYBUTTINYSET";
    case ANYOFFULLSET:
        return "ANYOFFULLSET";
    case BSUBEXP:
        return "BSUBEXP";
    case BSUBEXPCI:
        return "BSUBEXP/CI";
    case STARNG:
        return "STARNG";
    case PLUSNG:
        return "PLUSNG";
    case BRACESNG:
        return "BRACESNG";
    case LOOPNG:
        return "LOOPNG";
    case BOLML:
        return "BOLML";
    case EOLML:
        return "EOLML";
    case ANYML:
        return "ANYML";
    case BOUND:
        return "BOUND";
    case NOTBOUND:
        return "NOTBOUND";
    default:
        return nullptr;
    }
}

std::string format(const char* fmt, long a, long b = 0, long c = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

// Members of a set; codes below 32 as "#" and the decimal code.
void appendMembers(std::string& out, const CharSet& set) {
    for (int c = 0; c < 256; ++c) {
        if (!set.has(static_cast<unsigned char>(c)))
            continue;
        if (c < 32)
            out += format("#%ld", c);
        else
            out += static_cast<char>(c);
    }
}

} // namespace

std::string dumpProgram(const Program& program) {
    const ProgramView p = program.view();
    std::string out;
    std::int32_t node = 1;
    for (;;) {
        if (node <= 0 || node >= p.size)
            throw Fault{1011, 0};
        const std::uint8_t k = p.op(node);
        const std::int32_t size = nodeSize(p, node);
        if (size < 0 || node + size > p.size)
            throw Fault{1011, 0};
        std::string name;
        if (isOpen(k))
            name = format("OPEN[%ld]", k - OPEN);
        else if (isClose(k))
            name = format("CLOSE[%ld]", k - CLOSE);
        else
            name = opName(k);
        out += format("%2ld", node);
        out += ':';
        out += name;
        const std::int32_t next = p.next(node);
        out += next == 0 ? std::string(" (0)") : format(" (%ld) ", next);

        const std::uint8_t* o = p.operandPtr(node);
        switch (k) {
        case EXACTLY:
        case EXACTLYCI:
            out += reinterpret_cast<const char*>(o);
            break;
        case ANYOFTINYSET:
        case ANYBUTTINYSET:
            out.append(reinterpret_cast<const char*>(o), 3);
            break;
        case ANYOFFULLSET: {
            CharSet set;
            for (int c = 0; c < 256; ++c)
                if ((o[c >> 3] >> (c & 7)) & 1)
                    set.add(static_cast<unsigned char>(c));
            appendMembers(out, set);
            break;
        }
        case BSUBEXP:
        case BSUBEXPCI:
            out += format(" \\%ld", o[0]);
            break;
        case BRACES:
        case BRACESNG:
            out += format("{%ld,%ld}", p.argMin(node), p.argMax(node));
            break;
        case LOOP:
        case LOOPNG:
            out += format(" -> (%ld) {%ld,%ld}", p.loopBody(node), p.argMin(node), p.argMax(node));
            break;
        default:
            break;
        }
        out += "\r\n";
        if (k == END)
            break;
        node += size;
    }

    const StartFilters& f = program.filters;
    if (f.startChar >= 0) {
        out += "start ";
        out += static_cast<char>(f.startChar);
    }
    if (f.anchored)
        out += "anchored ";
    if (!f.mustHave.empty())
        out += "must have " + f.mustHave;
    out += "\r\nFirstCharSet:";
    appendMembers(out, f.firstChars);
    out += "\r\n";
    return out;
}

} // namespace ormix::rx
