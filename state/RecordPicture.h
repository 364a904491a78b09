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
    double framesPerColumn() const { return framesPerColumn(frames, columns); }
    static double framesPerColumn(double frames, int columns);
    const std::array<SampleRing::Extremes, kMaxColumns>& of(int channel) const { return channel == 1 ? chan1 : chan2; }
};

// The expanded view of a picture (Exp with both markers on): the stretch of
// its span between two display columns spread over the same pixels, taken
// afresh from the record so that each pixel column holds the least and
// greatest sample of its own frames. Pixel p shows display column
// from + (to - from) * p / (columns - 1) of the whole picture, the frames
// mapped exactly as the whole picture maps them. Where the record no longer
// holds a pixel's frames (a held picture the record moved past, a record
// started afresh) the pixel shows the whole picture's columns over them.
struct ExpandedPicture {
    RecordPicture picture;  // the stretch, drawn as any picture is
    // What it was taken of: the whole picture's span and the stretch.
    std::int64_t wholeFirst = 0;
    double wholeFrames = 0.0;
    std::int64_t wholeRecordEnd = 0;
    int wholeColumns = 0;
    double from = 0.0;
    double to = 0.0;
    bool drawn = false;  // the last pass drew it

    // Whether it is the stretch [from, to] of `whole` as it stands.
    bool shows(const RecordPicture& whole, double fromColumn, double toColumn) const;
};

// Takes the stretch from display column `fromColumn` to `toColumn`
// (0 <= fromColumn < toColumn <= 512) of `whole` into `out`.
void takeExpandedPicture(const SampleRing& ring, const RecordPicture& whole, double fromColumn, double toColumn,
                         ExpandedPicture& out);

// The columns of a rolling picture, kept from pass to pass so that a pass
// takes only the columns of new frames: each channel's least and greatest
// sample (the DC level not taken off) of columns on the record's anchored
// grid (SampleRing::anchoredColumnExtremes), entry k holding column
// `column + k`. The columns [exactFrom, exactTo) held all their frames when
// taken, so they stay as they are while the record still holds them.
struct RollingColumns {
    std::array<SampleRing::Extremes, RecordPicture::kMaxColumns> chan1{};
    std::array<SampleRing::Extremes, RecordPicture::kMaxColumns> chan2{};
    std::uint64_t record = 0;  // SampleRing::number() they were taken from
    double perColumn = 0.0;
    int count = 0;
    std::int64_t column = 0;
    std::int64_t exactFrom = 0;
    std::int64_t exactTo = 0;
};

// The rolling picture of the newest span: as takeRecordPicture, its first
// frame the start of the anchored column that holds the frame ten
// divisions before the newest, so that the picture moves by whole columns
// and a column kept from an earlier pass is the one a new pass would take.
// Takes only the columns `kept` does not hold exactly.
void takeRollingPicture(const SampleRing& ring, double perDiv, std::array<float, 2> dcLevels, int width,
                        RecordPicture& picture, RollingColumns& kept);

// Fills the picture of the span from frame `first` over ten divisions of
// `perDiv` at the ring's rate, one entry per pixel of a bitmap `width`
// pixels wide (at most kMaxColumns), `dcLevels[n - 1]` taken off channel n.
// Pixels of frames the ring does not hold read NaN.
void takeRecordPicture(const SampleRing& ring, std::int64_t first, double perDiv, std::array<float, 2> dcLevels,
                       int width, RecordPicture& picture);

}  // namespace varmolen
