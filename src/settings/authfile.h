// The credentials file of `ormix-cli --auth-file`: "username = ", "password = "
// and "domain = " lines, "#" comments, the same layout other SMB tools read.
// A file that anyone but its owner may read or change is refused: it holds a
// password. Tests: tests/settings/authfile_test.cpp.
#pragma once

#include "shares/accounts.h"

#include <string>

namespace ormix {

// Reads path into account. On failure returns false and error is an English
// sentence for the command line naming the file and what is wrong.
bool readAuthFile(const std::string& path, Account& account, std::string& error);

// Parses the text of such a file (no file checks). A "username" of the form
// DOMAIN\user gives the domain unless a "domain" line sets it.
bool parseAuthText(const std::string& text, Account& account, std::string& error);

} // namespace ormix
