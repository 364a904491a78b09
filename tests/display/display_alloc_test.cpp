// A display pass allocates nothing: global operator new is counted while
// passes run in every mode with all features on.
#include "display/DisplayPass.h"

#include <gtest/gtest.h>

#include "tests/CountAllocations.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

#include "display/DisplayTestState.h"

using varmolen::test::allocations;

using namespace varmolen;
using varmolen::testing::Bench;

TEST(DisplayAllocation, PassesAllocateNothing)
{
    Bench b;
    b.s.chan1Enabled = 1;
    b.s.chan2Enabled = 1;
    b.s.triggerEnabled = 1;
    b.s.marker1Enabled = 1;
    b.s.marker2Enabled = 1;
    b.s.span = 300;
    b.s.blockSize = 512;
    b.s.interpFactor = 2;
    for (int i = 0; i < 1024; ++i) {
        b.s.chan1Samples[i] = static_cast<int>(9000 * std::sin(i * 0.07));
        b.s.chan2Samples[i] = static_cast<int>(6000 * std::cos(i * 0.31));
    }
    // The counter works: an allocation here is seen.
    const long before = allocations.load();
    void* volatile probe = ::operator new(16);
    ::operator delete(probe);
    ASSERT_EQ(allocations.load(), before + 1);

    long during = 0;
    for (int type : {2, 1}) {
        for (int expanded : {0, 1}) {
            for (int mode : {1, 2}) {
                b.s.displayType = type;
                b.s.expanded = static_cast<flag>(expanded);
                b.s.traceMode = mode;
                b.s.addChannels = static_cast<flag>(mode == 1 && expanded);
                const long start = allocations.load();
                for (int pass = 0; pass < 3; ++pass)
                    runDisplayPass(b.s, b.s, b.s, b.r);
                during += allocations.load() - start;
            }
        }
    }
    EXPECT_EQ(during, 0);
}
