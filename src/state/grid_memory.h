// Whether a larger grid fits the memory the process can still get.
//
// Under Linux's default overcommit a large allocation succeeds and its pages
// fail only when touched, and then the kernel's out-of-memory killer ends the
// process; std::bad_alloc seldom comes. So before a key takes a larger grid,
// what it will need is compared with what is left: the smaller of the
// system's MemAvailable and the remaining limit of the process's memory
// cgroup (v1 or v2, the tightest along the path from the process's cgroup up
// to the root of the hierarchy).
//
// Everything here is pure: the figures are parsed from file texts handed in,
// through a reader that tests replace with small fixtures. The one reader of
// the real /proc and /sys is readSystemMemoryFigures (system_memory.h).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Both grids: 2 bytes of height and 1 byte of mask per sample.
std::uint64_t gridBytes(int gridSize);

// Estimate of the compiled terrain the GL driver keeps for a grid. Measured
// with Mesa (llvmpipe) from 128 to 16384 and caps from 25 to 2000, the list
// takes about 28 bytes per vertex (position and colour, and its share of the
// strips and quads), and this fractal's mesh has 9 to 11 * N * sqrt(N)
// vertices at a cap of 2000 (fewer at low caps, and hardly more above):
// flat runs become single quads, and only the cells along the level curves
// of the escape count stay strips, so the count grows far slower than N^2.
// The estimate takes 32 bytes for each of 20 * N * sqrt(N) vertices, about
// twice the most that was measured: 640 * N * sqrt(N) bytes (57 MiB at 2048,
// 453 MiB at 8192 and 1280 MiB at 16384, where Mesa took 22, 196 and 593 MiB).
std::uint64_t compiledTerrainBytes(int gridSize);

// Beyond the grids and the terrain: what the driver takes for a frame and
// the allocator's slack (the first frame alone costs Mesa about 19 MiB).
inline constexpr std::uint64_t GRID_MEMORY_MARGIN = 64ull << 20;

// Memory a grid of this size needs on top of what the process holds.
std::uint64_t gridMemoryNeed(int gridSize);

// What the process can still get, as far as it can be known. An absent
// figure is not known, or not limited (no cgroup limit, files missing).
struct MemoryFigures {
    std::optional<std::uint64_t> systemAvailable; // MemAvailable of /proc/meminfo, bytes
    std::optional<std::uint64_t> cgroupRemaining; // tightest cgroup limit minus its usage, bytes
};

// The smaller of the known figures; absent when neither is known.
std::optional<std::uint64_t> availableMemory(const MemoryFigures& figures);

struct GridMemoryVerdict {
    bool fits;
    std::uint64_t needed;
    std::optional<std::uint64_t> available; // absent: nothing limits it as far as can be seen
};

// A grid fits when its need is at most what is available, or when no limit
// is known (the allocator's refusal then remains the only guard).
GridMemoryVerdict gridMemoryVerdict(int gridSize, const MemoryFigures& figures);

// The one line written on standard error for a refused grid: the size asked
// for, the memory it needs and the memory available, in MiB (the need
// rounded up, the available memory down). Ends with a newline.
std::string gridRefusalLine(int gridSize, const GridMemoryVerdict& verdict);

// --- the file texts ---------------------------------------------------------

// MemAvailable of a /proc/meminfo text, in bytes.
std::optional<std::uint64_t> parseMemAvailable(std::string_view meminfo);

// A cgroup limit or usage file: a byte count, or "max" (v2) for no limit,
// which like an unreadable text gives no figure. The v1 "no limit", a count
// near 2^63, is kept as a count: it limits nothing once compared.
std::optional<std::uint64_t> parseCgroupBytes(std::string_view text);

// The value of `key` in a memory.stat text ("key value" lines).
std::optional<std::uint64_t> parseStatEntry(std::string_view stat, std::string_view key);

// The process's cgroup path in the memory hierarchy of a /proc/self/cgroup
// text: the v1 line that names the memory controller, or the v2 line "0::".
std::optional<std::string> cgroupPath(std::string_view procCgroup, bool unified);

// Where a hierarchy is mounted, from a /proc/self/mountinfo text: the cgroup
// that the mount shows as its root, and the mount point. For v1 only a mount
// with the memory controller counts.
struct CgroupMount {
    std::string root;
    std::string mountPoint;
};
std::optional<CgroupMount> cgroupMount(std::string_view mountinfo, bool unified);

// The text of a file, or nothing when it cannot be read.
using ReadText = std::function<std::optional<std::string>(const std::string& path)>;

// The figures of /proc/meminfo and of both cgroup hierarchies, through `read`.
MemoryFigures memoryFiguresFrom(const ReadText& read);
