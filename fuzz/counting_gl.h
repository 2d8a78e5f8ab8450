// A counting GL stand-in for the event-sequence checks: it defines the GL,
// GLU and GLUT entry points the viewer calls, like the unit tests' recorder,
// but keeps no log, only the tallies and flags the checks read. Each call
// costs a few increments, so a fuzzer can send events at any grid size.
#pragma once

#include <cstddef>

struct GlTally {
    std::size_t clears;      // one at the start of every display pass
    std::size_t swaps;       // one at the end of every display pass
    std::size_t newLists;
    std::size_t endLists;
    std::size_t deleteLists;
    std::size_t callLists;
    std::size_t redisplayRequests;
    bool insidePrimitive;    // between glBegin and glEnd
    bool compilingList;      // between glNewList and glEndList
    const char* misuse;      // the first call made where GL does not allow it, or null
};

const GlTally& glTally();
void resetGlTally();
