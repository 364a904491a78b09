// A capture source whose read never comes back by itself, as a driver stuck
// in its own wait does: it either waits on something nobody signals or
// spins. Tests let it go at the end, to see that the abandoned capture thread
// then ends and releases its source without touching what it outlived.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "audio/CaptureSource.h"

namespace varmolen::test {

struct StuckDriver {
    std::mutex m;
    std::condition_variable cv;
    bool released = false;
    std::atomic<bool> inRead{false};
    std::atomic<int> opened{0};  // sources opened on this driver
    std::atomic<int> closed{0};  // sources closed again
    long framesOnRelease = 0;    // what the read that is let go returns
    void release()
    {
        std::lock_guard lock(m);
        released = true;
        cv.notify_all();
    }
};

class StuckSource : public CaptureSource {
public:
    StuckSource(std::shared_ptr<StuckDriver> d, bool spins) : d_(std::move(d)), spins_(spins) {}
    MMRESULT query(const WAVEFORMATEX&) override { return MMSYSERR_NOERROR; }
    MMRESULT open(const WAVEFORMATEX&) override
    {
        ++d_->opened;
        return MMSYSERR_NOERROR;
    }
    bool start() override { return true; }
    long read(void*, std::size_t, int) override
    {
        d_->inRead = true;
        if (spins_) {
            for (;;) {
                std::lock_guard lock(d_->m);
                if (d_->released)
                    break;
            }
        } else {
            std::unique_lock lock(d_->m);
            d_->cv.wait(lock, [&] { return d_->released; });
        }
        return d_->framesOnRelease;
    }
    void stop() override {}
    void close() override { ++d_->closed; }

private:
    std::shared_ptr<StuckDriver> d_;
    bool spins_;
};

}  // namespace varmolen::test
