// libFuzzer entry: every input is one event sequence from start-up; a broken
// invariant is reported and aborts, so the fuzzer keeps the input.
#include "event_checks.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    startEventSequence();
    const std::string failure = runEventSequence(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
