#include "dsp/SampleRing.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <cmath>
#include <limits>

#include "dsp/SampleFormats.h"

namespace varmolen {

namespace {

std::size_t wholeRuns(std::size_t frames)
{
    const auto run = static_cast<std::size_t>(SampleRing::kRunFrames);
    return std::max<std::size_t>(1, (frames + run - 1) / run);
}

// Columns of at most this many frames are taken frame by frame.
constexpr std::int64_t kFewFrames = 16;

// Four samples side by side, worked on at once: the frames at a column's
// two ends and its runs are what its extremes cost.
using Lanes = float __attribute__((vector_size(16)));

Lanes loadLanes(const float* p)
{
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
Lanes lanesMin(Lanes a, Lanes b) { return b < a ? b : a; }
Lanes lanesMax(Lanes a, Lanes b) { return a < b ? b : a; }

// Both channels' least and greatest values so far, four lanes each: the
// two channels' lanes do not wait for each other.
struct LaneExtremes {
    Lanes lo1, hi1, lo2, hi2;

    explicit LaneExtremes(float f1, float f2) : lo1{f1, f1, f1, f1}, hi1(lo1), lo2{f2, f2, f2, f2}, hi2(lo2) {}
    void widen(Lanes v1, Lanes v2)
    {
        lo1 = lanesMin(lo1, v1);
        hi1 = lanesMax(hi1, v1);
        lo2 = lanesMin(lo2, v2);
        hi2 = lanesMax(hi2, v2);
    }
};

// Widens e by n samples of each channel from p1 and p2. A last group of
// fewer than four is read with the samples before it: a sample seen twice
// changes no extreme.
void widen(const float* p1, const float* p2, std::int64_t n, LaneExtremes& e)
{
    if (n < 4) {
        for (std::int64_t k = 0; k < n; ++k)
            e.widen(Lanes{p1[k], p1[k], p1[k], p1[k]}, Lanes{p2[k], p2[k], p2[k], p2[k]});
        return;
    }
    std::int64_t k = 0;
    for (; k + 4 <= n; k += 4)
        e.widen(loadLanes(p1 + k), loadLanes(p2 + k));
    if (k < n)
        e.widen(loadLanes(p1 + n - 4), loadLanes(p2 + n - 4));
}

float lowest(Lanes v)
{
    v = lanesMin(v, __builtin_shufflevector(v, v, 2, 3, 0, 1));
    return lanesMin(v, __builtin_shufflevector(v, v, 1, 0, 3, 2))[0];
}
float greatest(Lanes v)
{
    v = lanesMax(v, __builtin_shufflevector(v, v, 2, 3, 0, 1));
    return lanesMax(v, __builtin_shufflevector(v, v, 1, 0, 3, 2))[0];
}

std::uint64_t nextRecordNumber()
{
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

}  // namespace

SampleRing::SampleRing(std::size_t frames)
    : capacity_(wholeRuns(frames) * kRunFrames),
      chan1_(capacity_),
      chan2_(capacity_),
      breaks_(wholeRuns(frames)),
      runs1_(wholeRuns(frames)),
      runs2_(wholeRuns(frames)),
      number_(nextRecordNumber())
{}

std::size_t SampleRing::framesFor(double seconds, std::uint32_t rate, std::uint64_t budgetBytes)
{
    const double wanted = std::max(0.0, seconds) * rate;
    const double affordable = static_cast<double>(budgetBytes) / kBytesPerFrame;
    const auto frames = static_cast<std::size_t>(std::min(wanted, affordable));
    const auto run = static_cast<std::size_t>(kRunFrames);
    // Rounded up where the budget allows, else down: never past the budget.
    const std::size_t up = wholeRuns(frames) * run;
    return static_cast<double>(up) <= affordable ? up : std::max(run, frames / run * run);
}

void SampleRing::restart(std::uint32_t rate)
{
    rate_ = rate;
    end_ = 0;
    endSlot_ = 0;
    number_ = nextRecordNumber();
    breakPending_ = false;
}

void SampleRing::put(float v1, float v2, bool breaks)
{
    const std::size_t at = endSlot_;
    const std::size_t run = at / kRunFrames;
    const auto bit = std::uint64_t{1} << (at % kRunFrames);
    chan1_[at] = v1;
    chan2_[at] = v2;
    // A run's first frame starts its extremes afresh: what the slot held
    // before belongs to frames no longer kept whole. Its break bits are
    // each the frame's in the slot now, old or new.
    if (at % kRunFrames == 0) {
        runs1_[run] = {v1, v1};
        runs2_[run] = {v2, v2};
    } else {
        runs1_[run] = {std::min(runs1_[run].min, v1), std::max(runs1_[run].max, v1)};
        runs2_[run] = {std::min(runs2_[run].min, v2), std::max(runs2_[run].max, v2)};
    }
    // A break of a buffer with no frames falls on the next frame there is.
    breaks = breaks || breakPending_;
    breakPending_ = false;
    breaks_[run] = breaks ? breaks_[run] | bit : breaks_[run] & ~bit;
    ++end_;
    endSlot_ = at + 1 == capacity_ ? 0 : at + 1;
}

void SampleRing::carryBreak(std::size_t frames, bool followsPrevious)
{
    breakPending_ = breakPending_ || (frames == 0 && !followsPrevious && end_ > 0);
}

void SampleRing::append(const float* chan1, const float* chan2, std::size_t frames, bool followsPrevious)
{
    carryBreak(frames, followsPrevious);
    for (std::size_t i = 0; i < frames; ++i)
        put(chan1[i], chan2 != nullptr ? chan2[i] : 0.0f, i == 0 && !followsPrevious && end_ > 0);
}

void SampleRing::append(const RecordedBlock& block)
{
    if (block.data == nullptr || (block.channelCount != 1 && block.channelCount != 2))
        return;
    const auto frameBytes = static_cast<std::uint32_t>(block.frameBytes());
    const std::uint32_t frames = block.bytes / frameBytes;
    if (frames == 0) {
        carryBreak(0, block.followsPrevious);
        return;
    }
    // Read a piece at a time (a finer value keeps its fraction), then kept.
    // Stereo frames are (channel 2, channel 1), as the display reads them.
    constexpr std::uint32_t kPiece = 256;
    std::array<float, kPiece> v1{};
    std::array<float, kPiece> v2{};
    const bool stereo = block.channelCount == 2;
    for (std::uint32_t done = 0; done < frames; done += kPiece) {
        const auto n = static_cast<int>(std::min(kPiece, frames - done));
        const std::uint8_t* p = block.data + static_cast<std::size_t>(done) * frameBytes;
        decodeFrames(block.format, p, n, block.channelCount, stereo ? 1 : 0, v1.data());
        if (stereo)
            decodeFrames(block.format, p, n, 2, 0, v2.data());
        append(v1.data(), stereo ? v2.data() : nullptr, static_cast<std::size_t>(n), done > 0 || block.followsPrevious);
    }
}

bool SampleRing::copy(int channel, std::int64_t from, std::size_t count, float* out) const
{
    const std::int64_t to = from + static_cast<std::int64_t>(count);
    if (!holds(from, to))
        return false;
    const std::vector<float>& s = samples(channel);
    // At most two pieces: up to the ring's end, then from its start.
    const std::size_t first = std::min(count, capacity_ - slot(from));
    std::copy_n(s.begin() + static_cast<std::ptrdiff_t>(slot(from)), first, out);
    std::copy_n(s.begin(), count - first, out + first);
    return true;
}

std::optional<std::int64_t> SampleRing::firstBreak(std::int64_t from, std::int64_t to) const
{
    from = std::max(from, oldest());
    to = std::min(to, end_);
    while (from < to) {
        // The rest of from's run, or less where the span ends inside it.
        const std::int64_t offset = from % kRunFrames;
        const std::int64_t runEnd = std::min(to, from - offset + kRunFrames);
        std::uint64_t word = breaks_[runSlot(from)] >> offset;
        const std::int64_t frames = runEnd - from;
        if (frames < kRunFrames)
            word &= (std::uint64_t{1} << frames) - 1;
        if (word != 0) {
            std::int64_t i = from;
            while ((word & 1u) == 0) {
                word >>= 1;
                ++i;
            }
            return i;
        }
        from = runEnd;
    }
    return std::nullopt;
}

std::size_t SampleRing::slotAfter(std::int64_t known, std::size_t knownSlot, std::int64_t i) const
{
    const std::int64_t ahead = i - known;
    if (ahead < 0 || ahead >= static_cast<std::int64_t>(capacity_))
        return slot(i);
    const std::size_t at = knownSlot + static_cast<std::size_t>(ahead);
    return at >= capacity_ ? at - capacity_ : at;
}

SampleRing::Extremes SampleRing::extremes(int channel, std::int64_t from, std::int64_t to) const
{
    if (from >= to || !holds(from, to))
        return {};
    return heldExtremes(from, to, slot(from))[channel == 2 ? 1 : 0];
}

std::array<SampleRing::Extremes, 2> SampleRing::heldExtremes(std::int64_t from, std::int64_t to,
                                                             std::size_t fromSlot) const
{
    const float* s1 = chan1_.data();
    const float* s2 = chan2_.data();
    if (to - from <= kFewFrames) {
        // A few frames (a short span's columns): one by one.
        std::array<Extremes, 2> few{Extremes{s1[fromSlot], s1[fromSlot]}, Extremes{s2[fromSlot], s2[fromSlot]}};
        std::size_t at = fromSlot;
        for (std::int64_t i = from; i < to; ++i) {
            few[0] = {std::min(few[0].min, s1[at]), std::max(few[0].max, s1[at])};
            few[1] = {std::min(few[1].min, s2[at]), std::max(few[1].max, s2[at])};
            at = at + 1 == capacity_ ? 0 : at + 1;
        }
        return few;
    }
    LaneExtremes e(s1[fromSlot], s2[fromSlot]);
    // Frames [a, b) inside one run lie side by side in the ring.
    const auto scan = [&](std::int64_t a, std::int64_t b) {
        const std::size_t at = slotAfter(from, fromSlot, a);
        widen(s1 + at, s2 + at, b - a, e);
    };
    // The frames before the first whole run, the whole runs, the frames after
    // the last. A run counts whole only where the span and the ring hold all
    // of it: a run whose slot is being overwritten keeps its extremes for
    // new frames.
    const std::int64_t headEnd = std::min(to, (from + kRunFrames - 1) / kRunFrames * kRunFrames);
    scan(from, headEnd);
    const std::int64_t tailStart = std::max(headEnd, to / kRunFrames * kRunFrames);
    if (headEnd < tailStart) {
        // Two runs at a time where they lie side by side: lanes 0 and 2 are
        // least values, 1 and 3 greatest.
        const auto runCount = static_cast<std::int64_t>(capacity_ / kRunFrames);
        auto run = static_cast<std::int64_t>(slotAfter(from, fromSlot, headEnd) / kRunFrames);
        std::int64_t left = (tailStart - headEnd) / kRunFrames;
        LaneExtremes pairs(s1[fromSlot], s2[fromSlot]);
        while (left > 0) {
            const Extremes& r1 = runs1_[static_cast<std::size_t>(run)];
            const Extremes& r2 = runs2_[static_cast<std::size_t>(run)];
            if (left >= 2 && run + 1 < runCount) {
                pairs.widen(loadLanes(&r1.min), loadLanes(&r2.min));
                run += 2;
                left -= 2;
            } else {
                pairs.widen(Lanes{r1.min, r1.max, r1.min, r1.max}, Lanes{r2.min, r2.max, r2.min, r2.max});
                ++run;
                --left;
            }
            if (run == runCount)
                run = 0;
        }
        e.widen(__builtin_shufflevector(pairs.lo1, pairs.lo1, 0, 0, 2, 2),
                __builtin_shufflevector(pairs.lo2, pairs.lo2, 0, 0, 2, 2));
        e.widen(__builtin_shufflevector(pairs.hi1, pairs.hi1, 1, 1, 3, 3),
                __builtin_shufflevector(pairs.hi2, pairs.hi2, 1, 1, 3, 3));
    }
    scan(tailStart, to);
    return {Extremes{lowest(e.lo1), greatest(e.hi1)}, Extremes{lowest(e.lo2), greatest(e.hi2)}};
}

void SampleRing::columnExtremes(int channel, std::int64_t from, double framesPerColumn, int count, Extremes* out) const
{
    gridExtremes(from, 0, framesPerColumn, count, channel == 2 ? nullptr : out, channel == 2 ? out : nullptr);
}

void SampleRing::columnExtremes(std::int64_t from, double framesPerColumn, int count, Extremes* chan1,
                                Extremes* chan2) const
{
    gridExtremes(from, 0, framesPerColumn, count, chan1, chan2);
}

void SampleRing::anchoredColumnExtremes(std::int64_t column, double framesPerColumn, int count, Extremes* chan1,
                                        Extremes* chan2) const
{
    gridExtremes(0, column, framesPerColumn, count, chan1, chan2);
}

std::int64_t SampleRing::columnOf(std::int64_t frame, double framesPerColumn)
{
    const double perColumn = std::max(1.0, framesPerColumn);
    std::int64_t j = floorFrame(static_cast<double>(frame) / perColumn);
    const auto start = [&](std::int64_t k) { return floorFrame(static_cast<double>(k) * perColumn); };
    while (start(j) > frame)
        --j;
    while (start(j + 1) <= frame)
        ++j;
    return j;
}

void SampleRing::gridExtremes(std::int64_t origin, std::int64_t column, double framesPerColumn, int count,
                              Extremes* chan1, Extremes* chan2) const
{
    constexpr float kNone = std::numeric_limits<float>::quiet_NaN();
    const double perColumn = std::max(1.0, framesPerColumn);
    const auto first = [&](int k) { return origin + floorFrame(static_cast<double>(column + k) * perColumn); };
    // Each column's first slot follows from the one before, without a
    // division. Where a column is longer than a run, its ends lie far apart:
    // the run at a column's start is fetched a few columns ahead, while the
    // columns before it are worked out, rather than waited for.
    constexpr int kColumnsAhead = 16;
    const bool far = perColumn >= static_cast<double>(kRunFrames);
    const std::int64_t held = oldest();
    std::int64_t known = std::max(first(0), held);
    std::size_t knownSlot = slot(known);
    const auto fetch = [&](int k) {
        const std::int64_t at = std::clamp(first(k), known, std::max(known, end_ - 1));
        const std::size_t run = slotAfter(known, knownSlot, at) - static_cast<std::size_t>(at % kRunFrames);
        for (std::size_t i = 0; i < kRunFrames; i += 16) {
            __builtin_prefetch(chan1_.data() + run + i);
            __builtin_prefetch(chan2_.data() + run + i);
        }
    };
    for (int k = 0; far && k < std::min(count, kColumnsAhead); ++k)
        fetch(k);
    std::int64_t next = first(0);
    for (int k = 0; k < count; ++k) {
        if (far && k + kColumnsAhead <= count)
            fetch(k + kColumnsAhead);
        const std::int64_t lo = std::max(next, held);
        next = first(k + 1);
        const std::int64_t hi = std::min(next, end_);
        std::array<Extremes, 2> e{Extremes{kNone, kNone}, Extremes{kNone, kNone}};
        if (lo < hi) {
            knownSlot = slotAfter(known, knownSlot, lo);
            known = lo;
            e = heldExtremes(lo, hi, knownSlot);
        }
        if (chan1 != nullptr)
            chan1[k] = e[0];
        if (chan2 != nullptr)
            chan2[k] = e[1];
    }
}

}  // namespace varmolen
