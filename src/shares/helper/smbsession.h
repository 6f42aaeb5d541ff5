// The helper's one libsmbclient context and the jobs that use it. Lives only
// in the ormix-smb executable.
#pragma once

#include "shares/smbproto.h"

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

    // Lists the shares of host (an IPv4 address) in the server's order, signed
    // in as the job says (one attempt). Returns the share status.
    int32_t listShares(const std::string& host, const smbproto::JobAuth& auth, const ShareSink& sink);

    // Every job runs between beginJob and endJob: the credentials are the
    // job's only, and endJob wipes them and drops every server connection,
    // so the next job signs in afresh. False when the job cannot be served
    // (no context, or a Kerberos attempt without a ticket): answer 5 or 59
    // as status() says.
    bool beginJob(const smbproto::JobAuth& auth, int32_t& status);
    void endJob();

    // Read by the authentication callback.
    const smbproto::JobAuth& auth() const { return auth_; }

    // For the other jobs of the helper (searchjobs.cpp): the one context, null
    // when it could not be set up.
    _SMBCCTX* context() const { return ctx_; }

private:
    _SMBCCTX* ctx_ = nullptr;
    smbproto::JobAuth auth_;
};

// True when a Kerberos credential cache is likely to exist for this user.
bool haveKerberosTicket();

} // namespace ormix::smbhelper
