// The user-interface thread of a test that records from a real device: the
// device's notifications hop here and step the run loop, and the timeout
// timer is played as the window's event loop plays it (it fires once 250 ms
// pass without a restart).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "acquisition/AcquisitionLoop.h"
#include "audio/RecordingHost.h"
#include "audio/WaveInput.h"

namespace varmolen::test {

class EventPump {
public:
    explicit EventPump(WaveInput& input)
    {
        input.setNotifier([this] {
            {
                std::lock_guard lock(m_);
                pending_ = true;
            }
            cv_.notify_one();
        });
    }

    // Steps `loop` until it stops, `done()` holds or the deadline passes.
    template <typename Done>
    void run(AcquisitionLoop& loop, const RecordingHost& host, std::chrono::steady_clock::time_point deadline,
             Done done)
    {
        auto timeoutSince = std::chrono::steady_clock::now();
        int timeoutStarts = host.timeoutStarts;
        while (!done() && loop.running() && std::chrono::steady_clock::now() < deadline) {
            std::unique_lock lock(m_);
            cv_.wait_for(lock, std::chrono::milliseconds(10), [&] { return pending_; });
            const bool notified = pending_;
            pending_ = false;
            lock.unlock();
            if (notified)
                loop.onDeviceNotification();
            if (!host.timeoutTimer || host.timeoutStarts != timeoutStarts) {
                timeoutStarts = host.timeoutStarts;
                timeoutSince = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - timeoutSince > std::chrono::milliseconds(250)) {
                loop.TimeoutTimerTimer();
            }
        }
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool pending_ = false;
};

}  // namespace varmolen::test
