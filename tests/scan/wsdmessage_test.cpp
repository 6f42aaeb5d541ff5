// The WS-Discovery messages and decoders: answers recorded from the test LAN's
// WS-Discovery peer (tests/scan/wsd/), one written with other prefixes and
// layout, and hostile variants (truncated, huge, foreign namespaces, missing
// parts, control characters, entity expansion).
#include "fixtures/files.h"
#include "fixtures/testlan.h"
#include "scan/wsdmessage.h"

#include <QString>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ormix {
namespace {

std::string fixture(const std::string& name) {
    const std::string text = testing::readFile(testing::sourceDir() + "/tests/scan/wsd/" + name);
    EXPECT_FALSE(text.empty()) << name;
    return text;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// The India metadata with its pub:Computer text replaced (raw XML).
std::string indiaWithComputer(const std::string& xmlText) {
    return replaced(fixture("india.metadata.xml"), "INDIA/Workgroup:WSDGROUP", xmlText);
}

TEST(WsdMessage, RecordedMetadataGivesNameAndWorkgroup) {
    const struct {
        const char* file;
        const char* name;
        const char* workgroup;
        bool domain;
    } rows[] = {
        {"india.metadata.xml", "INDIA", "WSDGROUP", false},
        {"juliet-domain.metadata.xml", "juliet", "CORP.EXAMPLE", true},
        // Other prefixes, a default namespace, indentation and CDATA.
        {"prefixes.metadata.xml", "KILO", "HOME", false},
    };
    for (const auto& row : rows) {
        const auto c = parseMetadataComputer(fixture(row.file));
        ASSERT_TRUE(c) << row.file;
        EXPECT_EQ(c->name, row.name) << row.file;
        EXPECT_EQ(c->workgroup, row.workgroup) << row.file;
        EXPECT_EQ(c->domain, row.domain) << row.file;
    }
}

TEST(WsdMessage, RecordedProbeMatchesAndItsTransportAddress) {
    const auto m = parseProbeMatches(fixture("india.probematches.xml"));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->relatesTo, "urn:uuid:0b7a3f4e-2c61-4d0e-9a51-6f1d2e3c4b5a");
    ASSERT_EQ(m->matches.size(), 1u);
    EXPECT_EQ(m->matches[0].endpoint.rfind("urn:uuid:", 0), 0u);
    ASSERT_EQ(m->matches[0].xaddrs.size(), 1u);
    const auto target = wsdHttpTarget(m->matches[0].xaddrs, "127.0.0.18");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->port, 5357);
    EXPECT_EQ(target->path, "/" + m->matches[0].endpoint.substr(9));
    // Another responder may not send us to India's address.
    EXPECT_FALSE(wsdHttpTarget(m->matches[0].xaddrs, "127.0.0.19"));
}

TEST(WsdMessage, HostileMetadata) {
    const std::string india = fixture("india.metadata.xml");
    const std::string bomb =
        "<?xml version=\"1.0\"?><!DOCTYPE s [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>" +
        indiaWithComputer("&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;").substr(39);
    const struct {
        const char* what;
        std::string xml;
    } rows[] = {
        {"truncated", india.substr(0, india.size() / 2)},
        {"truncated just before the end", india.substr(0, india.size() - 3)},
        {"foreign pub namespace",
         replaced(india, "xmlns:pub=\"http://schemas.microsoft.com/windows/pub/2005/07\"",
                  "xmlns:pub=\"http://example.invalid/pub\"")},
        {"SOAP 1.1 envelope", replaced(india, "http://www.w3.org/2003/05/soap-envelope",
                                       "http://schemas.xmlsoap.org/soap/envelope/")},
        {"no pub:Computer", replaced(india, "pub:Computer>INDIA/Workgroup:WSDGROUP</pub:Computer",
                                     "pub:Other>INDIA/Workgroup:WSDGROUP</pub:Other")},
        {"pub:Computer outside the host relationship",
         replaced(replaced(india, "<pub:Computer>INDIA/Workgroup:WSDGROUP</pub:Computer>", ""),
                  "<wsdp:FriendlyName>",
                  "<pub:Computer>INDIA/Workgroup:WSDGROUP</pub:Computer><wsdp:FriendlyName>")},
        {"empty name", indiaWithComputer("/Workgroup:WSDGROUP")},
        {"name of control characters only", indiaWithComputer("&#x9;&#xA;&#x85;/Workgroup:G")},
        {"a name far too long", indiaWithComputer(std::string(10000, 'N'))},
        {"entity expansion", bomb},
        {"a document over the cap",
         replaced(india, "<wsdp:FirmwareVersion>",
                  "<!--" + std::string(kWsdMaxResponse, 'x') + "--><wsdp:FirmwareVersion>")},
        {"not XML at all", std::string("\x00\x01\xff<<<", 6)},
    };
    for (const auto& row : rows)
        EXPECT_FALSE(parseMetadataComputer(row.xml)) << row.what;
}

std::string zhe(int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += "Ж";
    return s;
}

TEST(WsdMessage, NamesAreCleanedAndBounded) {
    const struct {
        std::string xml;
        std::string name;
        std::string workgroup;
    } rows[] = {
        // Tab, line feed, DEL, a C1 control and a right-to-left override vanish.
        {"IN&#x9;DI&#x7F;A&#x85;&#x202E;/Workgroup:WS&#xA;D", "INDIA", "WSD"},
        {"  INDIA  /Workgroup:  WSDGROUP  ", "INDIA", "WSDGROUP"},
        {"ИНДИЯ/Workgroup:РАБОЧАЯ", "ИНДИЯ", "РАБОЧАЯ"},
        {"INDIA &amp; CO/workgroup:A&lt;B", "INDIA & CO", "A<B"},
        // 300 two-byte letters: cut to 255 bytes on a letter boundary.
        {zhe(300), zhe(127), ""},
    };
    for (const auto& row : rows) {
        const auto c = parseMetadataComputer(indiaWithComputer(row.xml));
        ASSERT_TRUE(c) << row.xml;
        EXPECT_EQ(c->name, row.name) << row.xml;
        EXPECT_EQ(c->workgroup, row.workgroup) << row.xml;
        EXPECT_LE(c->name.size(), kWsdMaxTextBytes);
    }
}

TEST(WsdMessage, ComputerTextForms) {
    const struct {
        const char* text;
        bool ok;
        const char* name;
        const char* workgroup;
        bool domain;
    } rows[] = {
        {"A/Workgroup:B", true, "A", "B", false},
        {"srv/domain:corp.example", true, "srv", "corp.example", true},
        {"BARE", true, "BARE", "", false},
        {"NAME/Something:else", true, "NAME", "", false},
        {"NAME/", true, "NAME", "", false},
        {"/Workgroup:G", false, "", "", false},
        {"", false, "", "", false},
    };
    for (const auto& row : rows) {
        const auto c = parseComputerText(row.text);
        ASSERT_EQ(c.has_value(), row.ok) << row.text;
        if (!c)
            continue;
        EXPECT_EQ(c->name, row.name) << row.text;
        EXPECT_EQ(c->workgroup, row.workgroup) << row.text;
        EXPECT_EQ(c->domain, row.domain) << row.text;
    }
}

TEST(WsdMessage, HostileProbeMatches) {
    const std::string india = fixture("india.probematches.xml");
    const std::string match = india.substr(
        india.find("<wsd:ProbeMatch>"), india.find("</wsd:ProbeMatches>") - india.find("<wsd:ProbeMatch>"));
    std::string many;
    for (int i = 0; i < 20; ++i)
        many += match;
    std::string xaddrs;
    for (int i = 0; i < 20; ++i)
        xaddrs += "http://127.0.0.18:" + std::to_string(1000 + i) + "/x ";

    const struct {
        const char* what;
        std::string xml;
        bool parsed;
        size_t matches;
        size_t xaddrs;
    } rows[] = {
        {"wrong action", replaced(india, "discovery/ProbeMatches<", "discovery/Hello<"), false, 0, 0},
        {"no RelatesTo", replaced(india, "wsa:RelatesTo>", "wsa:Relates>"), false, 0, 0},
        {"foreign discovery namespace",
         replaced(india, "http://schemas.xmlsoap.org/ws/2005/04/discovery\"", "urn:other\""), false, 0, 0},
        {"truncated", india.substr(0, india.size() - 20), false, 0, 0},
        {"over the datagram cap",
         replaced(india, "<soap:Body>", "<soap:Body><!--" + std::string(kWsdMaxDatagram, 'x') + "-->"), false,
         0, 0},
        {"endpoint address too long",
         replaced(india, "<wsa:Address>urn:uuid:", "<wsa:Address>urn:uuid:" + std::string(600, 'a')), true, 0,
         0},
        {"no endpoint",
         replaced(replaced(india, "<wsa:EndpointReference><wsa:Address>", "<wsa:Address>"),
                  "</wsa:Address></wsa:EndpointReference>", "</wsa:Address>"),
         true, 0, 0},
        {"twenty matches", replaced(india, match, many), true, kWsdMaxMatches, 1},
        {"twenty transport addresses", replaced(india, "<wsd:XAddrs>", "<wsd:XAddrs>" + xaddrs), true, 1,
         kWsdMaxXAddrs},
        {"a transport address with a control character",
         replaced(india, "<wsd:XAddrs>", "<wsd:XAddrs>http://127.0.0.18/&#x7F;x "), true, 1, 1},
    };
    for (const auto& row : rows) {
        const auto m = parseProbeMatches(row.xml);
        ASSERT_EQ(m.has_value(), row.parsed) << row.what;
        if (!m)
            continue;
        EXPECT_EQ(m->matches.size(), row.matches) << row.what;
        if (!m->matches.empty()) {
            EXPECT_EQ(m->matches.front().xaddrs.size(), row.xaddrs) << row.what;
        }
    }
}

TEST(WsdMessage, OnlyThePlainHttpAddressOfTheResponderIsFetched) {
    const struct {
        const char* url;
        bool ok;
        uint16_t port;
        const char* path;
    } rows[] = {
        {"http://127.0.0.18:5357/abc", true, 5357, "/abc"},
        {"HTTP://127.0.0.18", true, 80, "/"},
        {"http://127.0.0.18:8080/a?b=c#frag", true, 8080, "/a?b=c"},
        {"http://127.0.0.180:5357/abc", false, 0, ""},
        {"http://127.0.0.18.example:80/", false, 0, ""},
        {"http://user@127.0.0.18/", false, 0, ""},
        {"https://127.0.0.18:5358/abc", false, 0, ""},
        {"http://127.0.0.18:0/", false, 0, ""},
        {"http://127.0.0.18:99999/", false, 0, ""},
        {"http://127.0.0.18:/", false, 0, ""},
        {"http://127.0.0.18/a\r\nHost: elsewhere", false, 0, ""},
        {"http://[::1]:5357/", false, 0, ""},
    };
    for (const auto& row : rows) {
        const auto t = wsdHttpTarget({row.url}, "127.0.0.18");
        ASSERT_EQ(t.has_value(), row.ok) << row.url;
        if (!t)
            continue;
        EXPECT_EQ(t->port, row.port) << row.url;
        EXPECT_EQ(t->path, row.path) << row.url;
    }
    // The first usable one of several wins.
    const auto t = wsdHttpTarget({"http://127.0.0.99/", "http://127.0.0.18:81/x"}, "127.0.0.18");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->port, 81);
}

TEST(WsdMessage, HttpResponses) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
    const struct {
        const char* what;
        std::string response;
        bool closed;
        bool failed;
        const char* body; // nullptr: no body (yet)
    } rows[] = {
        {"complete", ok, false, false, "hello"},
        {"complete with more after it", ok + "junk", false, false, "hello"},
        {"half the body", ok.substr(0, ok.size() - 2), false, false, nullptr},
        {"closed within the body", ok.substr(0, ok.size() - 2), true, true, nullptr},
        {"half the header", "HTTP/1.1 200 OK\r\nContent-Le", false, false, nullptr},
        {"closed within the header", "HTTP/1.1 200 OK\r\n", true, true, nullptr},
        {"no length, ends with the connection", "HTTP/1.0 200 OK\r\n\r\nbody", true, false, "body"},
        {"no length, still open", "HTTP/1.0 200 OK\r\n\r\nbody", false, false, nullptr},
        {"not found", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", false, true, nullptr},
        {"status 2000", "HTTP/1.1 2000 OK\r\nContent-Length: 0\r\n\r\n", false, true, nullptr},
        {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", false, true, nullptr},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", false,
         true, nullptr},
        {"length over the cap", "HTTP/1.1 200 OK\r\nContent-Length: 999999999\r\n\r\n", false, true, nullptr},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, true, nullptr},
        {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 5\r\n\r\nhello", false, true,
         nullptr},
        {"a header without end", "HTTP/1.1 200 OK\r\nX: " + std::string(20000, 'x'), false, true, nullptr},
    };
    for (const auto& row : rows) {
        bool failed = false;
        const auto body = httpResponseBody(row.response, row.closed, failed);
        EXPECT_EQ(failed, row.failed) << row.what;
        ASSERT_EQ(body.has_value(), row.body != nullptr) << row.what;
        if (body) {
            EXPECT_EQ(*body, row.body) << row.what;
        }
    }
}

// Reads the wsa header texts back as a peer would.
std::string headerText(const std::string& xml, const char* name) {
    QXmlStreamReader r(QByteArray::fromStdString(xml));
    while (!r.atEnd())
        if (r.readNext() == QXmlStreamReader::StartElement &&
            r.namespaceUri() == QLatin1String("http://schemas.xmlsoap.org/ws/2004/08/addressing") &&
            r.name() == QLatin1String(name))
            return r.readElementText().toStdString();
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return {};
}

TEST(WsdMessage, RequestsCarryTheirIdsAndEscapeAPeersEndpoint) {
    const std::string id = wsdNewMessageId();
    EXPECT_EQ(id.rfind("urn:uuid:", 0), 0u);
    EXPECT_NE(id, wsdNewMessageId());
    const std::string probe = wsdProbeMessage(id);
    EXPECT_EQ(headerText(probe, "MessageID"), id);
    EXPECT_EQ(headerText(probe, "Action"), "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe");
    EXPECT_NE(probe.find("wsdp:Device pub:Computer"), std::string::npos);

    const std::string hostile = "urn:x</wsa:To><wsa:Action>evil</wsa:Action>";
    const std::string get = wsdGetMessage(id, hostile);
    EXPECT_EQ(headerText(get, "To"), hostile);
    EXPECT_EQ(headerText(get, "Action"), "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get");

    const std::string request = wsdHttpRequest("127.0.0.18", {5357, "/abc"}, get);
    EXPECT_EQ(request.rfind("POST /abc HTTP/1.1\r\nHost: 127.0.0.18:5357\r\n", 0), 0u);
    EXPECT_NE(request.find("Content-Length: " + std::to_string(get.size()) + "\r\n"), std::string::npos);
}

} // namespace
} // namespace ormix
