// The helper frame format: any bytes survive a round trip, a stream split at
// any point reassembles, and every malformed frame is refused.
#include "shares/smbproto.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace ormix::smbproto;

namespace {

std::string bodyOf(const std::string& frame) {
    return frame.substr(4);
}

} // namespace

TEST(SmbProto, TextsKeepEveryByte) {
    const std::string name("a\tb\nc\0d\xff", 8);
    const std::string frame =
        FrameWriter(Kind::Share).text(name).text("").u64(0x1122334455667788ull).finish();
    const std::string body = bodyOf(frame);
    FrameReader r(body);
    std::string n, c;
    uint64_t v;
    ASSERT_EQ(r.kind(), Kind::Share);
    ASSERT_TRUE(r.text(n) && r.text(c) && r.u64(v));
    EXPECT_TRUE(r.done());
    EXPECT_EQ(n, name);
    EXPECT_EQ(c, "");
    EXPECT_EQ(v, 0x1122334455667788ull);
}

TEST(SmbProto, ReaderRefusesShortAndLongBodies) {
    const std::string good = bodyOf(FrameWriter(Kind::End).i32(-5).finish());
    int32_t status;
    FrameReader ok(good);
    ASSERT_TRUE(ok.i32(status));
    EXPECT_EQ(status, -5);
    EXPECT_TRUE(ok.done());

    const std::string cut = good.substr(0, 3), longer = good + "x";
    FrameReader shortBody(cut);
    EXPECT_FALSE(shortBody.i32(status));
    EXPECT_FALSE(shortBody.done());

    FrameReader extra(longer);
    EXPECT_TRUE(extra.i32(status));
    EXPECT_FALSE(extra.done());

    // A text whose count points past the end of the body.
    std::string lying = bodyOf(FrameWriter(Kind::Share).text("abc").finish());
    lying[1] = 100;
    FrameReader lie(lying);
    std::string s;
    EXPECT_FALSE(lie.text(s));

    FrameReader empty(std::string_view{});
    EXPECT_FALSE(empty.ok());
}

TEST(SmbProto, SplitterReassemblesAnyCut) {
    const std::string a = FrameWriter(Kind::Share).text("one").text("first\nremark").finish();
    const std::string b = FrameWriter(Kind::End).i32(53).finish();
    const std::string stream = a + b;
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        FrameSplitter sp;
        std::vector<std::string> bodies;
        std::string body;
        sp.feed(stream.data(), cut);
        while (sp.next(body) == FrameSplitter::Result::Frame)
            bodies.push_back(body);
        sp.feed(stream.data() + cut, stream.size() - cut);
        while (sp.next(body) == FrameSplitter::Result::Frame)
            bodies.push_back(body);
        ASSERT_EQ(bodies.size(), 2u) << "cut at " << cut;
        EXPECT_EQ(bodies[0], bodyOf(a));
        EXPECT_EQ(bodies[1], bodyOf(b));
    }
}

TEST(SmbProto, SplitterRefusesZeroAndHugeLengths) {
    const std::string cases[] = {std::string("\0\0\0\0", 4), std::string("\x01\x00\x10\x00", 4),
                                 std::string("\xff\xff\xff\xff", 4)};
    for (const auto& prefix : cases) {
        FrameSplitter sp;
        sp.feed(prefix.data(), prefix.size());
        std::string body;
        EXPECT_EQ(sp.next(body), FrameSplitter::Result::Bad);
    }
    EXPECT_TRUE(FrameWriter(Kind::Share).text(std::string(kMaxFrame, 'x')).finish().empty());

    // The largest body (kind byte + text count + text) round-trips; one byte more is refused.
    const std::string largest(kMaxFrame - 5, 'y');
    const std::string frame = FrameWriter(Kind::Share).text(largest).finish();
    ASSERT_EQ(frame.size(), 4 + size_t{kMaxFrame});
    FrameSplitter sp;
    sp.feed(frame.data(), frame.size());
    std::string body;
    ASSERT_EQ(sp.next(body), FrameSplitter::Result::Frame);
    FrameReader r(body);
    std::string text;
    ASSERT_TRUE(r.text(text));
    EXPECT_TRUE(r.done());
    EXPECT_EQ(text, largest);
    EXPECT_TRUE(FrameWriter(Kind::Share).text(largest + "y").finish().empty());
}

TEST(SmbProto, ErrnoToStatus) {
    const struct {
        int err;
        int32_t status;
    } cases[] = {{0, 0},
                 {EACCES, 5},
                 {EPERM, 5},
                 {ECONNREFUSED, 53},
                 {EHOSTUNREACH, 53},
                 {ENETUNREACH, 53},
                 {ETIMEDOUT, 53},
                 {ENOENT, 53},
                 {EHOSTDOWN, 53},
                 {EINVAL, 59},
                 {ENOMEM, 59},
                 {EIO, 59}};
    for (const auto& c : cases)
        EXPECT_EQ(statusFromErrno(c.err), c.status) << c.err;
}
