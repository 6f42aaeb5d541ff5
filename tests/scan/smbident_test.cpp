// The SMB identity probe's requests and decoder, against replies recorded from
// the test LAN's smbd (tests/scan/smb/, made with smb-capture) and damaged
// copies of them.
#include "fixtures/files.h"
#include "fixtures/testlan.h"
#include "scan/smbident.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <string>
#include <vector>

namespace ormix {
namespace {

std::vector<uint8_t> recorded(const std::string& name) {
    const std::string bytes = testing::readFile(testing::sourceDir() + "/tests/scan/smb/" + name);
    return {bytes.begin(), bytes.end()};
}

std::optional<SmbIdentity> decode(const std::vector<uint8_t>& m) {
    return parseSessionSetupResponse(m.data(), m.size());
}

size_t ntlmOffset(const std::vector<uint8_t>& m) {
    const std::string s(m.begin(), m.end());
    const size_t at = s.find(std::string("NTLMSSP\0", 8));
    EXPECT_NE(at, std::string::npos);
    return at;
}

void put16le(std::vector<uint8_t>& m, size_t at, uint16_t v) {
    m[at] = static_cast<uint8_t>(v);
    m[at + 1] = static_cast<uint8_t>(v >> 8);
}

TEST(SmbIdent, RecordedRepliesOfTheTestLan) {
    const struct {
        const char* file;
        const char* computer;
        const char* domain;
    } rows[] = {
        {"alpha", "ALPHA", "ALPHA"},       // guest allowed
        {"charlie", "CHARLIE", "CHARLIE"}, // refuses anonymous access: the challenge comes all the same
        {"foxtrot", "FOXTROT", "FOXTROT"}, // NetBIOS on (real nmbd beside it)
        {"golf", "GOLF", "GOLF"},          // NetBIOS off
    };
    for (const auto& row : rows) {
        const auto negotiate = recorded(std::string(row.file) + ".negotiate");
        const auto session = recorded(std::string(row.file) + ".session");
        ASSERT_FALSE(session.empty()) << row.file;
        EXPECT_TRUE(isSmb2NegotiateResponse(negotiate.data(), negotiate.size())) << row.file;
        EXPECT_FALSE(isSmb2NegotiateResponse(session.data(), session.size())) << row.file;
        EXPECT_FALSE(decode(negotiate)) << row.file;
        const auto id = decode(session);
        ASSERT_TRUE(id) << row.file;
        EXPECT_EQ(id->netbiosComputer, row.computer);
        EXPECT_EQ(id->netbiosDomain, row.domain);
        EXPECT_FALSE(id->dnsComputer.empty()) << row.file;
        // Every cut short copy is refused, never read past its end.
        for (size_t n = 0; n < session.size(); ++n)
            EXPECT_FALSE(decode(std::vector<uint8_t>(session.begin(), session.begin() + n))) << row.file << n;
    }
}

TEST(SmbIdent, LyingLengthsAreRefused) {
    const auto golf = recorded("golf.session");
    ASSERT_FALSE(golf.empty());
    const size_t ntlm = ntlmOffset(golf);
    const size_t info = ntlm + golf[ntlm + 44] + (golf[ntlm + 45] << 8);
    const struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    } rows[] = {
        {"security buffer longer than the message", [](auto& m) { put16le(m, 64 + 6, 0xFFFF); }},
        {"security buffer inside the header", [](auto& m) { put16le(m, 64 + 4, 8); }},
        {"target info beyond the end", [&](auto& m) { put16le(m, ntlm + 40, 0xFFF0); }},
        {"target info offset beyond the end", [&](auto& m) { m[ntlm + 47] = 0x7F; }},
        {"pair longer than the target info", [&](auto& m) { put16le(m, info + 2, 0x7FFF); }},
        {"not a challenge", [&](auto& m) { m[ntlm + 8] = 3; }},
        {"SPNEGO length beyond the blob", [&](auto& m) { m[ntlm - 1] = 0x7F; }},
        {"request, not response", [](auto& m) { m[16] = 0; }},
        {"error status", [](auto& m) { m[11] = 0xC0, m[8] = 0x22; }},
    };
    for (const auto& row : rows) {
        auto m = golf;
        row.damage(m);
        EXPECT_FALSE(decode(m)) << row.what;
    }
}

TEST(SmbIdent, PeerTextIsCleanedAndBounded) {
    // A bare challenge whose computer name holds a line break and an escape,
    // and whose domain is 600 characters long.
    std::vector<uint8_t> c = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0, 2, 0, 0, 0};
    c.resize(56, 0);
    std::vector<uint8_t> info;
    auto pair = [&](uint16_t id, const std::u16string& text) {
        info.push_back(static_cast<uint8_t>(id));
        info.push_back(0);
        const size_t len = text.size() * 2;
        info.push_back(static_cast<uint8_t>(len));
        info.push_back(static_cast<uint8_t>(len >> 8));
        for (char16_t ch : text) {
            info.push_back(static_cast<uint8_t>(ch));
            info.push_back(static_cast<uint8_t>(ch >> 8));
        }
    };
    pair(1, u"EVIL\n\x1b[2JHOST");
    pair(2, std::u16string(600, u'Ж'));
    pair(0, u"");
    put16le(c, 40, static_cast<uint16_t>(info.size()));
    c[44] = 56;
    c.insert(c.end(), info.begin(), info.end());
    const auto id = parseNtlmChallenge(c.data(), c.size());
    ASSERT_TRUE(id);
    EXPECT_EQ(id->netbiosComputer, "EVIL??[2JHOST");
    EXPECT_LE(id->netbiosDomain.size(), kSmbMaxNameBytes);
    EXPECT_EQ(id->netbiosDomain.substr(0, 4), "ЖЖ");
}

TEST(SmbIdent, FramesAndRequests) {
    const struct {
        std::vector<uint8_t> header;
        std::optional<size_t> length;
    } rows[] = {
        {{0, 0, 0, 202}, 202},
        {{0, 0, 0x40, 0}, kSmbMaxMessage},
        {{0, 0, 0x40, 1}, std::nullopt}, // over the cap
        {{0, 0xFF, 0xFF, 0xFF}, std::nullopt},
        {{0, 0, 0, 0}, std::nullopt},
        {{0x85, 0, 0, 4}, std::nullopt}, // not a session message
    };
    for (const auto& row : rows)
        EXPECT_EQ(smbFrameLength(row.header.data()), row.length) << int(row.header[3]);
    for (const auto& request : {smb2NegotiateRequest(), smb2SessionSetupRequest()}) {
        ASSERT_GT(request.size(), 4u + 64u);
        EXPECT_EQ(smbFrameLength(request.data()), request.size() - 4);
        EXPECT_EQ(request[4], 0xFE);
    }
}

} // namespace
} // namespace ormix
