// The memory figures of the running process, read from /proc and /sys.
#pragma once

#include "state/grid_memory.h"

// MemAvailable and the remaining cgroup limit, read now. Files that are
// missing or unreadable give no figure.
MemoryFigures readSystemMemoryFigures();
