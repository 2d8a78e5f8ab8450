// Event sequences for the fuzzer and its seeded test: decodes bytes into
// toolkit events, sends each to the real input handlers against the
// counting GL stand-in, and checks the viewer's invariants after every one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Resets the viewer to its start-up state with its first frame drawn.
void startEventSequence();

// Runs the events `data` decodes to. Returns an empty string when every
// invariant held after every event, else what broke and after which event.
std::string runEventSequence(const std::uint8_t* data, std::size_t size);
