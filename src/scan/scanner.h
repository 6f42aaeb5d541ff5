// Scanner, the node-status scanner: binds a UDP socket to the first free port from 2000
// up, sends one node-status query to every address of every scan range (and,
// when asked, a second or third to those that stayed silent), reports the
// first answer of each queried address once per scan (ranges that overlap
// find a computer twice, but it is one computer), and tells its owner
// everything through a ScanObserver. A range whose every address has answered
// ends without waiting out its time-out. A datagram that answers no query of
// the range (an address never asked, a transaction id never sent) is counted
// and dropped. When asked, the SMB-port sweep (per range) and the WS-Discovery
// sweep (once per scan) run beside it and each range's computers are merged.
// Covered by tests/scan/scanner_test.cpp (with the nbt-responder fixture),
// tests/scan/nmbd_test.cpp (a real nmbd) and tests/scan/cli_test.cpp (all
// methods over the test LAN).
#pragma once

#include "scan/nbstat.h"
#include "scan/ranges.h"
#include "scan/smbsweep.h"
#include "scan/wsdsweep.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace ormix {

// What the scanner tells its owner. Every call comes on the scanner's
// thread, in order; the owner hands each to its own thread as it needs.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void logLine(const std::string& line) = 0;
    // One host: computer name, IP text, MAC text and workgroup in one record.
    virtual void foundHost(const HostTexts& host) = 0;
    // Once, before the first range: the gauge's maximum; its position is 0.
    virtual void progressTotal(int64_t total) = 0;
    // Queries sent so far. Coalesced: at most one call per progress interval,
    // and always one with the final count of every range's sending.
    virtual void progress(int64_t queriesSent) = 0;
    // A failure the user must see in a message box ("Malloc failed"); the
    // owner shows it on its own (main) thread.
    virtual void fatalMessage(const std::string& text) = 0;
    // The last call of a scan, whatever happened before.
    virtual void finished() = 0;
};

// How a computer was found; several bits when several ways found it.
enum DiscoveryMethod : unsigned {
    kFoundByNetbios = 1, // node-status answer
    kFoundBySmb = 2,     // TCP 445 and the NTLM challenge
    kFoundByWsd = 4,     // WS-Discovery
};

// "netbios,smb" for the bits set, in that order.
std::string discoveryMethodNames(unsigned methods);
// The window's names of the methods: "NetBIOS", "Порт SMB (445)",
// "WS-Discovery", joined by ", " (UTF-8).
std::string discoveryMethodLabels(unsigned methods);
// Parses a comma-separated list of "netbios", "smb" and "wsd"; false on an
// unknown or empty word.
bool parseDiscoveryMethods(const std::string& text, unsigned& methods);

struct SelectTimeout {
    int32_t seconds = 4;
    int32_t microseconds = 10;
};

struct ScanOptions {
    // The range texts, as one snapshot that nobody changes while the scan runs.
    std::shared_ptr<const std::vector<std::string>> ranges;
    // Asked at the start of every range, on the scanner thread; unset gives
    // 4 s 10 µs. The program reads the file each time
    // (settings/appsettings.h configuredSelectTimeout).
    std::function<SelectTimeout()> selectTimeout;
    int firstPort = 2000;
    std::chrono::milliseconds progressInterval{20};
    // Extra passes over the addresses that have not answered yet (0-2).
    int retries = 0;
    // DiscoveryMethod bits. With NetBIOS alone every answer is reported as it
    // arrives; with more, each range's computers are merged (one report per
    // address, node-status data first, the MAC only from it) and reported in
    // address order once all of the range's methods are done.
    unsigned methods = kFoundByNetbios;
    SmbSweepOptions smb;
    // One WS-Discovery sweep serves the whole scan: it starts with the first
    // range and every range's merge takes the responders inside it.
    WsdSweepOptions wsd;
    // Queries per second at most, first pass and retries alike; 0: no cap.
    int maxQueriesPerSecond = kDefaultQueriesPerSecond;
    // Asked on the scanner thread while a range waits for late answers after
    // its last query, with the range's position in `ranges` and how many of
    // its addresses have answered; true ends that wait at once. Unset, the
    // wait runs its whole time. Tests end a range as soon as every answer
    // they expect is in, so a busy machine makes them slower, never wrong.
    std::function<bool(size_t range, size_t answered)> rangeComplete;
    static constexpr int kDefaultQueriesPerSecond = 20000;
};

class Scanner : public std::enable_shared_from_this<Scanner> {
public:
    Scanner(ScanOptions options, std::shared_ptr<ScanObserver> observer);
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // Runs run() on a thread of its own; the object (which must be owned by
    // a std::shared_ptr) stays alive until that thread ends. The end is the
    // observer's finished(). An owner that keeps its pointer stops and joins
    // the thread with requestStop() and join(); otherwise the last owner's
    // release ends it (stopped and joined, or left to end by itself when the
    // release happens on the scanner's own thread).
    void start();

    // Asks the scan to end soon: a wait for answers ends at once and no
    // further range starts; finished() still comes. Any thread.
    void requestStop();
    // Waits for the thread of start(); returns at once when none runs.
    // Never from the scanner's own thread.
    void join();

    // The whole scan on the calling thread, ending with finished().
    void run();

    int64_t queriesSent() const { return queriesSent_; }
    int64_t retriesSent() const { return retriesSent_; }
    int64_t datagramsIgnored() const { return ignoredTotal_; }

private:
    void scan();
    int prepareSocket();
    bool scanRange(const std::string& text, size_t index);
    int selectReady(bool& readSet, bool& writeSet);
    bool receiveOne();
    bool datagramWaiting() const;
    bool answersOurQuery(uint32_t source, const NodeStatusAnswer& answer, const ClockReading& received);
    void ignore(uint32_t source, const char* why);
    void reportHost(const NodeStatusAnswer& answer, uint32_t source);
    void reportMerged(const std::vector<SmbSweepHost>& smbHosts);
    void startWsd();
    void joinWsd();
    void showProgress(bool final);
    void releaseScanResources();
    void log(const std::string& line);

    ScanOptions options_;
    std::shared_ptr<ScanObserver> observer_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    int wakeFd_ = -1; // an eventfd that requestStop() makes readable

    int fd_ = -1;
    int port_ = 2000;
    SelectTimeout timeout_;
    AddressRange range_;
    std::optional<uint32_t> cursor_; // network byte order
    AnsweredSet answered_;
    bool sending_ = true;
    std::vector<uint8_t> buffer_;
    uint32_t sourceAddress_ = 0; // network byte order, as the last receive left it
    int32_t scanStartSecond_ = 0;
    float srtt_ = 0.0f;
    float rttvar_ = 0.75f;
    int64_t queriesSent_ = 0;
    int64_t retriesSent_ = 0;
    int64_t ignoredTotal_ = 0;
    // The current range: its pass (0 the sweep, then the retries), the last
    // address queried by the sweep, the transaction id of its start, and
    // datagrams dropped because they answer nothing we asked.
    int pass_ = 0;
    std::optional<uint32_t> queriedUpTo_; // host byte order
    uint16_t rangeStartId_ = 0;
    std::chrono::steady_clock::time_point rangeStart_{};
    std::chrono::steady_clock::time_point nextSend_{};
    int64_t ignored_ = 0;
    std::set<std::string> ignoredKinds_;
    // Node-status answers of the range held back for the merge (several methods).
    std::vector<HostTexts> heldBack_;
    // The WS-Discovery sweep's thread and what it found; its log lines wait
    // for the join, so the observer hears only from the scanner's thread.
    std::thread wsdThread_;
    std::vector<WsdSweepHost> wsdHosts_;
    std::vector<std::string> wsdLog_;
    // Every address reported in this scan (host byte order), whichever range found it.
    std::set<uint32_t> reported_;
    int64_t progressShown_ = -1;
    std::chrono::steady_clock::time_point lastProgress_{};
};

} // namespace ormix
