// A host for tests: records every message, every request to end the
// application and the state of both timers.
#pragma once

#include <string>
#include <vector>

#include "acquisition/Host.h"

namespace varmolen {

class RecordingHost : public Host {
public:
    struct Message {
        std::string text;
        std::string caption;
    };

    void showMessage(const std::string& text, const std::string& caption) override
    {
        messages.push_back({text, caption});
    }
    void endApplication() override { ++endRequests; }
    void enableTimer(TimerId timer, bool enabled) override
    {
        (timer == TimerId::StartTimer ? startTimer : timeoutTimer) = enabled;
        if (enabled && timer == TimerId::TimeoutTimer)
            ++timeoutStarts;  // enabling a timer restarts its interval
    }
    bool timerEnabled(TimerId timer) const override { return timer == TimerId::StartTimer ? startTimer : timeoutTimer; }
    void pauseMs(int milliseconds) override { pausedMs += milliseconds; }
    int eventLoopDepth() const override { return loopDepth; }

    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const Message& m : messages)
            out.push_back(m.text);
        return out;
    }

    std::vector<Message> messages;
    int endRequests = 0;
    bool startTimer = false;
    bool timeoutTimer = false;
    int pausedMs = 0;
    int timeoutStarts = 0;
    int loopDepth = 1;  // a test stands in for a modal loop by raising it
};

}  // namespace varmolen
