// Passwords in the desktop's Secret Service keyring (through QtKeychain),
// read and written synchronously. Never falls back to a file: with no keyring
// service the caller keeps the password for the session only.
// Needs a QCoreApplication; runs a local event loop while the keyring answers.
// Tests: tests/settings/keyring_test.cpp.
#pragma once

#include <string>

namespace ormix::keyring {

enum class Result {
    Ok,
    NotFound,    // the keyring answered: no such entry
    Unavailable, // no keyring service (or no session bus)
    Failed,      // the keyring refused or did not answer in time
};

// Entries of ORMIX are kept under this service name.
inline constexpr const char* kService = "ORMIX";

Result read(const std::string& key, std::string& password);
Result write(const std::string& key, const std::string& password);
Result remove(const std::string& key);

} // namespace ormix::keyring
