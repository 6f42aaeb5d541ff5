// PreparePattern: the search text as the user typed it -> the expression the
// engine runs. Plain text is a whole-name wildcard, letter case ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ormix {

inline constexpr const char* kEmptyPatternMessage =
    "Необходимо указать условие поиска (не может быть пустым)";

// text is UTF-8; the result is the expression in code page 1251, or nothing
// when the text is blank (the caller shows kEmptyPatternMessage).
// Plain text: "?" -> ".", "*" -> ".*", wrapped as "(?i)^...$"; no other
// character is escaped. Expression mode: the text untrimmed.
std::optional<std::string> PreparePattern(std::string_view text, bool regexMode);

} // namespace ormix
