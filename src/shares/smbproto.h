// The frame format spoken between ORMIX and its SMB helper process (ormix-smb),
// and the one table that turns a libsmbclient errno into ORMIX's share status.
// Pure code: no sockets, no Qt, no libsmbclient. Tests: tests/shares/smbproto_test.cpp.
//
// Transport: the helper's standard input and output are one end of a stream
// socket pair. Both directions carry frames:
//
//   +----------------+-----------+---------------------------+
//   | u32 LE  length | u8  kind  | fields of that kind ...   |
//   +----------------+-----------+---------------------------+
//                     \______ body: `length` bytes (1..kMaxFrame) ______/
//
// Fields are u8, u32 LE, i32 LE, u64 LE, or a text: u32 LE byte count followed
// by that many bytes (any byte value, tabs, newlines and NULs included; UTF-8
// by convention). A body that ends early or has bytes left after its last
// field is a format error; so is a length of 0 or above kMaxFrame. The program
// treats a format error like a crash: the helper is killed and replaced.
//
// The helper starts by sending  Hello{u32 version}.  After that it serves one
// job at a time: the program sends a job frame, the helper answers with any
// number of record frames and exactly one End{i32 status}; then it waits for
// the next job. While a job runs the program sends nothing but Stop.
//
//   job (program -> helper)          records (helper -> program)       end
//   ListShares{text host, auth}      Share{text name, text comment}*   End
//   WalkShare{text url, auth}        Entry{u8 what, text name,         End
//                                      u64 size, u64 mtime}*  (depth
//                                      first; what: 0 file, 1 folder whose
//                                      entries follow, 2 end of the current
//                                      folder; mtime in seconds since the
//                                      epoch, 0 when unknown)
//   CopyFile{text url,               Target{text path} once, then       End
//            text local_path, auth}    Progress{u64 done, u64 total}*
//                                      (path: local_path, or the next free
//                                      "name (n).ext" when it was taken)
//   Stop                             (ends a running walk or copy early; the
//                                     helper reads it between records and
//                                     answers with End; outside a job it is
//                                     ignored)
//
// `auth` is how the job signs in, for that job only:
//   u8 method (0 anonymous, 1 account, 2 Kerberos ticket), text domain,
//   text user, text password (the three texts empty unless method is 1).
// Each job makes exactly one sign-in attempt; the program chooses the order.
// Both sides wipe the bytes of a frame that carried a password once done.
//
// An unknown job kind is answered with End{kStatusOther}.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace ormix::smbproto {

constexpr uint32_t kProtocolVersion = 3;
// Far above any real record: the longest SMB path (32,767 UTF-16 units),
// percent-encoded, fits a CopyFile job several times over.
constexpr uint32_t kMaxFrame = 1u << 20;

// Bounds on what a server may make the program hold. No real server comes
// near them: share names have at most 80 characters and remarks 256, file
// names 255 (each character up to 4 bytes of UTF-8).
constexpr size_t kMaxSharesPerHost = 10000;
constexpr size_t kMaxShareNameBytes = 1024;
constexpr size_t kMaxRemarkBytes = 1024;
constexpr size_t kMaxEntryNameBytes = 1024;
// Folder levels below a share's root that a walk lists.
constexpr int kMaxWalkDepth = 256;

enum class Kind : uint8_t {
    Hello = 'H',      // helper -> program, once at start: u32 version
    ListShares = 'L', // job: text host (an IPv4 address)
    WalkShare = 'W',  // job: text smb:// URL of a share or folder
    CopyFile = 'C',   // job: text smb:// URL, text local path
    Stop = 'X',       // program -> helper: end the running walk or copy
    Share = 'S',      // record: text name, text comment
    Entry = 'F',      // record: u8 what, text name, u64 size, u64 mtime
    Target = 'T',     // record: text local path the copy writes to
    Progress = 'P',   // record: u64 done, u64 total
    End = 'E',        // end of a job: i32 status
};

// Share statuses (the numbers keep their LAN Manager meaning).
constexpr int32_t kStatusOk = 0;
constexpr int32_t kStatusAccessDenied = 5;
constexpr int32_t kStatusPathNotFound = 53;
constexpr int32_t kStatusOther = 59;

enum class AuthMethod : uint8_t { Anonymous = 0, Account = 1, Kerberos = 2 };

// How one job signs in. The destructor wipes the password.
struct JobAuth {
    AuthMethod method = AuthMethod::Anonymous;
    std::string domain;
    std::string user;
    std::string password;

    JobAuth() = default;
    JobAuth(AuthMethod m, std::string d, std::string u, std::string p)
        : method(m), domain(std::move(d)), user(std::move(u)), password(std::move(p)) {}
    JobAuth(const JobAuth&) = default;
    JobAuth& operator=(const JobAuth&);
    ~JobAuth();
};

// Overwrites the bytes of s (the compiler may not drop it) and empties it.
void wipe(std::string& s);

// The only place an errno from libsmbclient becomes a status.
int32_t statusFromErrno(int err);

// The largest length <= max at which text can be cut without splitting a
// UTF-8 sequence.
size_t utf8Boundary(std::string_view text, size_t max);

// The name a copy takes when `path` is taken: "dir/name.ext" -> "dir/name
// (n).ext"; a name without extension (or one that starts with its only dot)
// gets " (n)" at the end.
std::string numberedName(const std::string& path, int n);

// Builds one frame: the length prefix is filled in by finish().
class FrameWriter {
public:
    explicit FrameWriter(Kind kind);
    FrameWriter& u8(uint8_t v);
    FrameWriter& u32(uint32_t v);
    FrameWriter& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    FrameWriter& u64(uint64_t v);
    FrameWriter& text(std::string_view s);
    FrameWriter& auth(const JobAuth& a);
    // The whole frame, prefix included. Empty when the body would exceed kMaxFrame.
    std::string finish() const;
    ~FrameWriter() {
        if (secret_)
            wipe(buf_);
    }

private:
    std::string buf_;
    bool secret_ = false;
};

// Reads the fields of one frame body. Every getter returns false once the body
// is exhausted; done() is true only when every byte was consumed without error.
class FrameReader {
public:
    // The reader keeps a view: body must outlive it.
    explicit FrameReader(std::string_view body);
    explicit FrameReader(std::string&&) = delete;
    Kind kind() const { return kind_; }
    bool u8(uint8_t& v);
    bool u32(uint32_t& v);
    bool i32(int32_t& v);
    bool u64(uint64_t& v);
    bool text(std::string& s);
    // False on a method number that is not one of AuthMethod.
    bool auth(JobAuth& a);
    bool done() const { return ok_ && pos_ == body_.size(); }
    bool ok() const { return ok_; }

private:
    bool take(size_t n, const char*& p);
    std::string_view body_;
    size_t pos_ = 1;
    Kind kind_{};
    bool ok_ = true;
};

// Splits a byte stream into frame bodies.
class FrameSplitter {
public:
    void feed(const char* data, size_t n) { pending_.append(data, n); }
    enum class Result { Frame, NeedMore, Bad };
    // On Frame, body holds the next body (kind byte first).
    Result next(std::string& body);
    // Overwrites the bytes already handed out by next() (they may hold a password).
    void wipeConsumed();

private:
    std::string pending_;
    size_t start_ = 0;
};

} // namespace ormix::smbproto
