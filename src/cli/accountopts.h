// The account options of `ormix-cli shares` and `ormix-cli search`:
// --auth-file FILE and --user [DOMAIN\]USER (the password is asked on the
// terminal without echo, never taken from an argument). Without either, the
// accounts named in ./cfg.ini are used with their passwords from the keyring.
#pragma once

#include <string>

namespace ormix::cli {

struct AccountOptions {
    std::string authFile;
    std::string user;
};

enum class OptionResult { NotMine, Taken, Bad };

// Looks at argv[i]; takes it (and its value, advancing i) when it is an
// account option.
OptionResult takeAccountOption(int argc, char** argv, int& i, AccountOptions& options);

// Puts the chosen accounts into the program's sign-in memory. On failure
// prints "ormix-cli COMMAND: ..." and returns false. Needs a QCoreApplication
// for the keyring.
bool applyAccountOptions(const AccountOptions& options, const char* command);

// Reads a line from the terminal with echo off after showing prompt there.
// False when there is no terminal.
bool promptPassword(const std::string& prompt, std::string& password);

} // namespace ormix::cli
