// Helpers of the scan control and tree tests: a share lister that holds its
// callers until the test lets them go, and a main window whose scanner is the
// test itself.
#pragma once

#include "shell_test_util.h"

#include "gui/app.h"
#include "gui/computerlistwindow.h"
#include "gui/scansession.h"
#include "gui/searchwindow.h"

#include <QPlainTextEdit>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ormix::test {

// Lists shares from a table; every call waits until released (or passes at
// once while open). Thread-safe.
class GatedLister {
public:
    std::map<std::string, std::vector<std::string>> shares; // by IP; fill before use

    ShareLister lister() {
        return [this](const std::string& ip) {
            std::unique_lock lock(mutex_);
            ++calls_;
            changed_.notify_all();
            changed_.wait(lock, [&] { return open_ || permits_ > 0; });
            if (!open_)
                --permits_;
            ShareListing listing;
            const auto it = shares.find(ip);
            if (it != shares.end())
                for (const std::string& name : it->second)
                    listing.shares.push_back({name, "remark of " + name});
            return listing;
        };
    }
    int calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void release(int n) {
        std::lock_guard lock(mutex_);
        permits_ += n;
        changed_.notify_all();
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int calls_ = 0;
    int permits_ = 0;
    bool open_ = false;
};

// A main window with the computer list and search windows beside it, whose
// scans are driven by the test through the observer the window hands out.
class ScanHarness : public InTempFolder {
protected:
    void SetUp() override {
        InTempFolder::SetUp();
        dlg = std::make_unique<TestMainDlg>();
        dlg->ShowMessage = [this](const QString& text) { messages.append(text); };
        dlg->Session().Lister = lister.lister();
        dlg->Session().LaunchScanner = [this](ScanOptions options, std::shared_ptr<ScanObserver> obs) {
            launched.push_back(options);
            observer = std::move(obs);
        };
        ASSERT_TRUE(dlg->State().loadComputerList());
        computers = std::make_unique<ComputerListWindow>(dlg->State().computers());
        computers->ShowMessage = [this](const QString& text) { messages.append(text); };
        search = std::make_unique<SearchWindow>(dlg->ConfigFile);
        ProgramWindows windows;
        windows.main = dlg.get();
        windows.computers = computers.get();
        windows.search = search.get();
        ConnectWindows(windows);
    }
    void TearDown() override {
        // Workers still waiting in the lister must end before the window goes.
        lister.open();
        EXPECT_TRUE(waitFor([&] { return dlg->Session().ActiveWorkers <= 0; }, 10000));
        QCoreApplication::processEvents();
        search.reset();
        computers.reset();
        dlg.reset();
        InTempFolder::TearDown();
    }

    void shareCounting(bool on, bool emptyHidden = false, bool grouped = false) {
        dlg->editSettings([&](AppSettings& s) {
            s.showShareCount = on;
            s.hideEmptyHosts = emptyHidden;
            s.groupByWorkgroup = grouped;
        });
    }
    static HostTexts host(const std::string& name, const std::string& ip, const std::string& workgroup = "WG",
                          const std::string& mac = "00-11-22-33-44-55") {
        HostTexts h;
        h.name = name;
        h.ip = ip;
        h.mac = mac;
        h.workgroup = workgroup;
        return h;
    }
    // The search window's share list in its text form.
    static QStringList shareTexts(const std::vector<ScannedShare>& shares) {
        QStringList texts;
        for (const ScannedShare& share : shares)
            texts << QString::fromStdString(ScannedShareText(share));
        return texts;
    }
    QString lastLogLine() const {
        const QStringList lines = dlg->IpMemo->toPlainText().split('\n');
        return lines.isEmpty() ? QString() : lines.last();
    }

    GatedLister lister;
    std::unique_ptr<TestMainDlg> dlg;
    std::unique_ptr<ComputerListWindow> computers;
    std::unique_ptr<SearchWindow> search;
    std::vector<ScanOptions> launched;
    std::shared_ptr<ScanObserver> observer;
    QStringList messages;
};

} // namespace ormix::test
