// A ProgramLauncher for tests: records every call instead of starting anything.
// Use with ormix::ScopedLauncher.
#pragma once

#include "platform/launcher.h"

#include <mutex>
#include <vector>

namespace ormix::testing {

class RecordingLauncher : public ProgramLauncher {
public:
    struct Call {
        bool detached;
        QString program;
        QStringList arguments;
        int timeoutMs;
    };

    bool startDetached(const QString& program, const QStringList& arguments) override {
        std::lock_guard guard(lock_);
        calls_.push_back({true, program, arguments, 0});
        return detachedResult;
    }
    RunResult run(const QString& program, const QStringList& arguments, int timeoutMs) override {
        std::lock_guard guard(lock_);
        calls_.push_back({false, program, arguments, timeoutMs});
        return runResult;
    }
    std::vector<Call> calls() const {
        std::lock_guard guard(lock_);
        return calls_;
    }

    // What the fake answers; set before use.
    bool detachedResult = true;
    RunResult runResult{RunResult::Status::Exited, 0, {}, {}};

private:
    mutable std::mutex lock_;
    std::vector<Call> calls_;
};

} // namespace ormix::testing
