// Share enumeration of one computer: exclusion and the HostInfo it fills.
#include "shares/sharelist.h"

#include "platform/displaytext.h"

#include <QString>

namespace ormix {

void HostInfo::addShare(std::string path, std::string remark) {
    Shares.push_back({std::move(path), std::move(remark)});
    ShareCount = static_cast<int32_t>(Shares.size());
}

void HostInfo::clearShares() {
    Shares.clear();
    ShareCount = 0;
}

ShareLister poolLister(SmbHelperPool& pool, SignIn& signIn) {
    return [&pool, &signIn](const std::string& ip) {
        ShareListing listing;
        listing.status = signIn.run(ip, [&](const smbproto::JobAuth& auth) {
            listing = pool.listShares(ip, auth);
            return listing.status;
        });
        return listing;
    };
}

bool sameShareName(const std::string& a, const std::string& b) {
    return QString::compare(QString::fromStdString(a), QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

bool isExcludedShare(const std::string& name, const std::vector<std::string>& excluded) {
    for (const auto& x : excluded) {
        if (sameShareName(name, x))
            return true;
    }
    return false;
}

std::string shareEnumerateErrorLine(int32_t status, const std::string& server) {
    return "Share Enumerate Error #" + std::to_string(status) + " (host " + server + ")";
}

bool isSharePathName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("\\/\0", 3)) == std::string::npos;
}

int32_t EnumerateShares(HostInfo& host, const std::vector<std::string>& excluded, const ShareLister& lister,
                        const LogFn& log) {
    const std::string server = "\\\\" + host.Ip;
    ShareListing listing = lister(host.Ip);
    for (auto& share : listing.shares) {
        if (!isSharePathName(share.name)) {
            if (log)
                log("Share name ignored, not a share path: \"" + displayText(share.name) + "\" (host " +
                    server + ")");
            continue;
        }
        if (!isExcludedShare(share.name, excluded))
            host.addShare(server + "\\" + share.name, std::move(share.comment));
    }
    if (listing.sharesLeftOut > 0 && log)
        log("Share list cut: " + std::to_string(listing.sharesLeftOut) + " shares left out (at most " +
            std::to_string(smbproto::kMaxSharesPerHost) + " per host, names up to " +
            std::to_string(smbproto::kMaxShareNameBytes) + " bytes) (host " + server + ")");
    if (listing.remarksCut > 0 && log)
        log("Share remarks cut to " + std::to_string(smbproto::kMaxRemarkBytes) +
            " bytes: " + std::to_string(listing.remarksCut) + " (host " + server + ")");
    if (listing.status != smbproto::kStatusOk && log)
        log(shareEnumerateErrorLine(listing.status, server));
    return listing.status;
}

} // namespace ormix
