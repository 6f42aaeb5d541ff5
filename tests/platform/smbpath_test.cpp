// UNC share paths <-> smb:// URLs, both directions and round trips.
#include "platform/smbpath.h"

#include <QUrl>

#include <gtest/gtest.h>

using namespace ormix;

namespace {

struct PathCase {
    const char* unc;
    const char* url;
    const char* decodedPath; // what a URL parser reads back as the path
};

const PathCase kPaths[] = {
    {R"(\\127.0.0.2)", "smb://127.0.0.2/", "/"},
    {R"(\\127.0.0.2\C$)", "smb://127.0.0.2/C%24", "/C$"},
    {R"(\\127.0.0.2\share\dir\)", "smb://127.0.0.2/share/dir/", "/share/dir/"},
    {R"(\\127.0.0.2\docs\My Music #1\50% off?.txt)",
     "smb://127.0.0.2/docs/My%20Music%20%231/50%25%20off%3F.txt", "/docs/My Music #1/50% off?.txt"},
    {R"(\\127.0.0.2\Общие\Отчёт.doc)",
     "smb://127.0.0.2/%D0%9E%D0%B1%D1%89%D0%B8%D0%B5/%D0%9E%D1%82%D1%87%D1%91%D1%82.doc", "/Общие/Отчёт.doc"},
    {R"(\\127.0.0.2\s\a;b&c=d+e,f@g[h]'i'(j)!*:)",
     "smb://127.0.0.2/s/a%3Bb%26c%3Dd%2Be%2Cf%40g%5Bh%5D%27i%27%28j%29%21%2A%3A",
     "/s/a;b&c=d+e,f@g[h]'i'(j)!*:"},
    {R"(\\127.0.0.2\s\a~b-c_d.e)", "smb://127.0.0.2/s/a~b-c_d.e", "/s/a~b-c_d.e"},
    {R"(\\127.0.0.2\s\x/y\a; rm -rf ~)", "smb://127.0.0.2/s/x%2Fy/a%3B%20rm%20-rf%20~", "/s/x/y/a; rm -rf ~"},
};

TEST(SmbPath, UncToUrlAndBack) {
    for (const auto& c : kPaths) {
        EXPECT_EQ(uncToSmbUrl(std::string(c.unc)), c.url);
        EXPECT_EQ(smbUrlToUnc(std::string(c.url)), c.unc);
        // Programs that open the URL must see the same host and path.
        const QUrl url = QUrl::fromEncoded(QByteArray(c.url), QUrl::StrictMode);
        ASSERT_TRUE(url.isValid()) << c.url;
        EXPECT_EQ(url.scheme(), "smb");
        EXPECT_EQ(url.host(), "127.0.0.2");
        EXPECT_EQ(url.path(QUrl::FullyDecoded), QString::fromUtf8(c.decodedPath)) << c.url;
    }
    EXPECT_EQ(uncToSmbUrl(QStringLiteral(R"(\\127.0.0.2\Общие)")),
              "smb://127.0.0.2/%D0%9E%D0%B1%D1%89%D0%B8%D0%B5");
    EXPECT_EQ(smbUrlToUnc(QStringLiteral("smb://127.0.0.2/%D0%9E%D0%B1%D1%89%D0%B8%D0%B5")),
              QStringLiteral(R"(\\127.0.0.2\Общие)"));
}

TEST(SmbPath, LenientDecoding) {
    const struct {
        const char* url;
        const char* unc;
    } cases[] = {
        {"smb://127.0.0.2", R"(\\127.0.0.2)"},
        {"SMB://127.0.0.2/s/a%20b", R"(\\127.0.0.2\s\a b)"},
        {"smb://127.0.0.2/s/%d0%96", R"(\\127.0.0.2\s\Ж)"},
        {"smb://127.0.0.2/s//x", R"(\\127.0.0.2\s\\x)"},
        {"smb://127.0.0.2/s/a$b", R"(\\127.0.0.2\s\a$b)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(smbUrlToUnc(std::string(c.url)), c.unc) << c.url;
}

TEST(SmbPath, RejectsWhatIsNotASharePath) {
    for (const char* unc : {"", R"(\)", R"(\\)", R"(\\\share)", R"(C:\dir)", "//127.0.0.2/s", "127.0.0.2"})
        EXPECT_EQ(uncToSmbUrl(std::string(unc)), "") << unc;
    for (const char* url : {"", "smb://", "smb:///s", "http://127.0.0.2/s", "smb:/127.0.0.2/s", "smb://h/a%2",
                            "smb://h/a%zz", "smb://h/a%5Cb", "smb://h/a%00b", "smb://h/a?b", "smb://h/a#b"})
        EXPECT_EQ(smbUrlToUnc(std::string(url)), "") << url;
}

} // namespace
