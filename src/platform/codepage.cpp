// Single-byte code pages the program meets: 866 (the OEM page NetBIOS names
// arrive in) and 1251 (the page regular expressions and the names they match
// are kept in), plus the 1251 case tables the expression engine folds with.
#include "platform/codepage.h"

#include <array>

namespace ormix {
namespace {

// Unicode code points of bytes 0x80..0xFF; U+FFFD marks a byte with no character.
constexpr std::array<char16_t, 128> kCp866High = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429,
    0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436,
    0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407,
    0x0457, 0x040E, 0x045E, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

constexpr std::array<char16_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

std::string singleByteToUtf8(std::string_view in, const std::array<char16_t, 128>& high) {
    std::string out;
    out.reserve(in.size() * 2);
    for (unsigned char c : in) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else
            appendUtf8(out, high[c - 0x80]);
    }
    return out;
}

// Decodes one UTF-8 sequence at s[i]; returns the code point and advances i.
// A malformed sequence yields U+FFFD and advances by one byte.
char32_t nextCodePoint(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    auto cont = [&](size_t k) -> int {
        if (i + k >= s.size())
            return -1;
        const auto b = static_cast<unsigned char>(s[i + k]);
        return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
    };
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k < len; ++k) {
        const int c = cont(k);
        if (c < 0) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | static_cast<char32_t>(c);
    }
    i += len;
    return cp;
}

struct ReverseTable {
    std::array<unsigned char, 0x10000> byCodePoint{};
    ReverseTable() {
        for (int b = 0; b < 128; ++b) {
            const char16_t cp = kCp1251High[b];
            if (cp != 0xFFFD)
                byCodePoint[cp] = static_cast<unsigned char>(0x80 + b);
        }
    }
};

const ReverseTable& reverse1251() {
    static const ReverseTable table;
    return table;
}

} // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string cp866ToUtf8(std::string_view oem) {
    return singleByteToUtf8(oem, kCp866High);
}

std::string cp1251ToUtf8(std::string_view ansi) {
    return singleByteToUtf8(ansi, kCp1251High);
}

std::string utf8ToCp1251(std::string_view utf8) {
    const auto& rev = reverse1251();
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = nextCodePoint(utf8, i);
        if (cp < 0x80)
            out += static_cast<char>(cp);
        else if (cp < 0x10000 && rev.byCodePoint[cp] != 0)
            out += static_cast<char>(rev.byCodePoint[cp]);
        else
            out += '?';
    }
    return out;
}

bool isUpper1251(unsigned char c) {
    return lower1251(c) != c;
}

bool isLower1251(unsigned char c) {
    return upper1251(c) != c;
}

unsigned char upper1251(unsigned char c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0)
        return static_cast<unsigned char>(c - 32);
    switch (c) {
    case 0xB8:
        return 0xA8; // ё
    case 0xA2:
        return 0xA1; // ў
    case 0xBC:
        return 0xA3; // ј
    case 0xB4:
        return 0xA5; // ґ
    case 0xBA:
        return 0xAA; // є
    case 0xBF:
        return 0xAF; // ї
    case 0xB3:
        return 0xB2; // і
    case 0xBE:
        return 0xBD; // ѕ
    case 0x90:
        return 0x80; // ђ
    case 0x83:
        return 0x81; // ѓ
    case 0x9A:
        return 0x8A; // љ
    case 0x9C:
        return 0x8C; // њ
    case 0x9D:
        return 0x8D; // ќ
    case 0x9E:
        return 0x8E; // ћ
    case 0x9F:
        return 0x8F; // џ
    default:
        return c;
    }
}

unsigned char lower1251(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDF)
        return static_cast<unsigned char>(c + 32);
    switch (c) {
    case 0xA8:
        return 0xB8;
    case 0xA1:
        return 0xA2;
    case 0xA3:
        return 0xBC;
    case 0xA5:
        return 0xB4;
    case 0xAA:
        return 0xBA;
    case 0xAF:
        return 0xBF;
    case 0xB2:
        return 0xB3;
    case 0xBD:
        return 0xBE;
    case 0x80:
        return 0x90;
    case 0x81:
        return 0x83;
    case 0x8A:
        return 0x9A;
    case 0x8C:
        return 0x9C;
    case 0x8D:
        return 0x9D;
    case 0x8E:
        return 0x9E;
    case 0x8F:
        return 0x9F;
    default:
        return c;
    }
}

} // namespace ormix
