// The files of the log sweep: a measured response saved as text (to be
// read back as a calibration, or by a spreadsheet or a script) and the
// impulse response as a WAV file.
//
// The response file (the manual's "The response file" describes it):
//   # Varmolen frequency response
//   # name: <what the user called it>
//   # <key>: <value>                 (one line each: rate, start, stop, ...)
//   Frequency (Hz),Magnitude (dB),Phase (deg)
//   20,-0.0123,1.234
//   ...
// '#' lines first (a '#' line without "key: value" is a comment), then one
// line naming the columns, then one row a point: frequency in Hz, magnitude
// in dB, phase in degrees, separated by commas (tabs are read too), '.' as
// the decimal point; lines end in LF when written, LF or CR LF when read.
// The group delay is not kept: it is recomputed from the phase on reading.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dsp/ResponseCurve.h"

namespace varmolen {

// What a file read takes at most.
constexpr std::size_t kSweepFileMaxBytes = 4u << 20;
constexpr std::size_t kSweepFileMaxRows = 100000;
constexpr std::size_t kSweepFileMaxHeaderLines = 256;
constexpr std::size_t kSweepFileMaxLineBytes = 4096;

struct SavedResponse {
    std::string name;  // what the user called it
    // e.g. rate, start, stop, seconds, level, reference, delay, smoothing, date
    std::vector<std::pair<std::string, std::string>> metadata;
    // frequency, magnitude dB, phase degrees (the group delay recomputed on reading)
    std::vector<ResponsePoint> points;
};

// The file's text. A name or value is written on one line (line breaks and
// other control characters become spaces); a key keeps letters, digits,
// spaces, '_', '-' and '.' only, and a metadata key "name" is left out (the
// name has its own line).
std::string composeSweepFile(const SavedResponse& r);

// Reads a response file as hostile text: at most kSweepFileMaxBytes,
// kSweepFileMaxHeaderLines '#' lines, kSweepFileMaxRows rows and
// kSweepFileMaxLineBytes a line; every number finite and within a sane
// range (frequency above 0 and at most 1 MHz, magnitude within +-1000 dB,
// phase within +-1e7 degrees), frequencies strictly rising, at least 2
// rows. False, with a clear reason naming the line, and `out` untouched, on
// anything else.
bool parseSweepFile(std::string_view text, SavedResponse& out, std::string& whyNot);

// Writes the impulse response as a mono 32-bit float WAV file at `rate`
// (whole Hz, 1 to 768000), through a scratch file beside it that replaces
// any file of that name only once complete (persist/ConfigFile.h's
// writeFileAtomically). A sample that is not finite is written as 0. False
// with the reason when there is nothing to write, the rate is not one a WAV
// file can carry, or the file cannot be written.
bool writeImpulseWav(const std::string& path, std::span<const float> impulse, double rate, std::string& whyNot);

}  // namespace varmolen
