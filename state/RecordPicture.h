// A picture of a span of the record of everything recorded, as the time
// base in seconds a division draws it: for each pixel column of the
// display, both channels' least and greatest sample there (codes, the DC
// level off). It is the held picture's record as KeptBlock is for a block:
// a control that changes how traces are drawn draws it again.
//
// Ten divisions of 51 display columns span the picture exactly: display
// column x shows the time x / 51 divisions after the span's first frame, and
// pixel p of a bitmap w pixels wide shows display column p * 512 / (w - 1).
// A span with fewer frames than pixels holds each pixel's value between the
// two frames around it instead (least and greatest alike).
#pragma once

#include <array>
#include <cstdint>

#include "dsp/SampleRing.h"

namespace varmolen {

struct RecordPicture {
    static constexpr int kMaxColumns = 4096;

    std::array<SampleRing::Extremes, kMaxColumns> chan1{};
    std::array<SampleRing::Extremes, kMaxColumns> chan2{};
    int columns = 0;                  // pixel columns filled
    std::int64_t first = 0;           // the span's first frame
    double frames = 0.0;              // frames in its ten divisions
    double perDiv = 0.0;              // seconds a division
    std::uint32_t rate = 0;           // Hz
    std::int64_t trigger = -1;        // the trigger point's frame, -1 untriggered
    double position = 0.0;            // the part of the span before the trigger point
    bool roll = false;                // the newest frame at the right end of the divisions
    std::array<float, 2> dcLevels{};  // [n - 1]: the DC level taken off channel n
    std::int64_t recordEnd = 0;       // the record's end when the picture was taken
    bool valid = false;

    // Frames per pixel column of a bitmap `columns` wide.
    double framesPerColumn() const;
    const std::array<SampleRing::Extremes, kMaxColumns>& of(int channel) const { return channel == 1 ? chan1 : chan2; }
};

// Fills the picture of the span from frame `first` over ten divisions of
// `perDiv` at the ring's rate, one entry per pixel of a bitmap `width`
// pixels wide (at most kMaxColumns), `dcLevels[n - 1]` taken off channel n.
// Pixels of frames the ring does not hold read NaN.
void takeRecordPicture(const SampleRing& ring, std::int64_t first, double perDiv, std::array<float, 2> dcLevels,
                       int width, RecordPicture& picture);

}  // namespace varmolen
