// The fuzzer's checks as an ordinary test: event sequences from a fixed seed,
// so every run sends the same events and a failure names its seed.
#include "event_checks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

TEST(EventSequences, InvariantsHoldAfterEveryEvent)
{
    for (std::uint32_t seed = 1; seed <= 200; ++seed) {
        std::mt19937 random(seed);
        std::vector<std::uint8_t> bytes(64 + random() % 256);
        for (std::uint8_t& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
        startEventSequence();
        EXPECT_EQ(runEventSequence(bytes.data(), bytes.size()), "") << "seed " << seed;
    }
}

// Hand-picked events the random ones rarely hit together: every command key
// in turn, the grid to its fuzzing limit and back, pointer and reshape
// extremes, and passes with nothing to do.
TEST(EventSequences, EdgeEventsKeepTheInvariants)
{
    const std::vector<std::uint8_t> events = {
        0, '+', 0, '+', 0, '+', 0, '+', 0, '-', 0, '=', 0, '_', 0, '-', 0, '-', 0, '-', 0, '-',
        0, '1', 0, '1', 0, '2', 0, '2', 0, '2', 0, 'm', 0, 'M', 0, 'm', 0, 'c', 0, 'i', 0, 'I', 0, 'w', 0, 'W',
        2, 0x80, 0x00, 0, 0x7f, 0xff, 0, 2, 0x7f, 0xff, 0, 0x80, 0x00, 0, 2, 0, 0, 1, 0, 0, 1,
        3, 0, 0, 0, 0, 3, 0, 0, 7, 255, 3, 7, 255, 0, 0, 4, 4,
        1, 100, 1, 101, 1, 102, 1, 103, 1, 112, 1, 255, 0, 0, 0, 255, 4,
    };
    startEventSequence();
    EXPECT_EQ(runEventSequence(events.data(), events.size()), "");
}
