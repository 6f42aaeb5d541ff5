// PreparePattern: the search text as the user typed it -> the expression the
// engine runs. Plain text is a whole-name wildcard, letter case ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ormix {

// Matcher steps one name may take before it is skipped (error 1017). Names
// come from servers, and some expressions take exponential time on some
// names; this bound is far above what a long path needs with any ordinary
// expression and ends the worst names in a fraction of a second.
inline constexpr int64_t kNameMatchStepLimit = 20'000'000;

inline constexpr const char* kEmptyPatternMessage =
    "Необходимо указать условие поиска (не может быть пустым)";

// text is UTF-8; the result is the expression in code page 1251, or nothing
// when the text is blank (the caller shows kEmptyPatternMessage).
// Plain text: "?" -> ".", "*" -> ".*", wrapped as "(?i)^...$"; no other
// character is escaped. Expression mode: the text untrimmed.
std::optional<std::string> PreparePattern(std::string_view text, bool regexMode);

class ERegExpr;

// An error position in the prepared expression (ERegExpr::CompilerErrorPos:
// the expression bytes before the fault) as the characters of the user's
// text before the fault: the wrapping of plain text, its trimmed blanks, the
// pieces "*" and uncodable characters grow into, and the UTF-8 bytes of a
// character all count as the user sees them, one character each.
int PatternErrorPosition(std::string_view text, bool regexMode, int expressionPos);

// The engine's message for an expression made from `text` that does not
// compile, its " (pos N)" counted in the user's text as above.
std::string PatternErrorText(std::string_view text, bool regexMode, const ERegExpr& e);

} // namespace ormix
