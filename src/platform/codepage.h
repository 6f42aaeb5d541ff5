// Conversions between the single-byte code pages ORMIX meets and UTF-8, and
// the case mapping of code page 1251. Qt-free so the expression engine and the
// scanner can use it without a GUI.
#pragma once

#include <string>
#include <string_view>

namespace ormix {

// OEM code page 866 bytes -> UTF-8 (NetBIOS names and workgroups).
std::string cp866ToUtf8(std::string_view oem);

// Code page 1251 bytes -> UTF-8.
std::string cp1251ToUtf8(std::string_view ansi);

// UTF-8 -> code page 1251; a character 1251 cannot hold becomes '?'.
// Invalid UTF-8 bytes are taken one by one as 1251 bytes >= 0x80 are not
// valid lead bytes, so they are replaced by '?' as well.
std::string utf8ToCp1251(std::string_view utf8);

// Case mapping of code page 1251: A-Z/a-z and every Cyrillic letter,
// Ё/ё (0xA8/0xB8) included. Other bytes come back unchanged.
// Appends the UTF-8 form of one code point.
void appendUtf8(std::string& out, char32_t cp);

unsigned char upper1251(unsigned char c);
unsigned char lower1251(unsigned char c);
bool isUpper1251(unsigned char c);
bool isLower1251(unsigned char c);

} // namespace ormix
