// Ordering of search result rows: the computer-name and path columns compare
// trimmed texts with only a-z folded to A-Z; the size column compares bytes.
#pragma once

#include <cstdint>
#include <string_view>

namespace ormix {

// <0, 0, >0. Leading and trailing characters with codes up to 32 are ignored;
// every character other than a-z compares by its code.
int CompareTextNoCase(std::u16string_view a, std::u16string_view b);

int CompareSizes(int64_t a, int64_t b);

} // namespace ormix
