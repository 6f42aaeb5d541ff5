// libsmbclient glue of the SMB helper: one context, signed in per job as the
// program says, errno to status through smbproto::statusFromErrno.
#include "shares/helper/smbsession.h"

#include "shares/smbproto.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <libsmbclient.h>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace ormix::smbhelper {

namespace {

void copyField(char* dst, int len, const char* src) {
    if (len <= 0)
        return;
    std::strncpy(dst, src, static_cast<size_t>(len) - 1);
    dst[len - 1] = '\0';
}

std::string loginName() {
    if (const passwd* pw = ::getpwuid(::getuid()))
        return pw->pw_name;
    return {};
}

void authenticate(SMBCCTX* c, const char*, const char*, char* wg, int wglen, char* un, int unlen, char* pw,
                  int pwlen) {
    const auto* self = static_cast<const SmbSession*>(smbc_getOptionUserData(c));
    using smbproto::AuthMethod;
    const AuthMethod method = self ? self->auth().method : AuthMethod::Anonymous;
    if (method == AuthMethod::Account) {
        const smbproto::JobAuth& a = self->auth();
        (void)wg;
        (void)wglen;
        copyField(un, unlen, (a.domain.empty() ? a.user : a.domain + "\\" + a.user).c_str());
        copyField(pw, pwlen, a.password.c_str());
        return;
    }
    // An empty user and password is an anonymous session; with Kerberos the
    // ticket in the credential cache does the work and the name only has to match it.
    copyField(un, unlen, method == AuthMethod::Kerberos ? loginName().c_str() : "");
    copyField(pw, pwlen, "");
}

} // namespace

bool haveKerberosTicket() {
    std::string cache;
    if (const char* env = std::getenv("KRB5CCNAME"); env && *env) {
        std::string_view v = env;
        if (v.rfind("FILE:", 0) == 0)
            cache = std::string(v.substr(5));
        else if (v.find(':') != std::string_view::npos)
            return true; // keyring, KCM and the like: we cannot tell cheaply, let libsmbclient try
        else
            cache = std::string(v);
    } else {
        cache = "/tmp/krb5cc_" + std::to_string(::getuid());
    }
    struct stat st;
    return ::stat(cache.c_str(), &st) == 0 && st.st_size > 0;
}

SmbSession::SmbSession() {
    ctx_ = smbc_new_context();
    if (!ctx_)
        return;
    smbc_setDebug(ctx_, 0);
    smbc_setOptionDebugToStderr(ctx_, 1);
    smbc_setTimeout(ctx_, kTimeoutMs);
    smbc_setOptionUserData(ctx_, this);
    smbc_setFunctionAuthDataWithContext(ctx_, authenticate);
    smbc_setOptionUseKerberos(ctx_, 0);
    smbc_setOptionFallbackAfterKerberos(ctx_, 0);
    if (!smbc_init_context(ctx_)) {
        smbc_free_context(ctx_, 1);
        ctx_ = nullptr;
    }
}

SmbSession::~SmbSession() {
    if (ctx_)
        smbc_free_context(ctx_, 1);
}

bool SmbSession::beginJob(const smbproto::JobAuth& auth, int32_t& status) {
    if (!ctx_) {
        status = smbproto::kStatusOther;
        return false;
    }
    const bool kerberos = auth.method == smbproto::AuthMethod::Kerberos;
    if (kerberos && !haveKerberosTicket()) {
        status = smbproto::kStatusAccessDenied;
        return false;
    }
    auth_ = auth;
    smbc_setOptionUseKerberos(ctx_, kerberos);
    smbc_setOptionUseCCache(ctx_, kerberos);
    // A refused account must come back as refused, not quietly become an
    // anonymous session (which would also hide a wrong password).
    smbc_setOptionNoAutoAnonymousLogin(ctx_, auth.method != smbproto::AuthMethod::Anonymous);
    return true;
}

void SmbSession::endJob() {
    if (!ctx_)
        return;
    // One helper serves many hosts and accounts: keep no connection open
    // between jobs, and nothing of this job's credentials.
    smbc_getFunctionPurgeCachedServers(ctx_)(ctx_);
    smbproto::wipe(auth_.password);
    smbproto::wipe(auth_.user);
    smbproto::wipe(auth_.domain);
    auth_.method = smbproto::AuthMethod::Anonymous;
    smbc_setOptionUseKerberos(ctx_, 0);
    smbc_setOptionUseCCache(ctx_, 0);
    smbc_setOptionNoAutoAnonymousLogin(ctx_, 0);
}

int32_t SmbSession::listShares(const std::string& host, const smbproto::JobAuth& auth,
                               const ShareSink& sink) {
    int32_t status = smbproto::kStatusOk;
    if (!beginJob(auth, status))
        return status;
    const std::string url = "smb://" + host + "/";
    errno = 0;
    SMBCFILE* dir = smbc_getFunctionOpendir(ctx_)(ctx_, url.c_str());
    if (!dir) {
        const int err = errno;
        endJob();
        return smbproto::statusFromErrno(err ? err : EIO);
    }
    auto readdir = smbc_getFunctionReaddir(ctx_);
    while (const smbc_dirent* e = readdir(ctx_, dir)) {
        const std::string name(e->name, e->namelen);
        const std::string comment = e->comment ? std::string(e->comment, e->commentlen) : std::string();
        if (!sink(name, comment))
            break; // the program is gone
    }
    smbc_getFunctionClosedir(ctx_)(ctx_, dir);
    endJob();
    return smbproto::kStatusOk;
}

} // namespace ormix::smbhelper
