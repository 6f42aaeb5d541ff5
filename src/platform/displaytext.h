// Texts from the network (computer and share names, remarks, file names) as a
// window shows them: a name may hold any character, but a row must stay one
// row and show what is really there.
// Tests: tests/platform/displaytext_test.cpp.
#pragma once

#include <string>
#include <string_view>

namespace ormix {

// UTF-8 in, UTF-8 out, one line. Control characters become the visible
// symbols of the Unicode block "Control Pictures": U+0000..U+001F as
// U+2400..U+241F (tab "␉", line feed "␊", carriage return "␍", escape "␛")
// and DEL as U+2421 "␡". Characters that break or reorder a line without a
// symbol of their own (C1 controls U+0080..U+009F, the line and paragraph
// separators U+2028/U+2029, and the bidirectional embeddings, overrides and
// isolates U+202A..U+202E, U+2066..U+2069) and bytes that are not UTF-8
// become U+FFFD "�". Everything else stays as it is.
std::string displayText(std::string_view utf8);

} // namespace ormix
