#include "display/RecordSweep.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "display/RecordTraces.h"
#include "display/TraceRenderer.h"
#include "dsp/TimeBase.h"
#include "dsp/TriggerRule.h"

namespace varmolen {

namespace {

// The slowest Auto waits for a trigger point before it shows the newest span.
constexpr double kAutoWaitSeconds = 0.1;

}  // namespace

RecordSweep::Taken RecordSweep::advance(const InstrumentSettings& s, InstrumentView& view, const SampleRing& ring,
                                        std::array<float, 2> dcLevels, int width)
{
    const double perDiv = s.features.timePerDiv;
    const std::uint32_t rate = ring.rate();
    if (!(perDiv > 0.0) || rate == 0 || ring.end() == 0)
        return Taken::Nothing;
    // A new time base, rate or record: the search starts at the newest frame.
    if (perDiv != perDiv_ || rate != rate_ || searchFrom_ > ring.end()) {
        perDiv_ = perDiv;
        rate_ = rate;
        searchFrom_ = ring.end();
        lastPictureAt_ = ring.end();
    }
    // A single sweep armed since the last pass takes only frames recorded from now on.
    if (s.singleSweep == 1 && armedAt_ < 0) {
        armedAt_ = ring.end();
        lastPictureAt_ = ring.end();
    } else if (s.singleSweep != 1) {
        armedAt_ = -1;
        untriggeredSingle_ = false;
    }
    const double frames = timeBaseSpanFrames(perDiv, rate);
    RecordPicture& picture = view.recordPicture;
    const auto take = [&](std::int64_t first, std::int64_t trigger, bool roll) {
        // A single sweep's one picture starts exactly at its span, not on
        // the rolling pictures' grid of columns.
        if (roll && armedAt_ < 0)
            takeRollingPicture(ring, perDiv, dcLevels, width, picture, rolling_);
        else
            takeRecordPicture(ring, first, perDiv, dcLevels, width, picture);
        picture.trigger = trigger;
        picture.position = trigger >= 0 ? s.features.triggerPosition : 0.0;
        picture.roll = roll;
        takeExpandedRecord(s, view, ring);
        lastPictureAt_ = ring.end();
        forced_ = false;
        return trigger >= 0 ? Taken::Triggered : Taken::Untriggered;
    };
    const std::int64_t newest = ring.end() - timeBaseSpanCount(frames);
    if (forced_)
        return take(newest, -1, false);
    // An armed sweep's span begins at or after the frame it was armed at;
    // otherwise a span may reach back before the first frame recorded (a
    // roll picture soon after the start draws what there is).
    const bool armed = armedAt_ >= 0;
    const std::int64_t earliest = armed ? armedAt_ : std::numeric_limits<std::int64_t>::min();
    const std::int32_t mode = s.features.timeBaseMode;
    const bool roll = mode == kRollTimeBase || (mode != kMainTimeBase && perDiv >= kRollFromPerDiv * (1.0 - 1e-9));
    if (roll || s.triggerEnabled != 1)
        return newest >= earliest ? take(newest, -1, roll) : Taken::Nothing;

    const int source = s.triggerChannel == 2 ? 2 : 1;
    const auto channel = channelSettings(s, source);
    const bool sum = s.addChannels == 1;
    const auto dc = [&](int n) { return static_cast<std::int64_t>(dcLevels[static_cast<std::size_t>(n - 1)]); };
    const TriggerSource from{sum ? 0 : source, channel.gain(true), sum ? dc(1) + dc(2) : dc(source)};
    const std::int64_t band = static_cast<std::int64_t>(view.triggerBand) * bandFactor(channel.range(true));
    const TriggerRule rule = triggerRule(s, band);
    const double position = s.features.triggerPosition;
    if (armed)
        searchFrom_ =
            std::max<std::int64_t>(searchFrom_, earliest + std::llround(std::clamp(position, 0.0, 1.0) * frames));
    std::optional<TriggeredSpan> found;
    for (;;) {
        const TriggerSearch search = nextTriggeredSpan(ring, from, rule, searchFrom_, frames, position);
        if (!search.span) {
            searchFrom_ = std::max(searchFrom_, search.searchedTo);
            break;
        }
        found = search.span;
        searchFrom_ = searchAfterTrigger(search.span->trigger, s.features.holdoffSeconds, rate);
    }
    if (found)
        return take(found->first, found->trigger, false);
    const bool autoSweep = s.features.triggerSweep == kAutoSweep && (s.singleSweep != 1 || untriggeredSingle_);
    const double wait = std::max(frames, kAutoWaitSeconds * rate);
    if (autoSweep && static_cast<double>(ring.end() - lastPictureAt_) >= wait && newest >= earliest)
        return take(newest, -1, false);
    return Taken::Nothing;
}

}  // namespace varmolen
