// WS-Discovery as a computer announces itself: the Probe that asks who is
// there, the WS-Transfer Get that asks a responder for its metadata, and
// bounded decoders of the answers (ProbeMatches, the GetResponse with its
// "NAME/Workgroup:GROUP" or "NAME/Domain:DOMAIN" text, the HTTP response
// that carries it). Pure: no sockets. XML is read only with
// QXmlStreamReader, namespace aware; a document type declaration is refused.
// Covered by tests/scan/wsdmessage_test.cpp and the wsd_reply fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ormix {

// Largest datagram read as a ProbeMatches (real ones are 1-2 KB).
constexpr size_t kWsdMaxDatagram = 32 * 1024;
// Largest HTTP response to a Get, headers and body together.
constexpr size_t kWsdMaxResponse = 256 * 1024;
// Longest text kept from a peer (name, workgroup), in UTF-8 bytes.
constexpr size_t kWsdMaxTextBytes = 255;
// Longest endpoint address or transport address taken from a peer.
constexpr size_t kWsdMaxAddressBytes = 512;
// ProbeMatch entries and transport addresses read from one message.
constexpr size_t kWsdMaxMatches = 8;
constexpr size_t kWsdMaxXAddrs = 8;

constexpr uint16_t kWsdPort = 3702;
constexpr const char* kWsdMulticastGroup = "239.255.255.250";

// A new "urn:uuid:..." for a MessageID.
std::string wsdNewMessageId();

// The Probe for computers (types wsdp:Device and pub:Computer).
std::string wsdProbeMessage(const std::string& messageId);
// The Get sent to a responder's transport address; `to` is its endpoint
// address from the ProbeMatch.
std::string wsdGetMessage(const std::string& messageId, const std::string& to);

struct WsdProbeMatch {
    std::string endpoint;            // wsa:EndpointReference/wsa:Address
    std::vector<std::string> xaddrs; // transport addresses (URLs)
};

struct WsdProbeMatches {
    std::string relatesTo; // the MessageID of the Probe answered
    std::vector<WsdProbeMatch> matches;
};

// A ProbeMatches message; nothing when it is not one (wrong envelope or
// action, malformed or oversized XML, a DTD). Matches whose endpoint or
// transport address is too long are left out.
std::optional<WsdProbeMatches> parseProbeMatches(std::string_view xml);

struct WsdComputer {
    std::string name;      // UTF-8, control characters removed, bounded
    std::string workgroup; // the workgroup or the domain; may be empty
    bool domain = false;   // "Domain:" rather than "Workgroup:"
};

// "NAME/Workgroup:GROUP", "NAME/Domain:DOMAIN" or a bare "NAME"; nothing
// when no name is left after cleaning.
std::optional<WsdComputer> parseComputerText(std::string_view text);

// The pub:Computer text of a GetResponse (metadata); nothing when the
// document has none or is not a SOAP envelope we can read.
std::optional<WsdComputer> parseMetadataComputer(std::string_view xml);

// The transport address of xaddrs that a Get may go to: an http URL whose
// host is exactly `address` (dotted IPv4) with a port and a plain path.
struct WsdHttpTarget {
    uint16_t port = 80;
    std::string path; // request target: "/" and printable ASCII only
};
std::optional<WsdHttpTarget> wsdHttpTarget(const std::vector<std::string>& xaddrs, std::string_view address);

// The HTTP/1.1 POST of a SOAP message.
std::string wsdHttpRequest(std::string_view address, const WsdHttpTarget& target, std::string_view soap);

// The body of a complete HTTP response with status 200. `closed` tells that
// the peer has closed the connection (a body without Content-Length ends
// there). Returns nothing when more bytes are needed or the response is not
// usable; `failed` is set in the latter case.
std::optional<std::string_view> httpResponseBody(std::string_view response, bool closed, bool& failed);

} // namespace ormix
