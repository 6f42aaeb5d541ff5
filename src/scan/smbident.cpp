// SMB2 NEGOTIATE / SESSION_SETUP requests and the decoder of the server's
// NTLMSSP CHALLENGE (MS-SMB2, MS-NLMP, RFC 4178 for SPNEGO).
#include "scan/smbident.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ormix {
namespace {

constexpr uint16_t kNegotiate = 0x0000;
constexpr uint16_t kSessionSetup = 0x0001;
constexpr uint32_t kStatusSuccess = 0x00000000;
constexpr uint32_t kStatusMoreProcessing = 0xC0000016;
constexpr size_t kSmb2HeaderLength = 64;
constexpr uint8_t kNtlmSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// SMB2 header of a request:
//
//    0  ProtocolId  FE 'S' 'M' 'B'     20  NextCommand   4
//    4  StructureSize 64 (2)           24  MessageId     8
//    6  CreditCharge  2                32  Reserved      4 (ProcessId)
//    8  Status        4                36  TreeId        4
//   12  Command       2                40  SessionId     8
//   14  CreditRequest 2                48  Signature    16
//   16  Flags         4
void putHeader(std::vector<uint8_t>& out, uint16_t command, uint64_t messageId) {
    out.insert(out.end(), {0xFE, 'S', 'M', 'B'});
    put16(out, 64);
    put16(out, 1); // credit charge
    put32(out, 0);
    put16(out, command);
    put16(out, 1); // credits asked for
    put32(out, 0);
    put32(out, 0);
    put32(out, static_cast<uint32_t>(messageId));
    put32(out, static_cast<uint32_t>(messageId >> 32));
    put32(out, 0xFEFF); // process id
    put32(out, 0);
    out.insert(out.end(), 8 + 16, 0);
}

// The 4-byte session-service header: type 0 and a 24-bit length.
std::vector<uint8_t> framed(const std::vector<uint8_t>& message) {
    std::vector<uint8_t> out(4 + message.size());
    out[1] = static_cast<uint8_t>(message.size() >> 16);
    out[2] = static_cast<uint8_t>(message.size() >> 8);
    out[3] = static_cast<uint8_t>(message.size());
    std::copy(message.begin(), message.end(), out.begin() + 4);
    return out;
}

// DER length and content of one element, tag given; all within [p, end).
void putDer(std::vector<uint8_t>& out, uint8_t tag, const std::vector<uint8_t>& content) {
    out.push_back(tag);
    const size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<uint8_t>(n));
    } else if (n < 0x100) {
        out.push_back(0x81);
        out.push_back(static_cast<uint8_t>(n));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<uint8_t>(n >> 8));
        out.push_back(static_cast<uint8_t>(n));
    }
    out.insert(out.end(), content.begin(), content.end());
}

// A read-only view that every step checks against its end.
struct Span {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// Reads one DER element at the start of in: its tag, content and what
// follows it. Only the short form and the one- and two-byte long forms.
bool readDer(Span in, uint8_t& tag, Span& content, Span& rest) {
    if (in.size < 2)
        return false;
    tag = in.data[0];
    size_t length = in.data[1];
    size_t header = 2;
    if (length == 0x81 || length == 0x82) {
        const size_t bytes = length - 0x80;
        if (in.size < 2 + bytes)
            return false;
        length = 0;
        for (size_t i = 0; i < bytes; ++i)
            length = length << 8 | in.data[2 + i];
        header += bytes;
    } else if (length > 0x7F) {
        return false;
    }
    if (length > in.size - header)
        return false;
    content = {in.data + header, length};
    rest = {in.data + header + length, in.size - header - length};
    return true;
}

// The responseToken of a NegTokenResp:
//   [1] { SEQUENCE { [0] negState, [1] supportedMech, [2] OCTET STRING token, [3] mic } }
// A blob that is a bare NTLMSSP message is taken as it is.
std::optional<Span> ntlmTokenOf(Span blob) {
    if (blob.size >= 8 && std::memcmp(blob.data, kNtlmSignature, 8) == 0)
        return blob;
    uint8_t tag = 0;
    Span content, rest;
    if (!readDer(blob, tag, content, rest) || tag != 0xA1)
        return std::nullopt;
    Span seq;
    if (!readDer(content, tag, seq, rest) || tag != 0x30)
        return std::nullopt;
    // At most the four fields the message defines; no loop the peer can lengthen.
    for (int field = 0; field < 4 && seq.size > 0; ++field) {
        Span value;
        if (!readDer(seq, tag, value, rest))
            return std::nullopt;
        if (tag == 0xA2) {
            Span token, after;
            if (!readDer(value, tag, token, after) || tag != 0x04)
                return std::nullopt;
            return token;
        }
        seq = rest;
    }
    return std::nullopt;
}

// UTF-16LE to UTF-8, at most kSmbMaxNameBytes; a lone surrogate or a control
// character becomes '?', so a peer's text can neither break lines nor
// steer a terminal.
std::string fromUtf16(const uint8_t* p, size_t bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        uint32_t c = le16(p + i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes) {
            const uint32_t low = le16(p + i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c < 0x20 || (c >= 0x7F && c < 0xA0))
            c = '?';
        char buf[4];
        size_t n = 0;
        if (c < 0x80) {
            buf[n++] = static_cast<char>(c);
        } else if (c < 0x800) {
            buf[n++] = static_cast<char>(0xC0 | c >> 6);
            buf[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            buf[n++] = static_cast<char>(0xE0 | c >> 12);
            buf[n++] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
            buf[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            buf[n++] = static_cast<char>(0xF0 | c >> 18);
            buf[n++] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
            buf[n++] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
            buf[n++] = static_cast<char>(0x80 | (c & 0x3F));
        }
        if (out.size() + n > kSmbMaxNameBytes)
            break;
        out.append(buf, n);
    }
    return out;
}

// The SMB2 header of a response to our command; its status.
std::optional<uint32_t> responseStatus(const uint8_t* m, size_t length, uint16_t command) {
    if (length < kSmb2HeaderLength)
        return std::nullopt;
    if (m[0] != 0xFE || m[1] != 'S' || m[2] != 'M' || m[3] != 'B' || le16(m + 4) != 64)
        return std::nullopt;
    if (le16(m + 12) != command || (le32(m + 16) & 0x1) == 0) // SMB2_FLAGS_SERVER_TO_REDIR
        return std::nullopt;
    return le32(m + 8);
}

} // namespace

std::vector<uint8_t> smb2NegotiateRequest() {
    std::vector<uint8_t> m;
    putHeader(m, kNegotiate, 0);
    // NEGOTIATE request body:
    //    0  StructureSize 36     8  Capabilities   4
    //    2  DialectCount   2    12  ClientGuid    16
    //    4  SecurityMode   2    28  ClientStartTime 8
    //    6  Reserved       2    36  Dialects      2 each
    // Dialects 2.0.2 to 3.0.2: 3.1.1 would need negotiate contexts, and
    // every server that speaks it speaks 3.0.2 as well.
    static constexpr uint16_t dialects[] = {0x0202, 0x0210, 0x0300, 0x0302};
    put16(m, 36);
    put16(m, static_cast<uint16_t>(std::size(dialects)));
    put16(m, 0x0001); // signing enabled
    put16(m, 0);
    put32(m, 0);
    static constexpr uint8_t guid[16] = {0x6f, 0x72, 0x6d, 0x69, 0x78, 0x2d, 0x73, 0x63,
                                         0x61, 0x6e, 0x2d, 0x67, 0x75, 0x69, 0x64, 0x00};
    m.insert(m.end(), std::begin(guid), std::end(guid));
    m.insert(m.end(), 8, 0);
    for (uint16_t d : dialects)
        put16(m, d);
    return framed(m);
}

std::vector<uint8_t> smb2SessionSetupRequest() {
    // NTLMSSP NEGOTIATE:
    //    0  "NTLMSSP\0"         16  DomainNameFields   8 (empty)
    //    8  MessageType 1 (4)   24  WorkstationFields  8 (empty)
    //   12  NegotiateFlags 4    32  Version            8
    std::vector<uint8_t> ntlm(std::begin(kNtlmSignature), std::end(kNtlmSignature));
    put32(ntlm, 1);
    // UNICODE, OEM, REQUEST_TARGET, NTLM, ALWAYS_SIGN, EXTENDED_SESSIONSECURITY,
    // TARGET_INFO, VERSION, 128, KEY_EXCH, 56.
    put32(ntlm, 0x00000001 | 0x00000002 | 0x00000004 | 0x00000200 | 0x00008000 | 0x00080000 | 0x00800000 |
                    0x02000000 | 0x20000000 | 0x40000000 | 0x80000000);
    ntlm.insert(ntlm.end(), 16, 0);
    ntlm.insert(ntlm.end(), {6, 1, 0xB1, 0x1D, 0, 0, 0, 15}); // version 6.1.7601, NTLM revision 15

    // SPNEGO NegTokenInit: [APPLICATION 0] { OID spnego, [0] { SEQUENCE {
    //   [0] SEQUENCE { OID ntlmssp }, [2] OCTET STRING token } } }
    static const std::vector<uint8_t> spnegoOid = {0x06, 0x06, 0x2B, 0x06, 0x01, 0x05, 0x05, 0x02};
    static const std::vector<uint8_t> ntlmOid = {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04,
                                                 0x01, 0x82, 0x37, 0x02, 0x02, 0x0A};
    std::vector<uint8_t> mechTypes, mechList, token, inner, seq, init, blob;
    putDer(mechList, 0x30, ntlmOid);
    putDer(mechTypes, 0xA0, mechList);
    putDer(token, 0x04, ntlm);
    inner = mechTypes;
    putDer(inner, 0xA2, token);
    putDer(seq, 0x30, inner);
    init = spnegoOid;
    putDer(init, 0xA0, seq);
    putDer(blob, 0x60, init);

    std::vector<uint8_t> m;
    putHeader(m, kSessionSetup, 1);
    // SESSION_SETUP request body:
    //    0  StructureSize 25   4  Capabilities 4      12  SecurityBufferOffset 2
    //    2  Flags          1   8  Channel      4      14  SecurityBufferLength 2
    //    3  SecurityMode   1                          16  PreviousSessionId    8
    put16(m, 25);
    m.push_back(0);
    m.push_back(0x01);
    put32(m, 0);
    put32(m, 0);
    put16(m, static_cast<uint16_t>(kSmb2HeaderLength + 24));
    put16(m, static_cast<uint16_t>(blob.size()));
    m.insert(m.end(), 8, 0);
    m.insert(m.end(), blob.begin(), blob.end());
    return framed(m);
}

std::optional<size_t> smbFrameLength(const uint8_t header[4]) {
    if (header[0] != 0x00)
        return std::nullopt;
    const size_t length =
        static_cast<size_t>(header[1]) << 16 | static_cast<size_t>(header[2]) << 8 | header[3];
    if (length == 0 || length > kSmbMaxMessage)
        return std::nullopt;
    return length;
}

bool isSmb2NegotiateResponse(const uint8_t* message, size_t length) {
    const auto status = responseStatus(message, length, kNegotiate);
    // StructureSize 65 follows the header.
    return status && *status == kStatusSuccess && length >= kSmb2HeaderLength + 2 &&
           le16(message + kSmb2HeaderLength) == 65;
}

std::optional<SmbIdentity> parseSessionSetupResponse(const uint8_t* message, size_t length) {
    // SESSION_SETUP response body after the header:
    //    0  StructureSize 9   2  SessionFlags 2   4  SecurityBufferOffset 2   6  SecurityBufferLength 2
    // The offset counts from the start of the SMB2 header.
    const auto status = responseStatus(message, length, kSessionSetup);
    if (!status || (*status != kStatusMoreProcessing && *status != kStatusSuccess))
        return std::nullopt;
    if (length < kSmb2HeaderLength + 8 || le16(message + kSmb2HeaderLength) != 9)
        return std::nullopt;
    const size_t offset = le16(message + kSmb2HeaderLength + 4);
    const size_t blobLength = le16(message + kSmb2HeaderLength + 6);
    if (offset < kSmb2HeaderLength + 8 || offset > length || blobLength > length - offset)
        return std::nullopt;
    const auto token = ntlmTokenOf({message + offset, blobLength});
    if (!token)
        return std::nullopt;
    return parseNtlmChallenge(token->data, token->size);
}

// NTLMSSP CHALLENGE:
//
//    0  "NTLMSSP\0"              24  ServerChallenge     8
//    8  MessageType 2 (4)        32  Reserved            8
//   12  TargetNameFields 8       40  TargetInfoFields    8
//   20  NegotiateFlags   4       48  Version             8 (optional)
//
// Each *Fields is Len (2), MaxLen (2), BufferOffset (4) from the message start.
// TargetInfo is a list of AV_PAIRs: AvId (2), AvLen (2), value; AvId 0 ends it.
std::optional<SmbIdentity> parseNtlmChallenge(const uint8_t* data, size_t length) {
    if (length < 48 || std::memcmp(data, kNtlmSignature, 8) != 0 || le32(data + 8) != 2)
        return std::nullopt;
    const size_t infoLength = le16(data + 40);
    const size_t infoOffset = le32(data + 44);
    if (infoOffset > length || infoLength > length - infoOffset)
        return std::nullopt;
    SmbIdentity id;
    const uint8_t* p = data + infoOffset;
    size_t left = infoLength;
    // Every pair consumes at least four bytes, so the walk ends within the
    // message whatever the lengths say.
    while (left >= 4) {
        const uint16_t avId = le16(p);
        const size_t avLength = le16(p + 2);
        if (avId == 0)
            break;
        if (avLength > left - 4)
            return std::nullopt;
        const uint8_t* value = p + 4;
        switch (avId) {
        case 1:
            id.netbiosComputer = fromUtf16(value, avLength);
            break;
        case 2:
            id.netbiosDomain = fromUtf16(value, avLength);
            break;
        case 3:
            id.dnsComputer = fromUtf16(value, avLength);
            break;
        case 4:
            id.dnsDomain = fromUtf16(value, avLength);
            break;
        default:
            break;
        }
        p += 4 + avLength;
        left -= 4 + avLength;
    }
    return id;
}

} // namespace ormix
