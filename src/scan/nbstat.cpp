// Node-status query and answer (RFC 1001/1002 NBSTAT) and the scan clock.
#include "scan/nbstat.h"

#include "platform/codepage.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

namespace ormix {
namespace {

// Process-wide, never reset: successive readings within one millisecond differ.
std::atomic<uint32_t> g_clockCounter{0};

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Bytes of a name entry up to its first zero byte (at most 15), without the
// leading and trailing characters of code 32 or less.
std::string entryText(const uint8_t* entry) {
    size_t end = 0;
    while (end < 15 && entry[end] != 0)
        ++end;
    size_t begin = 0;
    while (begin < end && entry[begin] <= 32)
        ++begin;
    while (end > begin && entry[end - 1] <= 32)
        --end;
    return std::string(reinterpret_cast<const char*>(entry) + begin, end - begin);
}

} // namespace

ClockReading readClock() {
    const uint32_t counter = g_clockCounter.fetch_add(1, std::memory_order_relaxed) + 1;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    ClockReading r;
    r.seconds = static_cast<int32_t>(ts.tv_sec);
    r.microseconds = static_cast<int32_t>(static_cast<uint32_t>(ts.tv_nsec / 1000000) * 1000u + counter);
    return r;
}

uint16_t transactionId(const ClockReading& now, int32_t scanStartSecond) {
    // Signed 32-bit arithmetic as the wire format was designed for, done in
    // unsigned so that a wrap is defined; only the low 16 bits are kept.
    const uint32_t elapsed = static_cast<uint32_t>(now.seconds) - static_cast<uint32_t>(scanStartSecond);
    const uint32_t ms = elapsed * 1000u + static_cast<uint32_t>(now.microseconds / 1000);
    return static_cast<uint16_t>(ms & 0xFFFF);
}

std::array<uint8_t, kStatusQueryLength> buildStatusQuery(uint16_t trnId) {
    std::array<uint8_t, kStatusQueryLength> q{};
    q[0] = static_cast<uint8_t>(trnId >> 8);
    q[1] = static_cast<uint8_t>(trnId & 0xFF);
    q[3] = 0x10; // NM_FLAGS: B only
    q[5] = 0x01; // QDCOUNT
    q[12] = 0x20;
    // "*" and fifteen zero bytes, first-level encoded: 'C' 'K', then 'A' 'A' per zero byte.
    q[13] = 'C';
    q[14] = 'K';
    std::memset(&q[15], 'A', 30);
    q[45] = 0x00;
    q[47] = 0x21; // NBSTAT
    q[49] = 0x01; // IN
    return q;
}

int sendStatusQuery(int fd, uint32_t destination, int32_t scanStartSecond) {
    const auto query = buildStatusQuery(transactionId(readClock(), scanStartSecond));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kNetbiosNamePort);
    to.sin_addr.s_addr = destination;
    const ssize_t sent =
        sendto(fd, query.data(), query.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent < 0 ? -1 : 0;
}

// Answer layout (offsets from the start of the datagram, n = NUM_NAMES):
//
//    0  NAME_TRN_ID   2        46  RR_TYPE      2
//    2  flags         2        48  RR_CLASS     2
//    4  QDCOUNT       2        50  TTL          4
//    6  ANCOUNT       2        54  RDLENGTH     2
//    8  NSCOUNT       2        56  NUM_NAMES    1
//   10  ARCOUNT       2        57  name entries 18 * n
//   12  RR_NAME      34        57 + 18n  UNIT_ID (MAC) 6, then the rest of STATISTICS
//
// RR_NAME is always taken as a full uncompressed name of 34 bytes. A field is
// read only when the datagram goes at least one byte beyond it.
std::optional<NodeStatusAnswer> parseResponse(const uint8_t* data, size_t length) {
    NodeStatusAnswer answer;
    auto fits = [length](size_t offset, size_t size) { return length > offset + size; };

    NodeStatusHeader h;
    if (!fits(0, 2))
        return answer;
    h.trnId = get16(data);
    auto done = [&] {
        answer.header = h;
        return answer;
    };
    uint16_t* const shorts[] = {&h.flags, &h.qdCount, &h.anCount, &h.nsCount, &h.arCount};
    for (size_t i = 0; i < 5; ++i) {
        const size_t offset = 2 + 2 * i;
        if (!fits(offset, 2))
            return done();
        *shorts[i] = get16(data + offset);
    }
    if (!fits(12, 34))
        return done();
    for (size_t i = 0; i < 34; ++i) {
        h.rrName[i] = data[12 + i];
        if (data[12 + i] == 0)
            break;
    }
    if (!fits(46, 2))
        return done();
    h.rrType = get16(data + 46);
    if (!fits(48, 2))
        return done();
    h.rrClass = get16(data + 48);
    if (!fits(50, 4))
        return done();
    h.ttl = get32(data + 50);
    if (!fits(54, 2))
        return done();
    h.rdLength = get16(data + 54);
    if (!fits(56, 1))
        return done();
    h.numNames = data[56];
    answer.header = h;

    const size_t tableSize = kNameEntryLength * h.numNames;
    if (!fits(57, tableSize))
        return answer;
    try {
        answer.nameTable.emplace(data + 57, data + 57 + tableSize);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    const size_t unitId = 57 + tableSize;
    if (!fits(unitId, 6))
        return answer;
    std::array<uint8_t, 6> mac;
    std::memcpy(mac.data(), data + unitId, 6);
    answer.statistics = mac;
    return answer;
}

HostTexts describeHost(const NodeStatusAnswer& answer, uint32_t source) {
    HostTexts t;
    t.name = "<unknown>";
    if (answer.header && answer.nameTable) {
        bool nameTaken = false;
        const std::vector<uint8_t>& table = *answer.nameTable;
        const size_t count = std::min<size_t>(answer.header->numNames, table.size() / kNameEntryLength);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* entry = table.data() + i * kNameEntryLength;
            if (entry[15] != 0x00)
                continue;
            const bool group = (entry[16] & 0x80) != 0;
            if (!group && !nameTaken) {
                t.name = cp866ToUtf8(entryText(entry));
                nameTaken = true;
            } else if (group) {
                // Workgroups arrive in the same OEM code page as computer names.
                t.workgroup = cp866ToUtf8(entryText(entry));
            }
        }
    }
    in_addr a{};
    a.s_addr = source;
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, ip, sizeof ip);
    t.ip = ip;
    if (answer.statistics) {
        const auto& m = *answer.statistics;
        char mac[18];
        std::snprintf(mac, sizeof mac, "%02X-%02X-%02X-%02X-%02X-%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
        t.mac = mac;
    }
    return t;
}

} // namespace ormix
