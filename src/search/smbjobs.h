// The search's use of the SMB helpers: a ShareWalker on the helper's walk job
// and a FileCopier on its copy job. Any thread may use them.
// Tests: tests/search/smbsearch_test.cpp.
#pragma once

#include "search/filecopy.h"
#include "search/sharewalk.h"
#include "shares/smbproto.h"

#include <chrono>
#include <memory>

namespace ormix {

class SmbHelperPool;
class SignIn;
SignIn& processSignIn();

// The longest a job may go without a record before its helper counts as hung.
inline constexpr std::chrono::seconds kSearchRecordGap{60};

class HelperShareWalker : public ShareWalker {
public:
    explicit HelperShareWalker(SmbHelperPool& pool, SignIn& signIn = processSignIn())
        : pool_(pool), signIn_(signIn) {}
    // Null when no helper could be started or no way of signing in opened the
    // share (the share then reads as empty).
    std::unique_ptr<ShareWalk> Open(const std::string& rootPath) override;

private:
    SmbHelperPool& pool_;
    SignIn& signIn_;
};

class HelperFileCopier : public FileCopier {
public:
    explicit HelperFileCopier(SmbHelperPool& pool, SignIn& signIn = processSignIn())
        : pool_(pool), signIn_(signIn) {}
    CopyResult Copy(const std::string& uncPath, const std::string& localPath,
                    const std::function<bool(uint64_t, uint64_t)>& progress) override;

private:
    CopyResult CopyOnce(const std::string& url, const std::string& localPath, const smbproto::JobAuth& auth,
                        const std::function<bool(uint64_t, uint64_t)>& progress);
    SmbHelperPool& pool_;
    SignIn& signIn_;
};

// Both on the program's one helper pool.
std::unique_ptr<ShareWalker> MakeHelperShareWalker();
std::unique_ptr<FileCopier> MakeHelperFileCopier();

} // namespace ormix
