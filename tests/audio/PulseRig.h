// A private PulseAudio server started through tests/audio/pulse_rig.sh for
// the length of a test; the process's XDG_RUNTIME_DIR and HOME point at it,
// so ALSA's default device reaches it through the pulse plugin.
#pragma once

#include <cstdlib>
#include <string>

namespace varmolen::test {

class PulseRig {
public:
    // `words`: what follows "start DIR" (the rig's SYNTH words or mode).
    explicit PulseRig(const std::string& words = "")
    {
        char tmpl[] = "/tmp/varmolen-pulse-XXXXXX";
        if (mkdtemp(tmpl) == nullptr)
            return;
        dir_ = tmpl;
        const std::string start =
            std::string("sh '") + VARMOLEN_PULSE_RIG + "' start " + dir_ + " " + words + " 2>" + dir_ + "/rig.err";
        ready_ = std::system(start.c_str()) == 0;
        setenv("XDG_RUNTIME_DIR", (dir_ + "/xdg").c_str(), 1);
        setenv("HOME", (dir_ + "/home").c_str(), 1);
    }
    ~PulseRig()
    {
        if (!dir_.empty()) {
            std::system((std::string("sh '") + VARMOLEN_PULSE_RIG + "' stop " + dir_).c_str());
            std::system(("rm -rf '" + dir_ + "'").c_str());
        }
    }
    PulseRig(const PulseRig&) = delete;
    PulseRig& operator=(const PulseRig&) = delete;
    bool ready() const { return ready_; }

private:
    std::string dir_;
    bool ready_ = false;
};

}  // namespace varmolen::test
