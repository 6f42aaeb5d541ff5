// What an SMB server says about itself before anyone logs on: the two
// requests of an anonymous start of NTLM authentication (SMB2 NEGOTIATE, then
// SESSION_SETUP carrying an NTLMSSP NEGOTIATE wrapped in SPNEGO) and a bounded
// decoder of the server's replies, down to the target information of its
// NTLMSSP CHALLENGE (NetBIOS computer name and domain, DNS names). Pure: no
// sockets here. Covered by tests/scan/smbident_test.cpp and the smb_reply
// fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ormix {

// Largest SMB message we read from a peer (after the 4-byte session header).
// Real NEGOTIATE and SESSION_SETUP replies are a few hundred bytes.
constexpr size_t kSmbMaxMessage = 16 * 1024;
// Longest text kept from the target information, in UTF-8 bytes.
constexpr size_t kSmbMaxNameBytes = 255;

struct SmbIdentity {
    std::string netbiosComputer; // UTF-8; control characters become '?'
    std::string netbiosDomain;   // the workgroup of a stand-alone server
    std::string dnsComputer;
    std::string dnsDomain;
};

// The two requests, each with its 4-byte session-service header.
std::vector<uint8_t> smb2NegotiateRequest();
std::vector<uint8_t> smb2SessionSetupRequest();

// Length of the message announced by a 4-byte session-service header, or
// nothing when the header is not a session message or announces more than
// kSmbMaxMessage (or nothing at all).
std::optional<size_t> smbFrameLength(const uint8_t header[4]);

// True when the message (without the session header) is a successful SMB2
// NEGOTIATE response.
bool isSmb2NegotiateResponse(const uint8_t* message, size_t length);

// The identity from an SMB2 SESSION_SETUP response (without the session
// header) that carries an NTLMSSP CHALLENGE; nothing when any length, offset
// or signature does not hold.
std::optional<SmbIdentity> parseSessionSetupResponse(const uint8_t* message, size_t length);

// The identity from a bare NTLMSSP CHALLENGE message.
std::optional<SmbIdentity> parseNtlmChallenge(const uint8_t* data, size_t length);

} // namespace ormix
