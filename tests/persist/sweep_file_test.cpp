// The log sweep's files: a response saved and read back, its text as the
// manual describes it, a table of damaged and hostile files each refused
// with its reason, and the impulse response's float WAV file read back
// through libsndfile.
#include "persist/SweepFile.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace varmolen {
namespace {

SavedResponse sample()
{
    SavedResponse r;
    r.name = "Amp A, \"warm\"\nsecond line";
    r.metadata = {{"rate", "48000"}, {"start", "20"}, {"stop", "20000"}, {"delay", "0.0213 s"}, {"Name", "dropped"}};
    for (const double hz : logFrequencies(20, 20000, 48))
        r.points.push_back({hz, -3.0 * std::log10(hz / 1000.0), -360.0 * hz * 0.0001, 0.0});
    return r;
}

TEST(SweepFile, ResponseReadsBackAsSaved)
{
    const SavedResponse saved = sample();
    const std::string text = composeSweepFile(saved);
    SavedResponse read;
    std::string whyNot;
    ASSERT_TRUE(parseSweepFile(text, read, whyNot)) << whyNot;
    EXPECT_TRUE(whyNot.empty());
    EXPECT_EQ(read.name, "Amp A, \"warm\" second line");
    const std::vector<std::pair<std::string, std::string>> metadata = {
        {"rate", "48000"}, {"start", "20"}, {"stop", "20000"}, {"delay", "0.0213 s"}};
    EXPECT_EQ(read.metadata, metadata);
    ASSERT_EQ(read.points.size(), saved.points.size());
    for (std::size_t i = 0; i < read.points.size(); ++i) {
        SCOPED_TRACE(saved.points[i].hz);
        EXPECT_NEAR(read.points[i].hz, saved.points[i].hz, saved.points[i].hz * 1e-9);
        EXPECT_NEAR(read.points[i].magnitudeDb, saved.points[i].magnitudeDb, 0.5e-4);
        EXPECT_NEAR(read.points[i].phaseDeg, saved.points[i].phaseDeg, 0.5e-3);
        // Recomputed from the phase: the 0.1 ms delay.
        EXPECT_NEAR(read.points[i].groupDelayMs, 0.1, 0.01);
    }
}

TEST(SweepFile, TextIsTheDocumentedLayout)
{
    SavedResponse r;
    r.name = "loop";
    r.metadata = {{"rate:bad\nkey", "1"}, {"", "no key"}};
    r.points = {{20, -0.01234, 1.23456, 0},
                {1000, 0, -0.0004, 0},
                {1000, 5, 5, 0},
                {20000, NAN, 0, 0},
                {20000.5, -1e-5, 180, 0}};
    EXPECT_EQ(composeSweepFile(r),
              "# Varmolen frequency response\n"
              "# name: loop\n"
              "# ratebadkey: 1\n"
              "Frequency (Hz),Magnitude (dB),Phase (deg)\n"
              "20,-0.0123,1.235\n"
              "1000,0.0000,-0.000\n"
              "20000.5,-0.0000,180.000\n");
}

TEST(SweepFile, ReadsTabsCrLfCommentsAndBlankLines)
{
    const std::string text =
        "# a comment without a key\r\n"
        "#name :  Speaker  \r\n"
        "# smoothing: 1/6\r\n"
        "\r\n"
        "f\tdB\tdeg\r\n"
        "100\t-1.5\t10\r\n"
        "  \r\n"
        "200\t -2 \t20";
    SavedResponse read;
    std::string whyNot;
    ASSERT_TRUE(parseSweepFile(text, read, whyNot)) << whyNot;
    EXPECT_EQ(read.name, "Speaker");
    ASSERT_EQ(read.metadata.size(), 1u);
    EXPECT_EQ(read.metadata[0].first, "smoothing");
    EXPECT_EQ(read.metadata[0].second, "1/6");
    ASSERT_EQ(read.points.size(), 2u);
    EXPECT_EQ(read.points[1].hz, 200.0);
    EXPECT_EQ(read.points[1].magnitudeDb, -2.0);
    EXPECT_EQ(read.points[1].phaseDeg, 20.0);
}

TEST(SweepFile, RefusesDamagedAndHostileFilesWithAReason)
{
    const std::string head = "# name: x\nFrequency (Hz),Magnitude (dB),Phase (deg)\n";
    std::string manyRows = head, manyHeaders, longLine = head + "# " + std::string(5000, 'a') + "\n";
    for (int i = 1; i <= 100001; ++i)
        manyRows += std::to_string(i) + ",0,0\n";
    for (int i = 0; i < 257; ++i)
        manyHeaders += "# k: v\n";
    manyHeaders += head + "1,0,0\n2,0,0\n";
    std::string huge = head;
    while (huge.size() <= kSweepFileMaxBytes)
        huge += "# padding padding padding padding padding padding padding padding padding\n";
    struct Case {
        const char* name;
        std::string text;
        const char* says;
    };
    const Case cases[] = {
        {"empty", "", "0 rows"},
        {"the header alone", head, "0 rows"},
        {"one row", head + "100,0,0\n", "1 row of"},
        {"larger than the limit", huge, "larger than 4 MiB"},
        {"too many rows", manyRows, "Line 100003: more than 100000 rows"},
        {"too many '#' lines", manyHeaders, "Line 257: more than 256"},
        {"a line too long", longLine, "Line 3: the line is longer than 4096"},
        {"a NUL byte", head + std::string("100,0,0\n200,0\0,0\n", 17), "Line 4: the line holds a control character"},
        {"no column names", "# name: x\n100,0,0\n200,0,0\n", "Line 2: the line naming the three columns"},
        {"two columns named", "Frequency,Magnitude\n100,0\n200,0\n", "Line 1: the line naming"},
        {"a row of two fields", head + "100,0,0\n200,0\n", "Line 4: a row needs 3 fields"},
        {"a row of four fields", head + "100,0,0\n200,0,0,0\n", "this one has 4"},
        {"a decimal comma", head + "100,0,0\n200,0,5,0\n", "this one has 4"},
        {"not a number", head + "100,0,0\n200,abc,0\n", "Line 4: the magnitude is not a finite number"},
        {"an empty field", head + "100,0,0\n,0,0\n", "the frequency is not a finite number"},
        {"nan", head + "100,0,0\n200,0,nan\n", "the phase is not a finite number"},
        {"infinity", head + "100,inf,0\n200,0,0\n", "Line 3: the magnitude is not"},
        {"beyond double", head + "100,1e999,0\n200,0,0\n", "the magnitude is not"},
        {"trailing text", head + "100,0,0\n200,0,0 deg\n", "the phase is not"},
        {"a plus sign", head + "+100,0,0\n200,0,0\n", "the frequency is not"},
        {"frequency 0", head + "0,0,0\n200,0,0\n", "above 0 Hz"},
        {"a negative frequency", head + "-5,0,0\n200,0,0\n", "above 0 Hz"},
        {"above 1 MHz", head + "100,0,0\n1000001,0,0\n", "at most 1 MHz"},
        {"frequencies repeated", head + "100,0,0\n100,0,0\n", "Line 4: the frequencies must rise"},
        {"frequencies falling", head + "200,0,0\n100,0,0\n", "must rise"},
        {"a magnitude out of range", head + "100,1000.5,0\n200,0,0\n", "within +-1000 dB"},
        {"a phase out of range", head + "100,0,-2e7\n200,0,0\n", "within +-10000000 degrees"},
        {"a '#' line among the rows", head + "100,0,0\n# late: 1\n200,0,0\n", "Line 4: a '#' line may only come"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SavedResponse out;
        out.name = "untouched";
        out.points = {{1, 2, 3, 4}};
        std::string whyNot;
        EXPECT_FALSE(parseSweepFile(c.text, out, whyNot));
        EXPECT_NE(whyNot.find(c.says), std::string::npos) << whyNot;
        EXPECT_EQ(out.name, "untouched");
        ASSERT_EQ(out.points.size(), 1u);
        EXPECT_TRUE(out.metadata.empty());
    }
}

class ImpulseWav : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/varmolen-impulse-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string folder_;
};

std::vector<std::uint8_t> bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(ImpulseWav, ReadsBackThroughLibsndfileAsWritten)
{
    const std::string path = folder_ + "/impulse.wav";
    {
        std::ofstream old(path);
        old << "an older file";
    }
    const std::vector<float> impulse = {0.0f, 0.25f, -1.5f, 1e-30f, NAN, INFINITY, 0.875f};
    std::string whyNot;
    ASSERT_TRUE(writeImpulseWav(path, impulse, 48000.0, whyNot)) << whyNot;

    // The chunks as written: RIFF's size is the file's less 8, the format
    // IEEE float, one channel, 32 bits.
    const std::vector<std::uint8_t> b = bytesOf(path);
    ASSERT_EQ(b.size(), 58u + 4u * impulse.size());
    const auto le32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16) |
               static_cast<std::uint32_t>(b[at + 3]) << 24;
    };
    EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
    EXPECT_EQ(le32(4), b.size() - 8);
    EXPECT_EQ(std::memcmp(b.data() + 12, "fmt ", 4), 0);
    EXPECT_EQ(b[20] | b[21] << 8, 3);  // IEEE float

    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(info.frames, static_cast<sf_count_t>(impulse.size()));
    std::vector<float> read(impulse.size());
    EXPECT_EQ(sf_readf_float(f, read.data(), info.frames), info.frames);
    sf_close(f);
    for (std::size_t i = 0; i < impulse.size(); ++i)
        EXPECT_EQ(read[i], std::isfinite(impulse[i]) ? impulse[i] : 0.0f) << i;
}

TEST_F(ImpulseWav, RefusesWithAReasonAndLeavesTheOldFile)
{
    const std::string path = folder_ + "/impulse.wav";
    {
        std::ofstream old(path);
        old << "an older file";
    }
    const std::vector<float> impulse = {1.0f, 0.5f};
    struct Case {
        const char* name;
        std::string path;
        std::vector<float> samples;
        double rate;
        const char* says;
    };
    for (const Case& c :
         {Case{"no samples", path, {}, 48000, "no impulse"}, Case{"no rate", path, impulse, 0, "sample rate"},
          Case{"a fraction of a hertz", path, impulse, 44100.5, "sample rate"},
          Case{"too high a rate", path, impulse, 1e6, "sample rate"},
          Case{"a folder that is not there", folder_ + "/missing/impulse.wav", impulse, 48000, "cannot create"}}) {
        SCOPED_TRACE(c.name);
        std::string whyNot;
        EXPECT_FALSE(writeImpulseWav(c.path, c.samples, c.rate, whyNot));
        EXPECT_NE(whyNot.find(c.says), std::string::npos) << whyNot;
        const std::vector<std::uint8_t> old = bytesOf(path);
        EXPECT_EQ(std::string(old.begin(), old.end()), "an older file");
    }
    // Nothing but the old file is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), std::filesystem::directory_iterator()), 1);
}

}  // namespace
}  // namespace varmolen
