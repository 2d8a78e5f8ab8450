// Start-up sequence: console text, first height field, the window, the
// callbacks, the fixed rendering state, and the toolkit's event loop.
#pragma once

// Writes the banner and usage text, thirteen lines, and flushes them.
void printUsage();

// Creates the one window with the given title; its rendering context becomes
// current. Returns the toolkit's window identifier.
int createMainWindow(const char* title);

// Registers every callback the viewer has, in the one order it uses.
void registerCallbacks();

// The rendering state that never changes after start-up.
void setFixedRenderState();

// Runs the whole start-up and enters the event loop, which does not return
// while the program runs. Only the program's name is passed on to the
// toolkit; every other argument is ignored.
int runViewer(int argc, char** argv);
