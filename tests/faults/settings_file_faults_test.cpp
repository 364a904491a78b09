// Settings files of random bytes and random lengths: the window starts, draws
// and closes with every one of them, keeps its markers and rate usable, and
// writes back a whole record that reads back to itself.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "FaultHarness.h"
#include "WindowTestFolders.h"
#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "acquisition/AcquisitionLoop.h"
#include "audio/GeneratorWaveInput.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

class RandomSettingsFile : public test::WindowTestFolders {
protected:
    void SetUp() override
    {
        test::WindowTestFolders::SetUp();
        configPath = installDir.path() + "/Varmolen.cfg";
    }

    static std::vector<std::uint8_t> randomBytes(std::mt19937& rng, std::size_t size)
    {
        std::uniform_int_distribution<int> byte(0, 255);
        std::vector<std::uint8_t> bytes(size);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(byte(rng));
        return bytes;
    }

    // What must hold whatever the file said.
    static void expectUsableState(const InstrumentState& s, unsigned seed)
    {
        EXPECT_TRUE(s.sampleRate == 11025 || s.sampleRate == 22050 || s.sampleRate == 44100)
            << "seed " << seed << ": rate " << s.sampleRate;
        EXPECT_GE(s.marker1Pos, 0) << "seed " << seed;
        EXPECT_LE(s.marker2Pos, 512) << "seed " << seed;
        EXPECT_LT(s.marker1Pos, s.marker2Pos) << "seed " << seed;
    }

    // Starts a window on the current file, optionally lets it record and
    // draw for a while, closes it and returns the file it wrote.
    std::vector<std::uint8_t> runWindow(unsigned seed, int recordMs, bool expectQuietRun)
    {
        GeneratorWaveInput generator;
        auto form = std::make_unique<SpyScopeForm>(generator);
        form->host().setRecordOnly(true);
        form->show();
        expectUsableState(form->state(), seed);
        if (recordMs > 0) {
            test::runFor(recordMs);
            if (expectQuietRun) {
                EXPECT_TRUE(form->host().recordedMessages().empty())
                    << "seed " << seed << ": " << form->host().recordedMessages().front().first;
                EXPECT_EQ(form->host().endRequests(), 0) << "seed " << seed;
                EXPECT_EQ(form->state().stopped, 0) << "seed " << seed << ": no run is active";
            }
            expectUsableState(form->state(), seed);
        }
        form->close();
        form.reset();
        return test::readWholeFile(configPath);
    }

    QString configPath;
};

TEST_F(RandomSettingsFile, EveryFileStartsDrawsAndIsWrittenBackWhole)
{
    for (unsigned seed = 1; seed <= 24; ++seed) {
        std::mt19937 rng(seed);
        // Lengths around the record's: empty, cut inside a field, whole, longer.
        const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 2 * kConfigRecordBytes)(rng);
        std::vector<std::uint8_t> bytes = randomBytes(rng, size);
        // Half the files keep device 0 (the generator), so that the window
        // records and draws under the random settings; the others name any
        // device at all.
        const bool onGenerator = seed % 2 == 0;
        if (onGenerator)
            for (std::size_t i = 114; i < 118 && i < bytes.size(); ++i)
                bytes[i] = 0;
        ASSERT_TRUE(test::writeWholeFile(configPath, bytes));

        const std::vector<std::uint8_t> saved = runWindow(seed, onGenerator ? 300 : 0, onGenerator);
        ASSERT_EQ(saved.size(), kConfigRecordBytes) << "seed " << seed << ", file of " << size << " bytes";

        // The record written back is one the instrument takes as it is: a
        // second start from it writes the very same bytes.
        const std::vector<std::uint8_t> again = runWindow(seed, 0, false);
        EXPECT_EQ(again, saved) << "seed " << seed << ": the settings drift from one start to the next";
        if (HasFailure())
            return;
    }
}

// The same random settings with a device that cannot record: the start
// reports its failures, the window stays usable and closes cleanly.
TEST_F(RandomSettingsFile, DeviceNumberFromTheFileBeyondTheDevicesIsSurvived)
{
    std::mt19937 rng(99);
    std::vector<std::uint8_t> bytes = randomBytes(rng, kConfigRecordBytes);
    // Device 7 on a machine with one device; a rate the instrument knows.
    const std::uint32_t device = 7, rate = 44100;
    for (int i = 0; i < 4; ++i) {
        bytes[114 + i] = static_cast<std::uint8_t>(device >> (8 * i));
        bytes[67 + i] = static_cast<std::uint8_t>(rate >> (8 * i));
    }
    ASSERT_TRUE(test::writeWholeFile(configPath, bytes));
    GeneratorWaveInput generator;
    auto form = std::make_unique<SpyScopeForm>(generator);
    form->host().setRecordOnly(true);
    form->show();
    test::runFor(800);
    const auto& messages = form->host().recordedMessages();
    ASSERT_FALSE(messages.empty()) << "opening a device that is not there must be reported";
    EXPECT_EQ(messages.front().first, "Could not open the input wave device");
    EXPECT_EQ(messages.front().second, "Wave Device Message");
    expectUsableState(form->state(), 99);
    form->close();
    form.reset();
    EXPECT_EQ(test::readWholeFile(configPath).size(), kConfigRecordBytes);
}

}  // namespace
}  // namespace varmolen
