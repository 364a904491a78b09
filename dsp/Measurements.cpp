#include "dsp/Measurements.h"

#include <algorithm>
#include <cmath>

#include "dsp/SampleDecoder.h"
#include "dsp/ToneFit.h"

namespace varmolen {

namespace {

// A record finer than 16 bits is read deeper than the window lets the
// transform read: THD, THD+N and the noise beside the harmonics from the
// fit of the same values (the level, the frequency and the weighted
// readings stay the transform's). The 16-bit record is read as it always was.
void readDeeper(ToneReading& r, const float* x, int count, double rate)
{
    if (!r.valid || r.length <= 0 || r.length > count)
        return;
    const ToneFitReading fit = fitTone(x + (count - r.length), r.length, rate, r.hz);
    if (!fit.valid)
        return;
    if (r.thdValid)
        r.thd = fit.thd;
    if (r.thdNValid)
        r.thdN = fit.thdN;
    if (r.noiseValid) {
        r.noisePower = fit.noisePower;
        r.snrValid = fit.noisePower > 0.0;
        if (r.snrValid)
            r.snrDb = 10.0 * std::log10(r.amplitude * r.amplitude / fit.noisePower);
    }
}

}  // namespace

void Measurements::ToneRecord::restart()
{
    count = 0;
    fresh = false;
    fine = false;
    read = false;
    sinceReading = 0;
    average.restart();
}

void Measurements::ToneRecord::add(const float* x, int frames, double frameRate)
{
    if (!follows || frameRate != rate)
        restart();
    rate = frameRate;
    constexpr int kKeep = kToneMaxRecord;
    constexpr int kRoom = 2 * kToneMaxRecord;
    if (frames >= kKeep) {
        std::copy_n(x + (frames - kKeep), kKeep, codes.data());
        count = kKeep;
    } else {
        if (count + frames > kRoom) {
            // Only the last frames are read: move them to the front, then add.
            const int kept = std::min(count, kKeep - frames);
            std::copy_n(codes.data() + (count - kept), kept, codes.data());
            count = kept;
        }
        std::copy_n(x, frames, codes.data() + count);
        count += frames;
    }
    fresh = true;
    sinceReading += frames;
}

void Measurements::measureBlock(const RecordedBlock& block, bool chan1Enabled, bool chan2Enabled, MeasureParts parts)
{
    const double rate = block.sampleRate;
    for (int channel = 1; channel <= 2; ++channel) {
        const auto i = static_cast<std::size_t>(channel - 1);
        ChannelReadings& r = readings_[i];
        ToneRecord& record = toneRecords_[i];
        const bool enabled = channel == 1 ? chan1Enabled : chan2Enabled;
        const int frames = enabled ? extractChannel(block, channel, work_.data(), kMaxMeasureFrames) : 0;
        if (frames == 0 || !(rate > 0.0)) {
            time_[i].reset();
            timeFollows_[i] = false;
            r = {};
            record.restart();
            record.follows = false;
            continue;
        }
        r.recorded = true;
        if (parts.time) {
            for (int k = 0; k < frames; ++k)
                codes_[static_cast<std::size_t>(k)] = displayCode(work_[static_cast<std::size_t>(k)]);
            time_[i].measure(codes_.data(), frames, rate, block.followsPrevious && timeFollows_[i]);
        } else if (timeFollows_[i])
            time_[i].reset();  // its readings no longer describe the signal
        timeFollows_[i] = parts.time;
        r.overload = time_[i].overload();
        record.follows = record.follows && block.followsPrevious;
        if (parts.tone) {
            record.add(work_.data(), frames, rate);
            record.fine = record.fine || block.format != SampleFormat::S16LE;
        }
        record.follows = parts.tone;
    }
}

const ChannelReadings& Measurements::readings(int channel)
{
    const std::size_t i = channel == 2 ? 1 : 0;
    ChannelReadings& r = readings_[i];
    if (r.recorded) {
        r.frequency = time_[i].frequency();
        r.levels = time_[i].levels();
    }
    return r;
}

const ToneReading& Measurements::tone(int channel)
{
    const std::size_t i = channel == 2 ? 1 : 0;
    ToneRecord& record = toneRecords_[i];
    if (record.fresh && (!record.read || record.sinceReading >= kToneReadingSeconds * record.rate)) {
        record.fresh = false;
        record.read = true;
        record.sinceReading = 0;
        readings_[i].tone = tone_.measure(record.codes.data(), record.count, record.rate, &record.average);
        // From the spectrum just read, when the record held enough to transform.
        readings_[i].imd =
            record.count >= kToneMinRecord ? readIntermodulation(tone_, record.rate, playedPair_) : ImdReading{};
        if (record.fine)
            readDeeper(readings_[i].tone, record.codes.data(), record.count, record.rate);
    }
    return readings_[i].tone;
}

void Measurements::restartTone()
{
    for (ToneRecord& record : toneRecords_) {
        record.average.restart();
        record.fresh = record.count > 0;
        record.read = false;
    }
}

void Measurements::reset()
{
    for (TimeMeter& t : time_)
        t.reset();
    readings_ = {};
    for (ToneRecord& record : toneRecords_) {
        record.restart();
        record.follows = false;
    }
    timeFollows_ = {};
}

}  // namespace varmolen
