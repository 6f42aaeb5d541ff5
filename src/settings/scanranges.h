// The list of range texts the scanner walks. The settings loader replaces the
// whole list at once; a reader takes a snapshot and keeps it for as long as it
// likes, so a scan sees the list wholly from before or wholly from after a
// save. Tests: tests/settings/setupform_test.cpp.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace ormix {

class ScanRangeList {
public:
    using Snapshot = std::shared_ptr<const std::vector<std::string>>;

    Snapshot Get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return list_;
    }

    void Replace(std::vector<std::string> ranges) {
        auto fresh = std::make_shared<const std::vector<std::string>>(std::move(ranges));
        std::lock_guard<std::mutex> lock(mutex_);
        list_ = std::move(fresh);
    }

private:
    mutable std::mutex mutex_;
    Snapshot list_ = std::make_shared<const std::vector<std::string>>();
};

} // namespace ormix
