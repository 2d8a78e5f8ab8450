// The keyboard commands as data: a constant table from character codes to a
// pure change of the viewer state. No key matches two commands; letters act
// in both cases, the other commands only on the characters listed, so the
// shifted '1' and '2' do nothing.
//
// Escape is not in the table: it ends the process, which is the handler's
// business.
#pragma once

#include "state/grid_memory.h"

struct ViewerState;

inline constexpr unsigned char ESCAPE_KEY = 27;

struct KeyCommand {
    unsigned char key;
    unsigned char otherKey;           // the other case, or the key's second character
    void (*apply)(ViewerState& state);
    bool setsPolygonMode;             // the handler sets the front-face mode to match wireframe
};

// The command of `key`, or nullptr when the key has none.
const KeyCommand* findKeyCommand(unsigned char key);

// The whole table, for walking it in tests.
const KeyCommand* keyCommandsBegin();
const KeyCommand* keyCommandsEnd();

// Where '+' reads the memory figures that a larger grid is weighed against:
// the system's own (readSystemMemoryFigures), or fixed figures in tests.
extern MemoryFigures (*memoryFiguresNow)();
