// Share paths in the program's own text form ("\\IP\share\dir\file") and the
// smb:// URLs that libsmbclient, xdg-open, user programs and the clipboard take
// ("smb://IP/share/dir/file", every component percent-encoded).
// Texts are UTF-8 std::string; the QString overloads are for the windows.
// Tests: tests/platform/smbpath_test.cpp.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace ormix {

// "\\IP" -> "smb://IP/", "\\IP\share\dir\file" -> "smb://IP/share/dir/file".
// Each component keeps A-Z a-z 0-9 - . _ ~ and has every other byte (blanks,
// '%', '#', '?', '$', reserved characters, UTF-8 of non-ASCII) written as %XX.
// A trailing backslash gives a trailing slash. Returns "" when the text does
// not start with two backslashes and a host name.
std::string uncToSmbUrl(std::string_view unc);
QString uncToSmbUrl(const QString& unc);

// The reverse: "smb://IP/" or "smb://IP" -> "\\IP", "smb://IP/share/a%20b" ->
// "\\IP\share\a b" (scheme in any letter case). Returns "" for anything else:
// another scheme, no host, a bad %-escape, an unencoded '?' or '#', or a
// component that would decode to a backslash or NUL (it would change the
// path's structure).
std::string smbUrlToUnc(std::string_view url);
QString smbUrlToUnc(const QString& url);

} // namespace ormix
