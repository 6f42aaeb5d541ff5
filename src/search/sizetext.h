// The size texts of the search result list ("512 b", "1 Kb", "1 500 Mb").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ormix {

// groupSep is the user's thousands separator (UTF-8); only megabyte texts are grouped.
std::string SizeText(int64_t bytes, std::string_view groupSep);

} // namespace ormix
