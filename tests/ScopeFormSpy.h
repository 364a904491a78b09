// The main window as tests and tools run it: a host that keeps every message
// (and shows none while told to record only), the pauses asked for and the
// requests to end; and a window that counts the starts and stops through
// its handlers, the display passes of new blocks and the runs of its
// teardown. The product keeps none of this.
#pragma once

#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "window/QtHost.h"
#include "window/Varmolen2.h"

namespace varmolen::test {

class SpyHost : public QtHost {
public:
    void endApplication() override
    {
        ++endRequests_;
        QtHost::endApplication();
    }
    void pauseMs(int milliseconds) override
    {
        pauses_.push_back(milliseconds);
        QtHost::pauseMs(milliseconds);
    }

    // The boxes shown are kept, and not shown while told to record only,
    // where a box would wait for a click nobody gives. A message redirected
    // (a remote command's) is no box and is not kept.
    void setRecordOnly(bool recordOnly) { recordOnly_ = recordOnly; }
    const std::vector<std::pair<std::string, std::string>>& recordedMessages() const { return recorded_; }
    int endRequests() const { return endRequests_; }
    // The pauses asked for so far, in milliseconds, in order, and their sum.
    const std::vector<int>& pauses() const { return pauses_; }
    long long pausedMs() const { return std::accumulate(pauses_.begin(), pauses_.end(), 0LL); }

protected:
    void showBox(const std::string& text, const std::string& caption) override
    {
        recorded_.emplace_back(text, caption);
        if (!recordOnly_)
            QtHost::showBox(text, caption);
    }

private:
    bool recordOnly_ = false;
    std::vector<std::pair<std::string, std::string>> recorded_;
    int endRequests_ = 0;
    std::vector<int> pauses_;
};

class SpyScopeForm : public TScopeForm {
public:
    // The settings are applied with the counters already in force.
    explicit SpyScopeForm(WaveInput& waveInput) : TScopeForm(waveInput, std::make_unique<SpyHost>(), nullptr)
    {
        finishCreate();
    }
    // The teardown runs here, while the spy can still see it; the window's
    // own destructor then finds it done.
    ~SpyScopeForm() override { FormDestroy(); }

    SpyHost& host() { return static_cast<SpyHost&>(TScopeForm::host()); }

    void StartBtnClick(QObject* sender) override
    {
        ++startRuns_;
        TScopeForm::StartBtnClick(sender);
    }
    void StopBtnClick(QObject* sender) override
    {
        ++stopRuns_;
        TScopeForm::StopBtnClick(sender);
    }
    void FormDestroy() override
    {
        const bool before = formDestroyed();
        TScopeForm::FormDestroy();
        if (!before && formDestroyed() && destroyObserver_)
            destroyObserver_();
    }

    // How often acquisition was started and stopped through the handlers
    // (whether or not a run was active).
    int startRuns() const { return startRuns_; }
    int stopRuns() const { return stopRuns_; }
    // Display passes of new blocks drawn so far.
    int displayPasses() const { return displayPasses_; }
    // Called when FormDestroy has done its work.
    void setDestroyObserver(std::function<void()> observer) { destroyObserver_ = std::move(observer); }

protected:
    void displayPass() override
    {
        ++displayPasses_;
        TScopeForm::displayPass();
    }

private:
    int startRuns_ = 0;
    int stopRuns_ = 0;
    int displayPasses_ = 0;
    std::function<void()> destroyObserver_;
};

}  // namespace varmolen::test
