// The compiled form of an expression: a flat byte program that the compiler
// writes once and the matcher, the start filters and Dump only read.
// Covered by tests/regex/compile_test.cpp (golden dumps) and match_test.cpp.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ormix::rx {

// Byte 0 of every program.
inline constexpr std::uint8_t kSignature = 216;

// Node kinds. A node is: kind (1 byte), next (signed 32 bits, distance from
// this node to the one that follows, 0 = none), then the operand.
enum Op : std::uint8_t {
    END = 0,            // end of the program: success
    BOL = 1,            // at the start of the input
    EOL = 2,            // at the end of the input
    ANY = 3,            // any one character
    BRANCH = 6,         // alternative; operand is its first node
    BACK = 7,           // matches nothing; next points backwards (loops)
    EXACTLY = 8,        // literal text, zero-terminated
    NOTHING = 9,        // the empty text
    STAR = 10,          // simple node, 0 or more, greedy
    PLUS = 11,          // simple node, 1 or more, greedy
    ANYDIGIT = 12,      // a digit 0-9
    NOTDIGIT = 13,      // any character but a digit
    BRACES = 18,        // min, max (32 bits each), simple node; greedy
    COMMENT = 19,       // nothing (comments, modifier groups, extended whitespace)
    EXACTLYCI = 20,     // literal text in either case, zero-terminated
    LOOPENTRY = 23,     // start of a complex loop; next is the loop end
    LOOP = 24,          // complex loop end: min, max, back distance to the body; greedy
    ANYOFTINYSET = 25,  // one of 3 codes
    ANYBUTTINYSET = 26, // any character but 3 codes
    ANYOFFULLSET = 27,  // member of a 256-bit set
    BSUBEXP = 28,       // text captured by a group (1-byte group number)
    BSUBEXPCI = 29,     // the same in either case
    STARNG = 30,        // simple node, 0 or more, non-greedy
    PLUSNG = 31,        // simple node, 1 or more, non-greedy
    BRACESNG = 32,      // min, max, simple node; non-greedy
    LOOPNG = 33,        // complex loop end, non-greedy
    BOLML = 34,         // start of the input or of a line
    EOLML = 35,         // end of the input or of a line
    ANYML = 36,         // any character but a line separator
    BOUND = 37,         // a word boundary
    NOTBOUND = 38,      // not a word boundary
    OPEN = 39,          // OPEN + n (n = 1..14): start of group n
    CLOSE = 54,         // CLOSE + n (n = 1..14): end of group n
};

inline constexpr int kMaxGroups = 15; // pair 0 is the whole match
inline constexpr int kMaxLoopLevel = 10;
inline constexpr std::int32_t kInfiniteRepeat = 2147483646;  // {n,} and complex * +
inline constexpr std::int32_t kSimpleRepeatMax = 2147483647; // STAR, PLUS

inline constexpr int kNodeHeader = 5; // kind + next
inline constexpr int kBracesArgs = 8; // min + max
inline constexpr int kLoopArgs = 12;  // min + max + back distance
inline constexpr int kFullSetBytes = 32;
// Node offsets must fit the matcher's stack entries (29 bits).
inline constexpr std::int64_t kMaxProgramSize = std::int64_t{1} << 28;

inline std::int32_t readInt(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void writeInt(std::uint8_t* p, std::int32_t v) {
    std::memcpy(p, &v, sizeof v);
}

inline bool isOpen(std::uint8_t op) {
    return op > OPEN && op < OPEN + kMaxGroups;
}
inline bool isClose(std::uint8_t op) {
    return op > CLOSE && op < CLOSE + kMaxGroups;
}

// Read-only view of a program with offset helpers (offsets count from byte 0).
struct ProgramView {
    const std::uint8_t* code = nullptr;
    std::int32_t size = 0;

    std::uint8_t op(std::int32_t node) const { return code[node]; }
    std::int32_t nextOffset(std::int32_t node) const { return readInt(code + node + 1); }
    // Offset of the following node, or 0 when there is none.
    std::int32_t next(std::int32_t node) const {
        const std::int32_t d = nextOffset(node);
        return d == 0 ? 0 : node + d;
    }
    std::int32_t operand(std::int32_t node) const { return node + kNodeHeader; }
    const std::uint8_t* operandPtr(std::int32_t node) const { return code + node + kNodeHeader; }
    std::int32_t argMin(std::int32_t node) const { return readInt(operandPtr(node)); }
    std::int32_t argMax(std::int32_t node) const { return readInt(operandPtr(node) + 4); }
    std::int32_t loopBody(std::int32_t node) const { return node + readInt(operandPtr(node) + 8); }
    // The simple node repeated by STAR, PLUS, BRACES and their non-greedy kinds.
    std::int32_t repeatOperand(std::int32_t node) const {
        const std::uint8_t k = op(node);
        return operand(node) + ((k == BRACES || k == BRACESNG) ? kBracesArgs : 0);
    }
};

// Whether kind k is one of the node kinds a program may hold.
bool isKnownOp(std::uint8_t k);

// Size of the node at offset node, header and operand (for BRACES without the
// repeated node, which follows as a node of its own). -1 for an unknown kind.
std::int32_t nodeSize(const ProgramView& p, std::int32_t node);

} // namespace ormix::rx
