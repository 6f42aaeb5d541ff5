// WS-Discovery (2005/04) and DPWS (2006/02) messages over SOAP 1.2, and the
// bounded readers of a responder's answers.
#include "scan/wsdmessage.h"

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cctype>
#include <functional>

namespace ormix {
namespace {

constexpr char kSoap[] = "http://www.w3.org/2003/05/soap-envelope";
constexpr char kAddressing[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr char kDiscovery[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr char kDevprof[] = "http://schemas.xmlsoap.org/ws/2006/02/devprof";
constexpr char kMex[] = "http://schemas.xmlsoap.org/ws/2004/09/mex";
constexpr char kPub[] = "http://schemas.microsoft.com/windows/pub/2005/07";
constexpr char kProbeAction[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
constexpr char kProbeMatchesAction[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";
constexpr char kGetAction[] = "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get";
constexpr char kDiscoveryTo[] = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
constexpr char kAnonymous[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";

// Nesting deeper than this is no message of ours.
constexpr size_t kMaxDepth = 32;
// Characters kept of one element's text before it counts as too long.
constexpr qsizetype kMaxElementChars = 4096;
constexpr size_t kMaxHttpHeader = 16 * 1024;

enum class Ns { Other, Soap, Wsa, Wsd, Wsdp, Mex, Pub };

Ns nsOf(QStringView uri) {
    if (uri == QLatin1String(kSoap))
        return Ns::Soap;
    if (uri == QLatin1String(kAddressing))
        return Ns::Wsa;
    if (uri == QLatin1String(kDiscovery))
        return Ns::Wsd;
    if (uri == QLatin1String(kDevprof))
        return Ns::Wsdp;
    if (uri == QLatin1String(kMex))
        return Ns::Mex;
    if (uri == QLatin1String(kPub))
        return Ns::Pub;
    return Ns::Other;
}

struct Tag {
    Ns ns;
    QString name;
    bool is(Ns n, const char* local) const { return ns == n && name == QLatin1String(local); }
};

struct Element {
    QString text; // its own character data
    bool tooLong = false;
};

// Walks a document, giving each element's path at its start and its own text
// at its end. False when the XML is malformed, too deep, or declares a DTD
// (whose entities could blow up the text).
bool walkXml(std::string_view xml, const std::function<void(const std::vector<Tag>&)>& onStart,
             const std::function<void(const std::vector<Tag>&, const Element&)>& onEnd) {
    QXmlStreamReader reader(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    std::vector<Tag> path;
    std::vector<Element> open;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            return false;
        case QXmlStreamReader::StartElement:
            if (path.size() >= kMaxDepth)
                return false;
            path.push_back({nsOf(reader.namespaceUri()), reader.name().toString()});
            open.emplace_back();
            onStart(path);
            break;
        case QXmlStreamReader::Characters:
            if (!open.empty()) {
                Element& e = open.back();
                if (e.text.size() + reader.text().size() > kMaxElementChars)
                    e.tooLong = true;
                else
                    e.text += reader.text();
            }
            break;
        case QXmlStreamReader::EndElement:
            if (!path.empty()) {
                onEnd(path, open.back());
                path.pop_back();
                open.pop_back();
            }
            break;
        default:
            break;
        }
    }
    return !reader.hasError();
}

// True when path is Envelope/<rest...> with the given tags.
bool pathIs(const std::vector<Tag>& path, std::initializer_list<std::pair<Ns, const char*>> tags) {
    if (path.size() != tags.size())
        return false;
    size_t i = 0;
    for (const auto& [ns, local] : tags)
        if (!path[i++].is(ns, local))
            return false;
    return true;
}

bool isInvisibleControl(char32_t c) {
    return c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// A peer's text as shown: control characters (and those that reorder or break
// a line) removed, blanks trimmed, cut to maxBytes of UTF-8 on a character
// boundary.
std::string cleanText(QStringView text, size_t maxBytes) {
    QString kept;
    kept.reserve(std::min<qsizetype>(text.size(), kMaxElementChars));
    for (QChar c : text) {
        if (c.category() == QChar::Other_Control || isInvisibleControl(c.unicode()))
            continue;
        kept += c;
    }
    std::string out = kept.trimmed().toStdString();
    if (out.size() > maxBytes) {
        size_t n = maxBytes;
        while (n > 0 && (static_cast<unsigned char>(out[n]) & 0xC0) == 0x80)
            --n;
        out.resize(n);
    }
    return out;
}

// An address from a peer as we may send it back: printable ASCII, bounded.
std::optional<std::string> addressText(const Element& e) {
    if (e.tooLong)
        return std::nullopt;
    const QString t = e.text.trimmed();
    if (t.isEmpty() || static_cast<size_t>(t.size()) > kWsdMaxAddressBytes)
        return std::nullopt;
    std::string out;
    for (QChar c : t) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E)
            return std::nullopt;
        out += static_cast<char>(c.unicode());
    }
    return out;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

void soapStart(QXmlStreamWriter& w, const char* action, const std::string& messageId, const char* to) {
    w.writeNamespace(QLatin1String(kSoap), QStringLiteral("soap"));
    w.writeNamespace(QLatin1String(kAddressing), QStringLiteral("wsa"));
    w.writeStartElement(QLatin1String(kSoap), QStringLiteral("Header"));
    w.writeTextElement(QLatin1String(kAddressing), QStringLiteral("To"), QString::fromUtf8(to));
    w.writeTextElement(QLatin1String(kAddressing), QStringLiteral("Action"), QLatin1String(action));
    w.writeTextElement(QLatin1String(kAddressing), QStringLiteral("MessageID"),
                       QString::fromStdString(messageId));
    w.writeStartElement(QLatin1String(kAddressing), QStringLiteral("ReplyTo"));
    w.writeTextElement(QLatin1String(kAddressing), QStringLiteral("Address"), QLatin1String(kAnonymous));
    w.writeEndElement();
    w.writeEndElement();
}

} // namespace

std::string wsdNewMessageId() {
    return "urn:uuid:" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

std::string wsdProbeMessage(const std::string& messageId) {
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument();
    w.writeStartElement(QLatin1String(kSoap), QStringLiteral("Envelope"));
    w.writeNamespace(QLatin1String(kDiscovery), QStringLiteral("wsd"));
    w.writeNamespace(QLatin1String(kDevprof), QStringLiteral("wsdp"));
    w.writeNamespace(QLatin1String(kPub), QStringLiteral("pub"));
    soapStart(w, kProbeAction, messageId, kDiscoveryTo);
    w.writeStartElement(QLatin1String(kSoap), QStringLiteral("Body"));
    w.writeStartElement(QLatin1String(kDiscovery), QStringLiteral("Probe"));
    w.writeTextElement(QLatin1String(kDiscovery), QStringLiteral("Types"),
                       QStringLiteral("wsdp:Device pub:Computer"));
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return out.toStdString();
}

std::string wsdGetMessage(const std::string& messageId, const std::string& to) {
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument();
    w.writeStartElement(QLatin1String(kSoap), QStringLiteral("Envelope"));
    soapStart(w, kGetAction, messageId, to.c_str());
    w.writeEmptyElement(QLatin1String(kSoap), QStringLiteral("Body"));
    w.writeEndElement();
    w.writeEndDocument();
    return out.toStdString();
}

std::optional<WsdProbeMatches> parseProbeMatches(std::string_view xml) {
    if (xml.size() > kWsdMaxDatagram)
        return std::nullopt;
    WsdProbeMatches result;
    bool action = false;
    bool relates = false;
    bool body = false;
    struct Pending {
        WsdProbeMatch match;
        bool bad = false;
    };
    std::vector<Pending> matches;
    const auto inMatch = [](const std::vector<Tag>& p) {
        return p.size() >= 4 && p[0].is(Ns::Soap, "Envelope") && p[1].is(Ns::Soap, "Body") &&
               p[2].is(Ns::Wsd, "ProbeMatches") && p[3].is(Ns::Wsd, "ProbeMatch");
    };
    const bool ok = walkXml(
        xml,
        [&](const std::vector<Tag>& p) {
            if (pathIs(p, {{Ns::Soap, "Envelope"}, {Ns::Soap, "Body"}, {Ns::Wsd, "ProbeMatches"}}))
                body = true;
            if (inMatch(p) && p.size() == 4 && matches.size() < kWsdMaxMatches)
                matches.emplace_back();
        },
        [&](const std::vector<Tag>& p, const Element& e) {
            if (pathIs(p, {{Ns::Soap, "Envelope"}, {Ns::Soap, "Header"}, {Ns::Wsa, "Action"}})) {
                action = e.text.trimmed() == QLatin1String(kProbeMatchesAction);
            } else if (pathIs(p, {{Ns::Soap, "Envelope"}, {Ns::Soap, "Header"}, {Ns::Wsa, "RelatesTo"}})) {
                if (auto t = addressText(e)) {
                    result.relatesTo = *t;
                    relates = true;
                }
            } else if (inMatch(p) && !matches.empty()) {
                Pending& m = matches.back();
                if (p.size() == 6 && p[4].is(Ns::Wsa, "EndpointReference") && p[5].is(Ns::Wsa, "Address")) {
                    if (auto t = addressText(e))
                        m.match.endpoint = *t;
                    else
                        m.bad = true;
                } else if (p.size() == 5 && p[4].is(Ns::Wsd, "XAddrs")) {
                    if (e.tooLong) {
                        m.bad = true;
                        return;
                    }
                    for (const QString& word : e.text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                        Element one{word.trimmed(), false};
                        if (m.match.xaddrs.size() >= kWsdMaxXAddrs)
                            break;
                        if (auto t = addressText(one))
                            m.match.xaddrs.push_back(*t);
                    }
                }
            }
        });
    if (!ok || !action || !relates || !body)
        return std::nullopt;
    for (Pending& m : matches)
        if (!m.bad && !m.match.endpoint.empty())
            result.matches.push_back(std::move(m.match));
    return result;
}

std::optional<WsdComputer> parseComputerText(std::string_view text) {
    const QString all =
        QString::fromUtf8(text.data(), static_cast<qsizetype>(std::min(text.size(), size_t{4096})));
    const qsizetype slash = all.indexOf(QLatin1Char('/'));
    WsdComputer c;
    c.name = cleanText(slash < 0 ? QStringView(all) : QStringView(all).left(slash), kWsdMaxTextBytes);
    if (c.name.empty())
        return std::nullopt;
    if (slash >= 0) {
        const QStringView rest = QStringView(all).mid(slash + 1).trimmed();
        const std::string head = rest.left(10).toString().toStdString();
        if (startsWithNoCase(head, "Workgroup:")) {
            c.workgroup = cleanText(rest.mid(10), kWsdMaxTextBytes);
        } else if (startsWithNoCase(head, "Domain:")) {
            c.workgroup = cleanText(rest.mid(7), kWsdMaxTextBytes);
            c.domain = true;
        }
    }
    return c;
}

std::optional<WsdComputer> parseMetadataComputer(std::string_view xml) {
    if (xml.size() > kWsdMaxResponse)
        return std::nullopt;
    std::optional<WsdComputer> found;
    // pub:Computer inside the Relationship section of the metadata; where the
    // section sits among its siblings does not matter.
    const bool ok = walkXml(
        xml, [](const std::vector<Tag>&) {},
        [&](const std::vector<Tag>& p, const Element& e) {
            if (found || e.tooLong || p.size() < 4 || !p.back().is(Ns::Pub, "Computer"))
                return;
            if (!p[0].is(Ns::Soap, "Envelope") || !p[1].is(Ns::Soap, "Body") || !p[2].is(Ns::Mex, "Metadata"))
                return;
            const bool inHost =
                std::any_of(p.begin(), p.end(), [](const Tag& t) { return t.is(Ns::Wsdp, "Host"); });
            if (inHost)
                found = parseComputerText(e.text.toStdString());
        });
    if (!ok)
        return std::nullopt;
    return found;
}

std::optional<WsdHttpTarget> wsdHttpTarget(const std::vector<std::string>& xaddrs, std::string_view address) {
    for (const std::string& url : xaddrs) {
        std::string_view rest = url;
        if (!startsWithNoCase(rest, "http://"))
            continue;
        rest.remove_prefix(7);
        const size_t end = std::min(rest.find('/'), rest.size());
        std::string_view authority = rest.substr(0, end);
        std::string_view path = rest.substr(end);
        WsdHttpTarget target;
        const size_t colon = authority.find(':');
        if (colon != std::string_view::npos) {
            const std::string_view port = authority.substr(colon + 1);
            if (port.empty() || port.size() > 5 ||
                !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            const int value = std::stoi(std::string(port));
            if (value < 1 || value > 65535)
                continue;
            target.port = static_cast<uint16_t>(value);
            authority = authority.substr(0, colon);
        }
        if (authority != address)
            continue;
        target.path = path.empty() ? "/" : std::string(path);
        const size_t hash = target.path.find('#');
        if (hash != std::string::npos)
            target.path.resize(hash);
        if (std::all_of(target.path.begin(), target.path.end(), [](char c) { return c > 0x20 && c < 0x7F; }))
            return target;
    }
    return std::nullopt;
}

std::string wsdHttpRequest(std::string_view address, const WsdHttpTarget& target, std::string_view soap) {
    std::string r = "POST " + target.path + " HTTP/1.1\r\n";
    r += "Host: " + std::string(address) + ":" + std::to_string(target.port) + "\r\n";
    r += "Content-Type: application/soap+xml\r\n";
    r += "User-Agent: ORMIX\r\n";
    r += "Content-Length: " + std::to_string(soap.size()) + "\r\n";
    r += "Connection: close\r\n\r\n";
    r += soap;
    return r;
}

std::optional<std::string_view> httpResponseBody(std::string_view response, bool closed, bool& failed) {
    failed = false;
    const auto fail = [&failed]() -> std::optional<std::string_view> {
        failed = true;
        return std::nullopt;
    };
    const size_t headerEnd = response.substr(0, kMaxHttpHeader).find("\r\n\r\n");
    if (headerEnd == std::string_view::npos) {
        if (closed || response.size() >= kMaxHttpHeader)
            return fail();
        return std::nullopt;
    }
    const std::string_view head = response.substr(0, headerEnd);
    size_t lineEnd = head.find("\r\n");
    const std::string_view status = head.substr(0, lineEnd);
    // "HTTP/1.1 200 OK"
    if (!startsWithNoCase(status, "HTTP/1.") || status.size() < 12 || status.substr(8, 4) != " 200" ||
        (status.size() > 12 && status[12] != ' '))
        return fail();
    std::optional<size_t> length;
    while (lineEnd != std::string_view::npos) {
        const size_t next = head.find("\r\n", lineEnd + 2);
        const std::string_view line = head.substr(
            lineEnd + 2, next == std::string_view::npos ? std::string_view::npos : next - lineEnd - 2);
        lineEnd = next;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = line.substr(0, colon);
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix(1);
        if (name.size() == 14 && startsWithNoCase(name, "Content-Length")) {
            if (value.empty() || value.size() > 9 || length ||
                !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return fail();
            length = std::stoul(std::string(value));
            if (*length > kWsdMaxResponse)
                return fail();
        } else if (name.size() == 17 && startsWithNoCase(name, "Transfer-Encoding")) {
            // Metadata is small; a chunked body is not read.
            if (!(value.size() == 8 && startsWithNoCase(value, "identity")))
                return fail();
        }
    }
    const std::string_view body = response.substr(headerEnd + 4);
    if (length) {
        if (body.size() >= *length)
            return body.substr(0, *length);
        if (closed)
            return fail();
        return std::nullopt;
    }
    if (closed)
        return body;
    return std::nullopt;
}

} // namespace ormix
