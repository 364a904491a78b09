// Device names: ALSA's descriptions joined into one line, and the cut the
// capability record needs, which never splits a UTF-8 character.
#include <gtest/gtest.h>

#include "audio/DeviceNames.h"

namespace varmolen {
namespace {

TEST(DeviceNames, DescriptionLinesAreJoinedWithOneSpace)
{
    const struct {
        const char* description;
        const char* name;
    } cases[] = {
        {"Playback/recording through the PulseAudio sound server",
         "Playback/recording through the PulseAudio sound server"},
        {"HDA Intel PCH, ALC892 Analog\nFront microphone", "HDA Intel PCH, ALC892 Analog Front microphone"},
        {"USB Audio\r\nUSB Audio\n", "USB Audio USB Audio"},
        {"  Card \t\n\n\t Device  ", "Card Device"},
        {"a\n \nb", "a b"},
        {"\n", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(joinDescriptionLines(c.description), c.name) << c.description;
}

TEST(DeviceNames, TheRecordsCutKeeps31BytesAndWholeCharacters)
{
    EXPECT_EQ(cutProductName("Playback/recording through the PulseAudio sound server"),
              "Playback/recording through the ");
    EXPECT_EQ(cutProductName("Signal generator"), "Signal generator");
    // "ü" takes bytes 30 and 31 (0xC3 0xBC): the cut goes before it.
    const std::string german =
        "Mikrofon am Arbeitstisch im Bl\xC3\xBC"
        "tenweg";
    ASSERT_EQ(german.substr(30, 2), "\xC3\xBC");
    EXPECT_EQ(cutProductName(german), german.substr(0, 30));
    const std::string ascii(40, 'x');
    EXPECT_EQ(cutProductName(ascii).size(), 31u);
}

}  // namespace
}  // namespace varmolen
