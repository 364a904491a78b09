// Output devices for the signal generator's window tests: they take frames
// in real time into memory, and "broken" fails after a few writes, as an
// unplugged card does.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/CaptureSource.h"
#include "audio/SignalPlayer.h"

namespace varmolen::test {

struct Outputs {
    std::atomic<int> opened{0}, writes{0};
    std::atomic<unsigned> rate{0};
    std::atomic<int> peak{0};         // the largest code written since the last look
    std::atomic<bool> prompt{false};  // what the last device opened was asked for
    // The left channel's rising swings through +-kSwing and the frames
    // written since the last restartTone: the tone's frequency.
    static constexpr int kSwing = 8;
    std::atomic<long> rises{0}, frames{0};
    std::atomic<int> sign{0};
    // With `keep`, every left-channel code written, in order: what a
    // loopback cable would bring back.
    std::atomic<bool> keep{false};
    std::mutex keptLock;
    std::vector<std::int16_t> kept;
    std::size_t keptCount()
    {
        const std::lock_guard lock(keptLock);
        return kept.size();
    }
    void restartTone()
    {
        rises = 0;
        frames = 0;
    }
    double toneHz() const { return frames > 0 ? static_cast<double>(rises) * rate / static_cast<double>(frames) : 0.0; }
    PlaybackService service()
    {
        return {[] {
                    return std::vector<PlaybackDevice>{{"default", "Default output"}, {"broken", "Broken card"}};
                },
                [this](const std::string& name) { return std::make_unique<Sink>(*this, name == "broken"); }};
    }
    struct Sink : PlaybackSink {
        Sink(Outputs& o, bool broken) : o_(o), broken_(broken) {}
        void preferPrompt(bool prompt) override { o_.prompt = prompt; }
        int open(unsigned rate, std::string&) override
        {
            ++o_.opened;
            o_.rate = rate;
            return 16;
        }
        long write(const std::int32_t* codes, std::size_t frames, int wakeFd) override
        {
            if (broken_ && ++o_.writes > 3)
                return -1;
            if (waitReadable(wakeFd, 2))
                return 0;
            for (std::size_t i = 0; i < 2 * frames; ++i)
                o_.peak = std::max(o_.peak.load(), std::abs(codes[i]));
            for (std::size_t i = 0; i < frames; ++i) {
                const std::int32_t left = codes[2 * i];
                if (left > kSwing && o_.sign < 0)
                    ++o_.rises;
                if (left > kSwing || left < -kSwing)
                    o_.sign = left > 0 ? 1 : -1;
            }
            if (o_.keep) {
                const std::lock_guard lock(o_.keptLock);
                for (std::size_t i = 0; i < frames; ++i)
                    o_.kept.push_back(static_cast<std::int16_t>(codes[2 * i]));
            }
            o_.frames += static_cast<long>(frames);
            return static_cast<long>(frames);
        }
        void close() override {}
        Outputs& o_;
        bool broken_;
    };
};

}  // namespace varmolen::test
