// Which span of the record the picture shows next, as the time base and the
// trigger's sweep decide, after new frames reached the record:
// - rolling (from kRollFromPerDiv a division unless the mode is main, or
//   always in roll mode), or with the
//   trigger off: the newest span, its newest frame at the right end of the
//   divisions, at every pass (rolling, within a column: the picture moves by
//   whole columns and takes only the columns of new frames);
// - triggered: every frame since the last search goes through the trigger
//   search; of the trigger points it finds (each a holdoff after the one
//   before), the newest whose whole span the record holds makes the picture,
//   its trigger point the given part of the span from the left;
// - without a trigger point: Auto shows the newest span once a span's time
//   (at least 100 ms) passed without a picture; Normal and Single keep the
//   last picture;
// - a single sweep (Single, or a script's DIGitize) takes only a span of
//   frames recorded after it was armed; a forced trigger takes the newest
//   span at the next pass, trigger point or not.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/SampleRing.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "state/RecordPicture.h"

namespace varmolen {

class RecordSweep {
public:
    enum class Taken { Nothing, Untriggered, Triggered };

    // Takes the next picture into view.recordPicture when one is due, for a
    // bitmap `width` pixels wide, the run loop's DC levels taken off.
    Taken advance(const InstrumentSettings& s, InstrumentView& view, const SampleRing& ring,
                  std::array<float, 2> dcLevels, int width);
    // The next search starts at the newest frame (a new time base, rate or record).
    void restart() { perDiv_ = 0.0; }
    // The next pass takes the newest span, whether a trigger point is found or not.
    void force() { forced_ = true; }
    // A single sweep armed afresh at the next pass, which may also end
    // untriggered, as Auto would show its span (a script's DIGitize); a
    // panel's Single waits for a trigger.
    void armUntriggeredSingle()
    {
        armedAt_ = -1;
        untriggeredSingle_ = true;
    }

private:
    double perDiv_ = 0.0;  // the time base the search runs for
    std::uint32_t rate_ = 0;
    std::int64_t searchFrom_ = 0;     // the first frame not yet searched (after a holdoff)
    std::int64_t lastPictureAt_ = 0;  // the record's end when the last picture was taken
    std::int64_t armedAt_ = -1;       // the record's end when a single sweep was armed; -1 none
    bool forced_ = false;
    bool untriggeredSingle_ = false;
    RollingColumns rolling_;  // a rolling picture's columns, kept for the next
};

}  // namespace varmolen
