// The helper's one libsmbclient context and the jobs that use it. Lives only
// in the ormix-smb executable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct _SMBCCTX;

namespace ormix::smbhelper {

// Called once per share; returning false ends the listing (the program is gone).
using ShareSink = std::function<bool(const std::string& name, const std::string& comment)>;

class SmbSession {
public:
    // libsmbclient's own timeout for every network operation.
    static constexpr int kTimeoutMs = 4000;

    SmbSession();
    ~SmbSession();
    SmbSession(const SmbSession&) = delete;
    SmbSession& operator=(const SmbSession&) = delete;

    // Lists the shares of host (an IPv4 address) in the server's order:
    // anonymously first, then with the user's Kerberos ticket when there is
    // one and the anonymous attempt was refused. Returns the share status.
    int32_t listShares(const std::string& host, const ShareSink& sink);

    // Whether the current attempt authenticates with Kerberos (read by the
    // authentication callback).
    bool kerberos() const { return kerberos_; }

    // For the other jobs of the helper (searchjobs.cpp): the one context, null
    // when it could not be set up, and the switch of the second attempt.
    _SMBCCTX* context() const { return ctx_; }
    void useKerberos(bool on);

private:
    int32_t listOnce(const std::string& url, const ShareSink& sink, bool& sinkFailed);

    _SMBCCTX* ctx_ = nullptr;
    bool kerberos_ = false;
};

// True when a Kerberos credential cache is likely to exist for this user.
bool haveKerberosTicket();

} // namespace ormix::smbhelper
