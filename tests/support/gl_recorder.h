// A recording stand-in for the GL, GLU and GLUT entry points the viewer
// calls. Linked in place of the real libraries, every call is appended to a
// log with its exact arguments, so tests can check call order and compare
// values bit for bit without a window or an X server.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct GlCall {
    const char* name;       // the entry point, e.g. "glVertex3f"
    int argCount;
    double args[4];         // numeric arguments; floats widen exactly
    const void* callback;   // the function registered by a glut*Func call
    std::string text;       // the window title, or glutInit's argument vector joined by spaces
};

const std::vector<GlCall>& recordedCalls();
void clearRecordedCalls();

// While paused, calls are counted per name but not logged, for emitting
// meshes too large to keep call by call.
void pauseRecording(bool paused);

// Calls seen since the last clear, logged or not, of one entry point.
std::size_t callCount(const char* name);

// The logged calls' names, in order.
std::vector<std::string> recordedNames();
