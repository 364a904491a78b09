// Accuracy of the automatic measurements on synthetic buffers, and the
// faults they must survive without a wrong number.
#include "dsp/Measurements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "display/MeasurementReadouts.h"

using namespace varmolen;

namespace {

constexpr double kTwoPi = 2.0 * M_PI;

std::int32_t Code(double v) { return static_cast<std::int32_t>(std::clamp(std::lround(v), -32768L, 32767L)); }

using Signal = std::function<double(std::int64_t)>;

Signal Sine(double hz, double rate, double amplitude, double dc = 0.0, double phase = 0.3)
{
    return
        [=](std::int64_t n) { return dc + amplitude * std::sin(kTwoPi * hz * static_cast<double>(n) / rate + phase); };
}

Signal Square(double hz, double rate, double amplitude)
{
    return [=](std::int64_t n) {
        return std::sin(kTwoPi * hz * static_cast<double>(n) / rate + 0.3) >= 0.0 ? amplitude : -amplitude;
    };
}

// Feeds consecutive buffers of `frames` codes of one signal to a meter.
struct Feed {
    std::unique_ptr<TimeMeter> meter = std::make_unique<TimeMeter>();
    std::vector<std::int32_t> buffer;
    std::int64_t next = 0;

    void run(const Signal& signal, double rate, int frames, int buffers)
    {
        buffer.resize(static_cast<std::size_t>(frames));
        for (int b = 0; b < buffers; ++b) {
            for (int i = 0; i < frames; ++i)
                buffer[static_cast<std::size_t>(i)] = Code(signal(next + i));
            meter->measure(buffer.data(), frames, rate, next > 0);
            next += frames;
        }
    }
};

// Frames per recording buffer: twice the block at 44100 Hz.
int BufferFrames(double rate) { return rate >= 44100.0 ? 2048 : 1024; }

// The number a reading's text shows, and the size of its last digit.
void ShownNumber(const std::string& text, double& value, double& lastDigit)
{
    const std::string number = text.substr(0, text.find(' '));
    value = std::stod(number);
    const auto point = number.find('.');
    lastDigit = point == std::string::npos ? 1.0 : std::pow(10.0, -static_cast<double>(number.size() - point - 1));
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace

// A sine of at least 1 % of full scale with at least 5 periods in a block
// reads its frequency within 0.01 % once the block is measured (the block
// before it arms the crossing detector), and the text shows no digit the
// reading cannot vouch for.
TEST(TimeFrequency, SineWithinAHundredthOfAPercentToTheLastDigit)
{
    struct Case {
        double rate, hz, share, dc;
    };
    const Case cases[] = {
        {11025, 53.9, 0.01, 0},    {11025, 440.0, 0.5, 2000},  {11025, 1000.0, 0.99, 0},
        {11025, 4400.0, 0.01, 0},  {22050, 107.7, 0.3, -5000}, {22050, 8000.0, 0.5, 0},
        {44100, 215.4, 0.01, 300}, {44100, 10000.0, 0.8, 0},   {44100, 17000.0, 0.05, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz rate, " << c.hz << " Hz at " << c.share);
        Feed f;
        f.run(Sine(c.hz, c.rate, c.share * kFullScaleCode, c.dc), c.rate, BufferFrames(c.rate), 2);
        const FrequencyReading& r = f.meter->frequency();
        ASSERT_TRUE(r.valid);
        EXPECT_NEAR(r.hz / c.hz, 1.0, 1e-4);
        double shown = 0.0;
        double digit = 0.0;
        ShownNumber(formatFrequency(r.hz, r.sigmaHz, '.'), shown, digit);
        EXPECT_LE(std::abs(shown - c.hz), digit) << formatFrequency(r.hz, r.sigmaHz, '.');
        const std::string period = formatPeriod(r.hz, r.sigmaHz, '.');
        ShownNumber(period, shown, digit);
        const double scale = period.ends_with(" µs") ? 1e6 : 1e3;
        EXPECT_LE(std::abs(shown - scale / c.hz), digit) << period;
    }
}

// Slow signals are timed across contiguous buffers: 5 Hz at every rate
// within 0.1 %, and no reading on the way there is wrong.
TEST(TimeFrequency, FiveHertzAcrossBuffers)
{
    for (double rate : {11025.0, 22050.0, 44100.0}) {
        SCOPED_TRACE(rate);
        Feed f;
        const int frames = BufferFrames(rate);
        bool read = false;
        for (int b = 0; b < static_cast<int>(2.0 * rate / frames); ++b) {
            f.run(Sine(5.0, rate, 0.2 * kFullScaleCode, 150.0), rate, frames, 1);
            const FrequencyReading& r = f.meter->frequency();
            if (r.valid) {
                read = true;
                EXPECT_NEAR(r.hz, 5.0, 0.005) << "buffer " << b;
                EXPECT_NEAR(f.meter->levels().dcMean, 150.0, 1.0);
            }
        }
        EXPECT_TRUE(read);
    }
}

// A square wave reads the frequency of the sine it replaces: its edges fall
// between samples, so it takes a few buffers to average them out.
TEST(TimeFrequency, SquareReadsLikeTheSine)
{
    for (double hz : {5.3, 60.0, 440.0, 2999.0}) {
        SCOPED_TRACE(hz);
        Feed square;
        Feed sine;
        square.run(Square(hz, 11025, 16000), 11025, 1024, 16);
        sine.run(Sine(hz, 11025, 16000), 11025, 1024, 16);
        ASSERT_TRUE(square.meter->frequency().valid);
        ASSERT_TRUE(sine.meter->frequency().valid);
        EXPECT_NEAR(square.meter->frequency().hz / hz, 1.0, 1e-4);
        EXPECT_NEAR(square.meter->frequency().hz / sine.meter->frequency().hz, 1.0, 1e-4);
    }
}

// White noise, coloured noise, silence and DC never read a frequency or a
// tone, in any of thousands of buffers.
TEST(TimeFrequency, NoiseAndSilenceNeverRead)
{
    std::mt19937 random(7);
    std::normal_distribution<double> gauss(0.0, 1.0);
    struct Case {
        const char* name;
        double sigma;
        double pole;  // 0: white; near 1: low-passed
        double dc;
    };
    const Case cases[] = {{"silence", 0.0, 0.0, 0.0},       {"DC", 0.0, 0.0, -4321.0},
                          {"white, small", 40.0, 0.0, 0.0}, {"white, loud", 12000.0, 0.0, 0.0},
                          {"red", 3000.0, 0.99, 0.0},       {"brown", 3000.0, 0.9999, 0.0}};
    auto tone = std::make_unique<ToneMeter>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Feed f;
        double state = 0.0;
        int frequencies = 0;
        int tones = 0;
        // The tone readings also from the long record, averaged as the strip does.
        std::vector<float> record;
        ToneAverage average;
        for (int b = 0; b < 2000; ++b) {
            f.run(
                [&](std::int64_t) {
                    state = c.pole * state + (c.pole > 0.0 ? 0.05 : 1.0) * c.sigma * gauss(random);
                    return c.dc + state;
                },
                11025, 1024, 1);
            frequencies += f.meter->frequency().valid;
            const std::vector<float> block(f.buffer.begin(), f.buffer.end());
            tones += tone->measure(block.data(), 1024, 11025).valid;
            record.insert(record.end(), f.buffer.begin(), f.buffer.end());
            if (record.size() > kToneMaxRecord)
                record.erase(record.begin(), record.begin() + 1024);
            if (b % 2 == 1)
                tones += tone->measure(record.data(), static_cast<int>(record.size()), 11025, &average).valid;
        }
        EXPECT_EQ(frequencies, 0);
        EXPECT_EQ(tones, 0);
    }
}

// RMS and peak-to-peak of a sine within 0.05 dB, the DC mean (before any DC
// removal) within one code, also where a block holds less than a period.
TEST(Levels, SineLevelsAndDcMean)
{
    struct Case {
        double rate, hz, share, dc;
        int buffers;
    };
    const Case cases[] = {
        {11025, 440.0, 0.5, 0, 1},     {11025, 97.3, 0.01, 1234, 2}, {22050, 3001.0, 0.7, -9000, 1},
        {44100, 17000.0, 0.5, 100, 1}, {11025, 5.0, 0.5, -321, 25},  {44100, 1000.0, 0.0, -7777, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz at " << c.share << " with DC " << c.dc);
        Feed f;
        const double amplitude = c.share * kFullScaleCode;
        f.run(Sine(c.hz, c.rate, amplitude, c.dc), c.rate, BufferFrames(c.rate), c.buffers);
        const LevelReadings& l = f.meter->levels();
        ASSERT_TRUE(l.valid);
        EXPECT_NEAR(l.dcMean, c.dc, 1.0);
        if (amplitude == 0.0) {
            EXPECT_EQ(l.peakToPeak, 0.0);
            EXPECT_EQ(l.acRms, 0.0);
            continue;
        }
        EXPECT_NEAR(Db(l.acRms / (amplitude / std::sqrt(2.0))), 0.0, 0.05);
        EXPECT_NEAR(Db(l.peakToPeak / (2.0 * amplitude)), 0.0, 0.05);
        EXPECT_NEAR(l.maximum, c.dc + amplitude, amplitude * 0.006);
        EXPECT_NEAR(l.minimum, c.dc - amplitude, amplitude * 0.006);
    }
}

// The tone readings: a tone anywhere between two bins reads its frequency
// within 0.01 bins and its level within 0.05 dB; a 1 % second harmonic reads
// THD 1.00 % +- 0.02 %.
TEST(Tone, BetweenBinsAndSecondHarmonic)
{
    struct Case {
        double rate, bin, share, harmonic;
    };
    const Case cases[] = {
        {11025, 100.0, 0.5, 0.0},   {11025, 100.5, 0.5, 0.01}, {11025, 37.37, 0.01, 0.0}, {22050, 9.25, 0.9, 0.01},
        {44100, 200.81, 0.2, 0.01}, {44100, 505.5, 0.5, 0.0},  {11025, 6.4, 0.3, 0.0},    {22050, 123.123, 0.05, 0.01},
    };
    auto meter = std::make_unique<ToneMeter>();
    std::vector<float> x(1024);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bin " << c.bin << " at " << c.share << ", harmonic " << c.harmonic);
        const double amplitude = c.share * kFullScaleCode;
        for (int n = 0; n < 1024; ++n) {
            const double a = kTwoPi * c.bin * n / 1024.0 + 1.1;
            x[static_cast<std::size_t>(n)] =
                Code(amplitude * (std::sin(a) + c.harmonic * std::sin(2.0 * a + 0.4)) + 250);
        }
        const ToneReading r = meter->measure(x.data(), 1024, c.rate);
        ASSERT_TRUE(r.valid);
        const double binHz = c.rate / 1024.0;
        EXPECT_NEAR(r.hz / binHz, c.bin, 0.01);
        EXPECT_NEAR(Db(r.amplitude / amplitude), 0.0, 0.05);
        if (c.bin < 9) {
            EXPECT_FALSE(r.thdValid);  // the harmonics would sit in the tone's own lobe
            continue;
        }
        ASSERT_TRUE(r.thdNValid);
        if (2.0 * c.bin + 4 > 511) {
            EXPECT_FALSE(r.thdValid);  // no harmonic below the Nyquist frequency
            continue;
        }
        ASSERT_TRUE(r.thdValid);
        if (c.harmonic > 0.0)
            EXPECT_NEAR(r.thd, c.harmonic, 0.0002);
        else
            EXPECT_LT(r.thd, 0.001);  // a quiet tone's harmonic bins hold its quantization noise
        EXPECT_GE(r.thdN, r.thd);     // harmonics and noise together
        EXPECT_LT(r.thdN, r.thd + 0.001);
    }
}

namespace {

// A tone with harmonics 2..9 of equal share whose total ratio to it is
// `thd` (0: none), as 16-bit codes.
Signal Distorted(double hz, double rate, double amplitude, double thd)
{
    return [=](std::int64_t n) {
        const double a = kTwoPi * hz * static_cast<double>(n) / rate + 0.3;
        double v = std::sin(a);
        for (int h = 2; h <= 9; ++h)
            v += thd / std::sqrt(8.0) * std::sin(h * a + 0.7 * h);
        return amplitude * v;
    };
}

// THD of the codes of a signal, computed apart from the instrument: each
// harmonic's amplitude correlated directly at its exact frequency over
// 2^17 samples under a Nuttall window.
double ReferenceThd(const Signal& signal, double hz, double rate)
{
    constexpr int kLength = 1 << 17;
    std::vector<double> x(kLength);
    double windowSum = 0.0;
    for (int n = 0; n < kLength; ++n) {
        const double a = kTwoPi * n / kLength;
        const double w = 0.355768 - 0.487396 * std::cos(a) + 0.144232 * std::cos(2 * a) - 0.012604 * std::cos(3 * a);
        x[static_cast<std::size_t>(n)] = w * Code(signal(n));
        windowSum += w;
    }
    const auto amplitude = [&](double f) {
        std::complex<double> sum = 0.0;
        for (int n = 0; n < kLength; ++n)
            sum += x[static_cast<std::size_t>(n)] * std::polar(1.0, -kTwoPi * f * n / rate);
        return 2.0 * std::abs(sum) / windowSum;
    };
    double harmonics = 0.0;
    for (int h = 2; h <= 9 && h * hz < rate / 2; ++h)
        harmonics += std::pow(amplitude(h * hz), 2);
    return std::sqrt(harmonics) / amplitude(hz);
}

// Consecutive buffers of one channel through the strip's measurements: the
// tone readings as the texts refreshed twice a second would show them.
struct ToneFeed {
    std::unique_ptr<Measurements> m = std::make_unique<Measurements>();
    std::vector<std::uint8_t> bytes;
    std::int64_t next = 0;

    // Adds `buffers` buffers of the signal (mono, channel 1), then reads.
    const ToneReading& run(const Signal& signal, double rate, int buffers, bool follows = true,
                           MeasureParts parts = {.time = false, .tone = true})
    {
        const int frames = BufferFrames(rate);
        bytes.resize(static_cast<std::size_t>(2 * frames));
        for (int b = 0; b < buffers; ++b) {
            for (int i = 0; i < frames; ++i) {
                const auto code = static_cast<std::uint16_t>(Code(signal(next + i)));
                bytes[static_cast<std::size_t>(2 * i)] = static_cast<std::uint8_t>(code & 0xFF);
                bytes[static_cast<std::size_t>(2 * i + 1)] = static_cast<std::uint8_t>(code >> 8);
            }
            next += frames;
            m->measureBlock(RecordedBlock{bytes.data(), static_cast<std::uint32_t>(2 * frames), 1,
                                          static_cast<std::uint32_t>(rate), follows && next > frames},
                            true, false, parts);
            follows = true;
        }
        return m->tone(1);
    }
};

}  // namespace

// THD on a record of 8192 samples, read twice a second: within 3 dB of the
// reference down to -105 dB (a reading can say no less than that), the 1 %
// second harmonic within 0.01 points of a percent, every reading within 1 dB
// of the one before; tones down to 50 Hz at 44100 Hz.
// The weighted level of the whole spectrum: a tone reads its own level
// unweighted, and A- and C-weighted as the sound level meters' table has
// them at its frequency (100 Hz: A -19.1 dB, C -0.3 dB; 1 kHz: 0 dB).
TEST(Tone, WeightedLevelsOfATone)
{
    struct Case {
        double hz, a, c;
    };
    const Case cases[] = {{100.0, -19.1, -0.3}, {1000.0, 0.0, 0.0}, {10000.0, -2.5, -4.4}};
    auto meter = std::make_unique<ToneMeter>();
    std::vector<float> x(8192);
    const double amplitude = 0.25 * kFullScaleCode;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz");
        for (std::size_t n = 0; n < x.size(); ++n)
            x[n] = Code(amplitude * std::sin(kTwoPi * c.hz * static_cast<double>(n) / 48000.0 + 0.7));
        const ToneReading r = meter->measure(x.data(), 8192, 48000.0);
        ASSERT_TRUE(r.weightedValid);
        const double tone = 20.0 * std::log10(amplitude);
        EXPECT_NEAR(10.0 * std::log10(r.weightedPower[0]), tone, 0.05);
        EXPECT_NEAR(10.0 * std::log10(r.weightedPower[1]) - tone, c.a, 0.1);
        EXPECT_NEAR(10.0 * std::log10(r.weightedPower[2]) - tone, c.c, 0.1);
    }
}

TEST(Tone, ThdAgainstALongReference)
{
    struct Case {
        double rate, hz, dbfs, thd;  // thd: harmonics added to the 16-bit tone
        bool secondOnly;             // the 1 % second-harmonic case
    };
    const Case cases[] = {
        {44100, 997.0, -10, 0.0, false},    {44100, 1000.0, -10, 0.0, false}, {44100, 997.0, -1, 0.0, false},
        {44100, 997.0, -10, 5.6e-6, false}, {44100, 3001.0, -3, 1e-5, false}, {22050, 440.0, -6, 3e-5, false},
        {11025, 1000.0, -10, 1e-4, false},  {44100, 1000.0, -6, 0.01, true},  {44100, 50.0, -10, 0.01, true},
        {11025, 230.0, -20, 0.01, true},
    };
    for (const Case& c : cases) {
        const double amplitude = kFullScaleCode * std::pow(10.0, c.dbfs / 20.0);
        const Signal signal = c.secondOnly ? Signal([&](std::int64_t n) {
            const double a = kTwoPi * c.hz * static_cast<double>(n) / c.rate + 0.3;
            return amplitude * (std::sin(a) + c.thd * std::sin(2 * a + 0.4));
        })
                                           : Distorted(c.hz, c.rate, amplitude, c.thd);
        const double reference = Db(ReferenceThd(signal, c.hz, c.rate));
        SCOPED_TRACE(testing::Message() << c.hz << " Hz at " << c.rate << " Hz, " << c.dbfs << " dBFS, reference THD "
                                        << reference << " dB");
        ToneFeed feed;
        const int perRefresh = static_cast<int>(std::ceil(0.5 * c.rate / BufferFrames(c.rate)));
        feed.run(signal, c.rate, 2 * perRefresh);  // the record fills, the average starts
        double before = 0.0;
        for (int refresh = 0; refresh < 10; ++refresh) {
            const ToneReading r = feed.run(signal, c.rate, perRefresh);
            ASSERT_TRUE(r.valid && r.thdValid) << "refresh " << refresh;
            ASSERT_EQ(r.length, kToneMaxRecord);
            EXPECT_NEAR(r.hz, c.hz, 0.001 * c.rate / kToneMaxRecord);
            EXPECT_NEAR(Db(r.amplitude / amplitude), 0.0, 0.01);
            const double thd = Db(r.thd);
            if (c.secondOnly)
                EXPECT_NEAR(r.thd, c.thd, 1e-4) << "refresh " << refresh;
            else if (reference >= -105.0)
                EXPECT_NEAR(thd, reference, 3.0) << "refresh " << refresh;
            else
                EXPECT_LT(thd, -102.0) << "refresh " << refresh;
            if (refresh > 0) {
                EXPECT_NEAR(thd, before, 1.0) << "refresh " << refresh;
            }
            before = thd;
        }
    }
}

namespace {

// The A weighting's power gain at f, 0 dB at 1 kHz, from its four poles as
// the sound level meters' standard rounds them.
double AGain(double f)
{
    const auto r = [](double x) {
        const double x2 = x * x;
        return 12194.0 * 12194.0 * x2 * x2 /
               ((x2 + 20.6 * 20.6) * std::sqrt((x2 + 107.7 * 107.7) * (x2 + 737.9 * 737.9)) * (x2 + 12194.0 * 12194.0));
    };
    return std::pow(r(f) / r(1000.0), 2);
}

// The A weighting's mean power gain over 0..nyquist (Simpson's rule): what
// it takes off white noise.
double MeanAGain(double nyquist)
{
    constexpr int kSteps = 100000;  // even
    const double h = nyquist / kSteps;
    double sum = AGain(0.0) + AGain(nyquist);
    for (int i = 1; i < kSteps; ++i)
        sum += (i % 2 == 1 ? 4.0 : 2.0) * AGain(i * h);
    return sum * h / 3.0 / nyquist;
}

double PowerDb(double power) { return 10.0 * std::log10(power); }

}  // namespace

// Noise, SNR and dynamic range of a 997 Hz tone in white noise of RMS s,
// 8192 samples: the noise reads 2 (s^2 + 1/12) squared codes (a sine's
// amplitude squared; 1/12 the rounding to codes), its A-weighted part that
// times the A weighting's mean over 0..rate/2, and SNR the tone's power over
// it, within 0.5 dB (0.3 dB A-weighted); the dynamic range, read only from
// the -60 dBFS tone, is its A-weighted THD+N below the tone plus 60 dB,
// within 1 dB.
TEST(Tone, NoiseSnrAndDynamicRangeInWhiteNoise)
{
    struct Case {
        double rate, dbfs, snr;  // snr: of the tone to the noise added, dB
    };
    // At -60 dBFS, 40 dB below the tone would be below the rounding to codes.
    const Case cases[] = {
        {48000, -1, 40}, {48000, -1, 60}, {48000, -1, 80}, {48000, -60, 20}, {48000, -60, 30},
        {44100, -1, 40}, {44100, -1, 60}, {44100, -1, 80}, {44100, -60, 20}, {44100, -60, 30},
    };
    auto meter = std::make_unique<ToneMeter>();
    std::vector<float> x(kToneMaxRecord);
    std::mt19937 random(20240611);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dbfs << " dBFS at " << c.rate << " Hz, " << c.snr << " dB above noise");
        const double amplitude = kFullScaleCode * std::pow(10.0, c.dbfs / 20.0);
        const double rms = amplitude / std::sqrt(2.0) * std::pow(10.0, -c.snr / 20.0);
        std::normal_distribution<double> white(0.0, rms);
        for (std::size_t n = 0; n < x.size(); ++n)
            x[n] = Code(amplitude * std::sin(kTwoPi * 997.0 * static_cast<double>(n) / c.rate + 0.3) + white(random));
        const ToneReading r = meter->measure(x.data(), kToneMaxRecord, c.rate);
        ASSERT_TRUE(r.valid && r.noiseValid && r.snrValid);

        const double noise = 2.0 * (rms * rms + 1.0 / 12.0);
        const double noiseA = noise * MeanAGain(c.rate / 2.0);
        const double fullScale = kFullScaleCode * kFullScaleCode;
        EXPECT_NEAR(PowerDb(r.noisePower / fullScale), PowerDb(noise / fullScale), 0.5);
        EXPECT_NEAR(PowerDb(r.noisePowerA / r.noisePower), PowerDb(noiseA / noise), 0.3);
        EXPECT_NEAR(r.snrDb, PowerDb(amplitude * amplitude / noise), 0.5);
        ASSERT_EQ(r.dynamicRangeValid, c.dbfs == -60);
        if (r.dynamicRangeValid) {
            const double thdNA = PowerDb(noiseA / (amplitude * amplitude));
            EXPECT_NEAR(r.dynamicRangeDb, -thdNA - c.dbfs, 1.0);
        }
    }
}

// The tone record follows the signal, never two signals at once: a rate
// change, a gap or a buffer measured without its tone readings (a held
// picture) starts it again from the next buffer, and the average of the
// readings starts again when the tone moves within one record. A reading is
// formed at once after a start, then after each second of signal.
TEST(Tone, RecordStartsAfreshAndNeverMixesSignals)
{
    ToneFeed feed;
    const Signal tone = Sine(1000.0, 11025, 10000);
    EXPECT_EQ(feed.run(tone, 11025, 1).length, 1024);
    // The next reading once a second of signal has been added: by then from 8192 samples.
    EXPECT_EQ(feed.run(tone, 11025, 10).length, 1024);
    const ToneReading full = feed.run(tone, 11025, 1);
    ASSERT_TRUE(full.valid);
    EXPECT_EQ(full.length, 8192);
    EXPECT_NEAR(full.hz, 1000.0, 0.01);

    // The same samples counted at 22050 Hz: a 2 kHz tone, from the new buffer alone.
    ToneReading r = feed.run(tone, 22050, 1);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.length, 1024);
    EXPECT_NEAR(r.hz, 2000.0, 0.05);
    // A gap, then a 3 kHz tone.
    r = feed.run(Sine(3000.0, 22050, 10000), 22050, 1, false);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.length, 1024);
    EXPECT_NEAR(r.hz, 3000.0, 0.05);
    // Held: buffers go by unrecorded; the next one starts again.
    feed.run(tone, 22050, 3, true, MeasureParts{.time = true, .tone = false});
    r = feed.run(tone, 22050, 1);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.length, 1024);

    // One continuous record whose tone moves from 1000 to 1500 Hz: once the
    // record holds the new tone only, the readings are of it alone.
    feed.run(tone, 22050, 22);
    ASSERT_NEAR(feed.run(tone, 22050, 22).hz, 2000.0, 0.01);
    r = feed.run(Sine(750.0, 11025, 10000), 22050, 22);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.length, 8192);
    EXPECT_NEAR(r.hz, 1500.0, 0.01);
    EXPECT_NEAR(Db(r.amplitude / 10000.0), 0.0, 0.01);
}

// A tone that keeps its pitch and level but changes its shape (another
// waveform) is a new signal: once the record holds it alone, its first
// reading is its steady one, not an average reaching back to the old shape.
// Choosing the display type again starts the average too.
TEST(Tone, ANewShapeAtTheSamePitchAndLevelStartsTheAverageAgain)
{
    const double rate = 11025;
    const int perSecond = static_cast<int>(std::ceil(rate / BufferFrames(rate)));
    for (const double thd : {0.1, 0.02}) {
        SCOPED_TRACE(testing::Message() << "THD " << thd);
        ToneFeed steady;
        steady.run(Distorted(1000.0, rate, 10000, thd), rate, 4 * perSecond);
        const double expected = Db(steady.run(Distorted(1000.0, rate, 10000, thd), rate, perSecond).thd);

        ToneFeed changed;
        for (int second = 0; second < 4; ++second)
            changed.run(Sine(1000.0, rate, 10000), rate, perSecond);
        const ToneReading r = changed.run(Distorted(1000.0, rate, 10000, thd), rate, perSecond);
        ASSERT_TRUE(r.valid && r.thdValid);
        EXPECT_NEAR(Db(r.thd), expected, 0.1);

        changed.m->restartTone();
        const ToneReading again = changed.m->tone(1);
        ASSERT_TRUE(again.valid && again.thdValid);
        EXPECT_NEAR(Db(again.thd), expected, 0.1) << "a reading formed at once from the record as it stands";
    }
}

// A block that sat at the negative limit throughout: levels exact, the
// overload lit for a second of signal and then out, no frequency, no tone.
TEST(Faults, BlockAtTheNegativeLimitAndOverload)
{
    Feed f;
    f.run([](std::int64_t) { return -32768.0; }, 11025, 1024, 1);
    const LevelReadings& l = f.meter->levels();
    EXPECT_EQ(l.maximum, -32768.0);
    EXPECT_EQ(l.minimum, -32768.0);
    EXPECT_EQ(l.dcMean, -32768.0);
    EXPECT_EQ(l.acRms, 0.0);
    EXPECT_FALSE(f.meter->frequency().valid);
    EXPECT_TRUE(f.meter->overload());
    const std::vector<float> block(f.buffer.begin(), f.buffer.end());
    EXPECT_FALSE(std::make_unique<ToneMeter>()->measure(block.data(), 1024, 11025).valid);
    const TimeRowTexts t = timeTexts(ChannelReadings{true, {}, l, true, {}, {}}, 0.0, '.');
    EXPECT_EQ(t.dcMean, "-100.00 %");
    EXPECT_EQ(t.rms, "0.00 %");
    EXPECT_EQ(t.rmsDb, "< -120 dBFS");  // no AC at all
    EXPECT_EQ(t.frequency, "?");
    EXPECT_EQ(t.overload, "Overload");

    // 10 buffers (0.93 s) later still lit, after 11 out.
    f.run(Sine(440, 11025, 1000), 11025, 1024, 10);
    EXPECT_TRUE(f.meter->overload());
    f.run(Sine(440, 11025, 1000), 11025, 1024, 1);
    EXPECT_FALSE(f.meter->overload());
}

// A rate change or a gap between buffers starts the timing afresh: the
// crossings of the old buffers never mix with the new ones.
TEST(Faults, RateChangeAndGapStartAfresh)
{
    Feed f;
    f.run(Sine(1000, 11025, 10000), 11025, 1024, 4);
    ASSERT_NEAR(f.meter->frequency().hz, 1000.0, 0.1);
    // The signal goes on, its samples now counted at 22050 Hz: a 2 kHz tone,
    // read from the second buffer at the new rate on (the first arms the
    // crossing detector), never from crossings timed at the old rate.
    const Signal same = Sine(1000, 11025, 10000);
    for (int b = 0; b < 3; ++b) {
        f.run(same, 22050, 1024, 1);
        const FrequencyReading& r = f.meter->frequency();
        if (b == 0 && !r.valid)
            continue;
        ASSERT_TRUE(r.valid) << "buffer " << b << " at the new rate";
        EXPECT_NEAR(r.hz, 2000.0, 0.2) << "buffer " << b << " at the new rate";
    }
    // A buffer that does not follow the last one: a jump in phase would
    // spoil one period if it were timed across.
    f.run(Sine(5.0, 11025, 10000), 11025, 1024, 20);
    ASSERT_TRUE(f.meter->frequency().valid);
    f.meter->measure(f.buffer.data(), 1024, 11025, false);
    EXPECT_FALSE(f.meter->frequency().valid);
}

// Both channels of a stereo buffer (frames of channel 2, then channel 1);
// channel 2 of a mono buffer and a disabled channel read nothing, and a
// channel switched off and on again starts afresh.
TEST(Faults, ChannelsOfABuffer)
{
    constexpr MeasureParts kBoth{.time = true, .tone = true};
    constexpr MeasureParts kTimeOnly{.time = true, .tone = false};
    constexpr MeasureParts kToneOnly{.time = false, .tone = true};
    auto m = std::make_unique<Measurements>();
    std::vector<std::uint8_t> bytes(4096);
    const auto put = [&bytes](int at, std::int32_t v) {
        bytes[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(v & 0xFF);
        bytes[static_cast<std::size_t>(at + 1)] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    };
    std::int64_t n = 0;
    const auto stereo = [&](bool follows) {
        for (int i = 0; i < 1024; ++i, ++n) {
            put(4 * i, Code(8000 * std::sin(kTwoPi * 250.0 * n / 11025.0)));                // channel 2
            put(4 * i + 2, Code(-3000 + 12000 * std::sin(kTwoPi * 1000.0 * n / 11025.0)));  // channel 1
        }
        return RecordedBlock{bytes.data(), 4096, 2, 11025, follows};
    };
    for (int b = 0; b < 3; ++b)
        m->measureBlock(stereo(b > 0), true, true, kBoth);
    EXPECT_NEAR(m->readings(1).frequency.hz, 1000.0, 0.1);
    EXPECT_NEAR(m->readings(1).levels.dcMean, -3000.0, 1.0);
    EXPECT_NEAR(m->tone(1).hz, 1000.0, 0.1);
    EXPECT_NEAR(m->readings(2).frequency.hz, 250.0, 0.03);
    EXPECT_NEAR(m->tone(2).hz, 250.0, 0.1);

    m->measureBlock(stereo(true), true, false, kBoth);
    EXPECT_FALSE(m->readings(2).recorded);
    EXPECT_FALSE(m->readings(2).frequency.valid);
    EXPECT_EQ(timeTexts(m->readings(2), 0.0, '.').rms, "?");
    // Back on: timed from this buffer's crossings alone.
    m->measureBlock(stereo(true), true, true, kTimeOnly);
    EXPECT_TRUE(m->readings(2).recorded);
    EXPECT_NEAR(m->readings(2).frequency.hz, 250.0, 0.05);
    EXPECT_FALSE(m->tone(2).valid);  // nothing kept since it came back
    // Tones only (the FREQUENCY display): the TIME readings left behind read
    // nothing rather than describe an older signal, and come back with the
    // next buffer measured for them.
    m->measureBlock(stereo(true), true, true, kToneOnly);
    EXPECT_TRUE(m->readings(1).recorded);
    EXPECT_FALSE(m->readings(1).frequency.valid);
    EXPECT_FALSE(m->readings(1).levels.valid);
    EXPECT_NEAR(m->tone(1).hz, 1000.0, 0.1);
    m->measureBlock(stereo(true), true, true, kTimeOnly);
    EXPECT_NEAR(m->readings(1).frequency.hz, 1000.0, 0.1);

    // Mono: every value is channel 1; channel 2 is not recorded.
    const RecordedBlock mono{bytes.data(), 2048, 1, 11025, false};
    m->measureBlock(mono, true, true, kBoth);
    EXPECT_TRUE(m->readings(1).recorded);
    EXPECT_FALSE(m->readings(2).recorded);
    // Nothing recorded, or no rate: nothing read, nothing broken.
    m->measureBlock(RecordedBlock{bytes.data(), 0, 2, 11025, true}, true, true, kBoth);
    m->measureBlock(RecordedBlock{nullptr, 4096, 2, 11025, true}, true, true, kBoth);
    m->measureBlock(RecordedBlock{bytes.data(), 4096, 2, 0, true}, true, true, kBoth);
    EXPECT_FALSE(m->readings(1).recorded);
}

// At every rate of the table, tones up to 0.45 x the rate: the strip's tone
// frequency (8192 samples gathered from consecutive buffers, as long as the
// rate's buffers are) within 0.02 %, and its TIME frequency too up to 0.4 x
// the rate. Above, crossings little more than two samples apart agree by
// chance too often to be told from noise: the TIME reading may then be
// missing, never wrong.
TEST(Rates, TonesToNearlyHalfTheRateAtEveryRate)
{
    struct Case {
        double rate, hz;
    };
    const Case cases[] = {
        {8000, 3600},    {16000, 7100},   {32000, 14400},  {48000, 1000},    {48000, 21600},
        {88200, 39690},  {96000, 31250},  {96000, 35000},  {96000, 43200},   {176400, 79380},
        {192000, 86400}, {192000, 20000}, {192000, 997.0}, {44100, 19845.0}, {22050, 9922.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz at " << c.rate << " Hz");
        const int frames = c.rate >= 88200 ? 4096 : c.rate >= 44100 ? 2048 : 1024;
        const Signal tone = Sine(c.hz, c.rate, 0.5 * kFullScaleCode);
        auto m = std::make_unique<Measurements>();
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(frames) * 2);
        std::int64_t next = 0;
        for (int b = 0; b * frames < 2 * kToneMaxRecord; ++b, next += frames) {
            for (int i = 0; i < frames; ++i) {
                const auto v = static_cast<std::uint16_t>(Code(tone(next + i)));
                bytes[2 * static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v & 0xFF);
                bytes[2 * static_cast<std::size_t>(i) + 1] = static_cast<std::uint8_t>(v >> 8);
            }
            const RecordedBlock block{bytes.data(), static_cast<std::uint32_t>(bytes.size()), 1,
                                      static_cast<std::uint32_t>(c.rate), b > 0};
            m->measureBlock(block, true, false, MeasureParts{true, true});
        }
        const ToneReading& tone1 = m->tone(1);
        ASSERT_TRUE(tone1.valid);
        EXPECT_NEAR(tone1.hz / c.hz, 1.0, 2e-4);
        const FrequencyReading& time1 = m->readings(1).frequency;
        EXPECT_TRUE(time1.valid || c.hz > 0.4 * c.rate);
        if (time1.valid) {
            EXPECT_NEAR(time1.hz / c.hz, 1.0, 2e-4);
        }
    }
}
