// Export Span as WAV: the frames of a span of the record (or of the block the
// display shows) as a 16-bit PCM WAV file at the record's rate, made by
// libsndfile in memory before any file is touched, so that the command's
// dialog may take its time while the record runs on, and the file is written
// whole through a scratch file (persist/ScratchFile.h). Samples are written
// as recorded (the DC level not taken off), rounded to whole codes and held
// within the 16-bit range.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "state/ShownSpan.h"

namespace varmolen {

// The WAV file of the span's frames of the channels chosen (one channel: a
// mono file; both: channel 1 left, channel 2 right). False, with the
// reason, when there is nothing to write, the span is not held, it is longer
// than a WAV file can describe, or memory or libsndfile fails.
bool composeSpanWav(const RecordSpan& span, std::array<bool, 2> channels, std::vector<char>& bytes,
                    std::string& whyNot);

}  // namespace varmolen
