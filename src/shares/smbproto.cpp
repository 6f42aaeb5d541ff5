// Frame encoding and decoding for the SMB helper protocol (see smbproto.h).
#include "shares/smbproto.h"

#include <cerrno>
#include <cstring>
#include <strings.h>

namespace ormix::smbproto {

int32_t statusFromErrno(int err) {
    switch (err) {
    case 0:
        return kStatusOk;
    case EACCES:
    case EPERM:
        return kStatusAccessDenied;
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ETIMEDOUT:
    case ENOENT:
    case EHOSTDOWN:
        return kStatusPathNotFound;
    default:
        return kStatusOther;
    }
}

size_t utf8Boundary(std::string_view text, size_t max) {
    if (text.size() <= max)
        return text.size();
    size_t n = max;
    // Step back over continuation bytes to the start of the cut sequence.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

std::string numberedName(const std::string& path, int n) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = path.size();
    return path.substr(0, dot) + " (" + std::to_string(n) + ")" + path.substr(dot);
}

void wipe(std::string& s) {
    if (!s.empty())
        ::explicit_bzero(s.data(), s.size());
    s.clear();
}

JobAuth& JobAuth::operator=(const JobAuth& other) {
    if (this != &other) {
        wipe(password);
        method = other.method;
        domain = other.domain;
        user = other.user;
        password = other.password;
    }
    return *this;
}

JobAuth::~JobAuth() {
    wipe(password);
}

FrameWriter::FrameWriter(Kind kind) {
    buf_.assign(4, '\0');
    buf_.push_back(static_cast<char>(kind));
}

FrameWriter& FrameWriter::u8(uint8_t v) {
    buf_.push_back(static_cast<char>(v));
    return *this;
}

FrameWriter& FrameWriter::u32(uint32_t v) {
    for (int i = 0; i < 4; ++i)
        buf_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return *this;
}

FrameWriter& FrameWriter::u64(uint64_t v) {
    for (int i = 0; i < 8; ++i)
        buf_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return *this;
}

FrameWriter& FrameWriter::text(std::string_view s) {
    u32(static_cast<uint32_t>(s.size()));
    buf_.append(s);
    return *this;
}

FrameWriter& FrameWriter::auth(const JobAuth& a) {
    secret_ = true;
    u8(static_cast<uint8_t>(a.method));
    const bool account = a.method == AuthMethod::Account;
    text(account ? std::string_view(a.domain) : std::string_view());
    text(account ? std::string_view(a.user) : std::string_view());
    return text(account ? std::string_view(a.password) : std::string_view());
}

std::string FrameWriter::finish() const {
    const size_t body = buf_.size() - 4;
    if (body > kMaxFrame)
        return {};
    std::string out = buf_;
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((body >> (8 * i)) & 0xFF);
    return out;
}

FrameReader::FrameReader(std::string_view body) : body_(body) {
    if (body_.empty())
        ok_ = false;
    else
        kind_ = static_cast<Kind>(static_cast<uint8_t>(body_[0]));
}

bool FrameReader::take(size_t n, const char*& p) {
    if (!ok_ || body_.size() - pos_ < n) {
        ok_ = false;
        return false;
    }
    p = body_.data() + pos_;
    pos_ += n;
    return true;
}

bool FrameReader::u8(uint8_t& v) {
    const char* p;
    if (!take(1, p))
        return false;
    v = static_cast<uint8_t>(*p);
    return true;
}

bool FrameReader::u32(uint32_t& v) {
    const char* p;
    if (!take(4, p))
        return false;
    v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(p[i])) << (8 * i);
    return true;
}

bool FrameReader::i32(int32_t& v) {
    uint32_t u;
    if (!u32(u))
        return false;
    v = static_cast<int32_t>(u);
    return true;
}

bool FrameReader::u64(uint64_t& v) {
    const char* p;
    if (!take(8, p))
        return false;
    v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<uint64_t>(static_cast<uint8_t>(p[i])) << (8 * i);
    return true;
}

bool FrameReader::text(std::string& s) {
    uint32_t n;
    const char* p;
    if (!u32(n) || !take(n, p))
        return false;
    s.assign(p, n);
    return true;
}

bool FrameReader::auth(JobAuth& a) {
    uint8_t m = 0;
    if (!u8(m) || m > static_cast<uint8_t>(AuthMethod::Kerberos)) {
        ok_ = false;
        return false;
    }
    a.method = static_cast<AuthMethod>(m);
    return text(a.domain) && text(a.user) && text(a.password);
}

void FrameSplitter::wipeConsumed() {
    if (start_ > 0)
        ::explicit_bzero(pending_.data(), start_);
}

FrameSplitter::Result FrameSplitter::next(std::string& body) {
    const size_t avail = pending_.size() - start_;
    if (avail < 4)
        return Result::NeedMore;
    const auto* p = reinterpret_cast<const unsigned char*>(pending_.data() + start_);
    const uint32_t len = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    if (len == 0 || len > kMaxFrame)
        return Result::Bad;
    if (avail - 4 < len)
        return Result::NeedMore;
    body.assign(pending_, start_ + 4, len);
    start_ += 4 + len;
    // Drop consumed bytes once they dominate the buffer, so a long stream of
    // records does not keep every byte it has seen.
    if (start_ > 65536 && start_ * 2 > pending_.size()) {
        ::explicit_bzero(pending_.data(), start_);
        pending_.erase(0, start_);
        start_ = 0;
    }
    return Result::Frame;
}

} // namespace ormix::smbproto
