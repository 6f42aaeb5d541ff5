// "range.txt": every address of the scan ranges as one decimal number per
// line (the four bytes of the address read in reverse order), CR LF after each.
// Only ranges of the dash form "a.b.c.d-e" produce lines. Nothing in the
// program reads the file; it is there for other tools. Tests:
// tests/settings/setupform_test.cpp.
#pragma once

#include "platform/result.h"

#include <string>
#include <vector>

namespace ormix {

// The whole text of the file for these range texts, in list order.
std::string RangeFileText(const std::vector<std::string>& ranges);

// Replaces the file at path with RangeFileText atomically (platform/atomicfile.h).
Result<void> WriteRangeFile(const std::string& path, const std::vector<std::string>& ranges);

} // namespace ormix
