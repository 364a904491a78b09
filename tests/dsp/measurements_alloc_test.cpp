// Measuring a buffer allocates nothing: global operator new is counted while
// both channels are measured, TIME and tone readings, through a run of
// buffers that starts, loses and finds its periods again.
#include "dsp/Measurements.h"

#include <gtest/gtest.h>

#include "tests/CountAllocations.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

using varmolen::test::allocations;

using namespace varmolen;

TEST(MeasurementAllocation, BuffersAllocateNothing)
{
    auto m = std::make_unique<Measurements>();
    std::vector<std::uint8_t> bytes(8192);
    // The counter works: an allocation here is seen.
    const long before = allocations.load();
    void* volatile probe = ::operator new(16);
    ::operator delete(probe);
    ASSERT_EQ(allocations.load(), before + 1);

    const long start = allocations.load();
    std::int64_t n = 0;
    for (int b = 0; b < 200; ++b) {
        // A tone that changes its frequency halfway, then clips, then falls silent.
        const double hz = b < 100 ? 997.0 : 3001.0;
        const double amplitude = b < 150 ? 12000.0 : (b < 170 ? 40000.0 : 0.0);
        for (int i = 0; i < 2048; ++i, ++n) {
            const double v = std::clamp(amplitude * std::sin(2 * M_PI * hz * n / 44100.0), -32768.0, 32767.0);
            const auto code = static_cast<std::int16_t>(v);
            for (int k : {0, 2}) {
                bytes[static_cast<std::size_t>(4 * i + k)] = static_cast<std::uint8_t>(code & 0xFF);
                bytes[static_cast<std::size_t>(4 * i + k + 1)] = static_cast<std::uint8_t>((code >> 8) & 0xFF);
            }
        }
        m->measureBlock(RecordedBlock{bytes.data(), 8192, 2, 44100, b > 0}, true, true,
                        MeasureParts{.time = true, .tone = true});
        m->readings(1);
        m->readings(2);
        m->tone(1);
        m->tone(2);
    }
    EXPECT_EQ(allocations.load() - start, 0);
    EXPECT_FALSE(m->readings(1).frequency.valid);  // silent at the end
}
