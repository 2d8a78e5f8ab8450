// The instruction sets the kernel can run on this processor, against the list
// a test run expects in VELLACOR_EXPECTED_TARGETS (Highway's names, best
// first, separated by spaces). The emulated arm64 runs set it: a processor
// option the emulator ignored would otherwise leave the bit-identity tests
// passing on fewer instruction sets than the run is there to check.
#include "fractal/escape_kernel.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

TEST(KernelTargets, AreTheOnesThisRunExpects)
{
    std::string names;
    for (std::int64_t target : escapeKernelTargets()) {
        if (!names.empty()) {
            names += ' ';
        }
        names += hwy::TargetName(target);
    }
    ASSERT_FALSE(names.empty());
    std::cout << "kernel targets on this processor: " << names << '\n';
    if (const char* expected = std::getenv("VELLACOR_EXPECTED_TARGETS")) {
        EXPECT_EQ(names, expected);
    }
}

} // namespace
