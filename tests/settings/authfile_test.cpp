// The credentials file of the command line: its lines, and the refusal of a
// file other users may read.
#include "settings/authfile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

using namespace ormix;

TEST(AuthFile, Lines) {
    const struct {
        const char* text;
        bool ok;
        const char* domain;
        const char* user;
        const char* password;
    } cases[] = {
        {"username = bob\npassword = s3cret\ndomain = OFFICE\n", true, "OFFICE", "bob", "s3cret"},
        {"# comment\n\n  username=OFFICE\\bob  \r\npassword =  with space inside \r\n", true, "OFFICE", "bob",
         "with space inside"},
        {"username = A\\bob\ndomain = B\npassword = x=y#z", true, "B", "bob", "x=y#z"}, // domain line wins
        {"username = bob\n", true, "", "bob", ""},
        {"password = p\n", false, "", "", ""},                 // no user
        {"username = bob\nuser = other\n", false, "", "", ""}, // unknown name
        {"username = bob\njust words\n", false, "", "", ""},   // not name = value
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Account a;
        std::string error;
        EXPECT_EQ(parseAuthText(c.text, a, error), c.ok) << error;
        EXPECT_EQ(a.domain, c.domain);
        EXPECT_EQ(a.user, c.user);
        EXPECT_EQ(a.password, c.password);
        EXPECT_EQ(error.empty(), c.ok);
    }
}

TEST(AuthFile, OnlyItsOwnerMayReadIt) {
    char dir[] = "/tmp/ormix-authfile-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/auth";
    std::ofstream(path) << "username = bob\npassword = pw\n";
    const struct {
        mode_t mode;
        bool ok;
    } modes[] = {{0600, true}, {0400, true}, {0640, false}, {0604, false}, {0620, false}};
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        ::chmod(path.c_str(), m.mode);
        Account a;
        std::string error;
        EXPECT_EQ(readAuthFile(path, a, error), m.ok);
        if (!m.ok) {
            EXPECT_NE(error.find(path), std::string::npos) << error;
            EXPECT_NE(error.find("chmod 600"), std::string::npos) << error;
            EXPECT_TRUE(a.password.empty());
        }
    }
    Account a;
    std::string error;
    EXPECT_FALSE(readAuthFile(std::string(dir) + "/missing", a, error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(readAuthFile(dir, a, error)); // a folder
    std::remove(path.c_str());
    ::rmdir(dir);
}
