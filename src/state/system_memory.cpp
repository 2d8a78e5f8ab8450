// The only reader of the real /proc and /sys files behind the memory
// decision; everything else about it is in grid_memory.cpp.
#include "state/system_memory.h"

#include <fstream>
#include <sstream>

static std::optional<std::string> readTextFile(const std::string& path)
{
    std::ifstream file(path);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        return std::nullopt;
    }
    return text.str();
}

MemoryFigures readSystemMemoryFigures()
{
    return memoryFiguresFrom(readTextFile);
}
