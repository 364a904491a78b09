#include "persist/SweepFile.h"

namespace varmolen {

std::string composeSweepFile(const SavedResponse& r)
{
    (void)r;
    return {};
}

bool parseSweepFile(std::string_view text, SavedResponse& out, std::string& whyNot)
{
    (void)text;
    (void)out;
    whyNot = "Reading response files is not built yet.";
    return false;
}

bool writeImpulseWav(const std::string& path, std::span<const float> impulse, double rate, std::string& whyNot)
{
    (void)path;
    (void)impulse;
    (void)rate;
    whyNot = "Writing the impulse is not built yet.";
    return false;
}

}  // namespace varmolen
