// What the toolkit-free core needs of its surroundings: showing a modal
// message, ending the application, the two 250 ms timers and a short pause.
// The Qt host in the window does the real thing; tests record the calls.
#pragma once

#include <string>

namespace varmolen {

enum class TimerId { StartTimer, TimeoutTimer };

class Host {
public:
    virtual ~Host() = default;

    // A modal message box owned by the main window with one OK button;
    // returns once the user has confirmed it.
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;

    // Tell the application to end once the running handlers have returned.
    virtual void endApplication() = 0;

    virtual void enableTimer(TimerId timer, bool enabled) = 0;
    virtual bool timerEnabled(TimerId timer) const = 0;

    // Block the user-interface thread for a short, documented pause.
    virtual void pauseMs(int milliseconds) = 0;

    // How many event loops are serving events now, the application's own
    // included: a modal dialog or message box serves them in one more.
    virtual int eventLoopDepth() const = 0;
};

}  // namespace varmolen
