// The search's use of the SMB helpers: a ShareWalker on the helper's walk job
// and a FileCopier on its copy job. Any thread may use them.
// Tests: tests/search/smbsearch_test.cpp.
#pragma once

#include "search/filecopy.h"
#include "search/sharewalk.h"

#include <chrono>
#include <memory>

namespace ormix {

class SmbHelperPool;

// The longest a job may go without a record before its helper counts as hung.
inline constexpr std::chrono::seconds kSearchRecordGap{60};

class HelperShareWalker : public ShareWalker {
public:
    explicit HelperShareWalker(SmbHelperPool& pool) : pool_(pool) {}
    // Null when no helper could be started (the share then reads as empty).
    std::unique_ptr<ShareWalk> Open(const std::string& rootPath) override;

private:
    SmbHelperPool& pool_;
};

class HelperFileCopier : public FileCopier {
public:
    explicit HelperFileCopier(SmbHelperPool& pool) : pool_(pool) {}
    CopyResult Copy(const std::string& uncPath, const std::string& localPath,
                    const std::function<bool(uint64_t, uint64_t)>& progress) override;

private:
    SmbHelperPool& pool_;
};

// Both on the program's one helper pool.
std::unique_ptr<ShareWalker> MakeHelperShareWalker();
std::unique_ptr<FileCopier> MakeHelperFileCopier();

} // namespace ormix
