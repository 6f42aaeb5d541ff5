// Share enumeration of one computer: exclusion and the HOSTINF it fills.
#include "shares/sharelist.h"

#include <QString>

namespace ormix {

void HOSTINF::addShare(std::string path, std::string remark) {
    Shares.push_back({std::move(path), std::move(remark)});
    ShareCount = static_cast<int32_t>(Shares.size());
}

void HOSTINF::clearShares() {
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

int32_t EnumerateShares(HOSTINF& host, const std::vector<std::string>& excluded, const ShareLister& lister,
                        const LogFn& log) {
    const std::string server = "\\\\" + host.Ip;
    ShareListing listing = lister(host.Ip);
    for (auto& share : listing.shares) {
        if (!isExcludedShare(share.name, excluded))
            host.addShare(server + "\\" + share.name, std::move(share.comment));
    }
    if (listing.status != smbproto::kStatusOk && log)
        log(shareEnumerateErrorLine(listing.status, server));
    return listing.status;
}

} // namespace ormix
