// Copying a found file to a local folder. The production copier runs the SMB
// helper's copy job; tests plug in their own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ormix {

struct CopyResult {
    int32_t status = 0; // 0 done; otherwise the helper's status number
    bool cancelled = false;
    std::string finalPath; // where the file went (a free name when the target existed)
};

class FileCopier {
public:
    virtual ~FileCopier() = default;
    // Blocks until the copy ends. progress(done, total) runs on the calling
    // thread; returning false from it cancels the copy (the partial file is removed).
    virtual CopyResult Copy(const std::string& uncPath, const std::string& localPath,
                            const std::function<bool(uint64_t done, uint64_t total)>& progress) = 0;
};

} // namespace ormix
