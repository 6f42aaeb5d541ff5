// One real smbd in a network namespace of its own, serving folders that a test
// fills, for the search tests that talk to the SMB helper. The calling thread
// is moved into the namespace, so helpers it (or threads it starts) spawn
// reach the server on loopback; nothing leaves the machine.
#pragma once

#include "fixtures/netns.h"

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace ormix::testing {

class SmbdShare {
public:
    static constexpr const char* kAddress = "127.0.0.31";

    SmbdShare();
    ~SmbdShare();

    // Empty when smbd cannot run here; otherwise the reason, for GTEST_SKIP.
    static std::string unavailableReason();

    // A fresh folder under the fixture's own temporary folder.
    std::string folder(const std::string& name);
    // Starts smbd with one guest share per (name, folder); false with error set.
    bool start(const std::vector<std::pair<std::string, std::string>>& shares, std::string& error);

    // "\\127.0.0.31\name"
    static std::string share(const std::string& name) { return std::string("\\\\") + kAddress + "\\" + name; }
    const std::string& namespaceName() const { return ns_.name(); }
    const std::string& root() const { return root_; }

private:
    NetNamespace ns_;
    std::string root_;
    pid_t smbd_ = -1;
};

} // namespace ormix::testing
