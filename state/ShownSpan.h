// The frames of the span a picture of the record shows, for what hands the
// span on as numbers or sound (Export Data, Export Span as WAV, remote
// control): every frame from the span's first to the end of its ten
// divisions (a fraction of a frame rounded up), as far as the record holds
// them. A span that began before the record did (a roll picture soon after
// the start, a span longer than the record) starts at the oldest frame the
// record held when the picture was taken; a span the record has since
// overwritten, or that belongs to a record started afresh (a new rate, a new
// memory size), is no longer held and gives nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/SampleRing.h"
#include "state/RecordPicture.h"

namespace varmolen {

enum class SpanHeld {
    Held,             // the frames below are in the record
    NothingRecorded,  // no picture of the record, or no frame of its span recorded
    NoLongerHeld,     // overwritten since, or the record started afresh
};

struct SpanFrames {
    SpanHeld held = SpanHeld::NothingRecorded;
    std::int64_t from = 0;    // the record's index of the first frame
    std::int64_t count = 0;   // frames from `from` on; 0 unless held
    std::int64_t offset = 0;  // frames from the span's left end to `from`
};

// Which frames of `ring` the picture's span covers now.
SpanFrames shownSpanFrames(const RecordPicture& picture, const SampleRing& ring);

// Frames [from, from + count) of a record: the record itself, or a copy
// taken of them (then from is 0), `offset` frames after the span's left end.
struct RecordSpan {
    const SampleRing* ring = nullptr;
    std::int64_t from = 0;
    std::int64_t count = 0;
    std::int64_t offset = 0;
};

// A copy of the span's frames, at the record's rate and with its breaks, so
// that an export written after a dialog holds the span as it was when the
// command was chosen while the record runs on. Null when the span is not
// held or the memory for the copy is not there.
std::unique_ptr<SampleRing> copySpan(const SampleRing& ring, const SpanFrames& span);

}  // namespace varmolen
