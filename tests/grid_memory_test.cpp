// The memory decision for a larger grid: the verdict over given figures, the
// estimate against what Mesa was measured to keep, and the figures as they
// are read from small fixture texts of /proc and of both cgroup versions.
#include "state/grid_memory.h"
#include "state/viewer_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace {

constexpr std::uint64_t MiB = 1u << 20;
constexpr std::uint64_t GiB = 1u << 30;

TEST(GridMemory, VerdictTable)
{
    const std::uint64_t need2048 = gridMemoryNeed(2048);
    struct Case {
        const char* name;
        int gridSize;
        MemoryFigures figures;
        bool fits;
        std::optional<std::uint64_t> available;
    };
    const Case cases[] = {
        {"plenty of memory, no cgroup limit", 2048, {8 * GiB, std::nullopt}, true, 8 * GiB},
        {"a small cgroup refuses", 2048, {8 * GiB, 100 * MiB}, false, 100 * MiB},
        {"a busy system refuses below its cgroup", 2048, {50 * MiB, GiB}, false, 50 * MiB},
        {"exactly the need fits", 2048, {need2048, std::nullopt}, true, need2048},
        {"one byte short", 2048, {std::nullopt, need2048 - 1}, false, need2048 - 1},
        {"nothing known: no limit to keep to", MAX_GRID_SIZE, {std::nullopt, std::nullopt}, true, std::nullopt},
        {"the largest grid on this kind of machine", MAX_GRID_SIZE, {23 * GiB, std::nullopt}, true, 23 * GiB},
        {"the largest grid in a few hundred MiB", MAX_GRID_SIZE, {23 * GiB, 300 * MiB}, false, 300 * MiB},
    };
    for (const Case& c : cases) {
        const GridMemoryVerdict verdict = gridMemoryVerdict(c.gridSize, c.figures);
        EXPECT_EQ(verdict.fits, c.fits) << c.name;
        EXPECT_EQ(verdict.needed, gridMemoryNeed(c.gridSize)) << c.name;
        EXPECT_EQ(verdict.available, c.available) << c.name;
    }
}

TEST(GridMemory, NeedCoversTheGridsAndWhatMesaKeptOfTheTerrain)
{
    EXPECT_EQ(gridBytes(128), 49152u);
    EXPECT_EQ(gridBytes(MAX_GRID_SIZE), 805306368u) << "768 MiB, in 64 bits";
    // Bytes Mesa 22.3 (llvmpipe) kept for the compiled terrain: the heap
    // in use after the list was closed less before it was opened, the
    // larger of caps 25 and 2000.
    struct Measured {
        int gridSize;
        std::uint64_t bytes;
    };
    for (const Measured m : {Measured{1024, 7681440}, Measured{2048, 23582592}, Measured{4096, 69857360},
                             Measured{8192, 205756560}, Measured{16384, 621509952}}) {
        EXPECT_GE(compiledTerrainBytes(m.gridSize), 2 * m.bytes) << m.gridSize;
        EXPECT_LE(compiledTerrainBytes(m.gridSize), 3 * m.bytes) << m.gridSize << ": far above what is kept";
    }
    EXPECT_EQ(gridMemoryNeed(2048), gridBytes(2048) + compiledTerrainBytes(2048) + GRID_MEMORY_MARGIN);
}

TEST(GridMemory, RefusalLineNamesSizeNeedAndAvailable)
{
    const GridMemoryVerdict verdict{false, 300 * MiB + 1, 120 * MiB + MiB / 2};
    EXPECT_EQ(gridRefusalLine(4096, verdict), "vellacor: grid 4096 x 4096 refused: it needs 301 MiB, 120 MiB available\n");
}

TEST(MemoryTexts, MemAvailable)
{
    EXPECT_EQ(parseMemAvailable("MemTotal:       24684364 kB\nMemFree:        23361308 kB\n"
                                "MemAvailable:   24022496 kB\nBuffers:           0 kB\n"),
              24022496ull * 1024);
    EXPECT_EQ(parseMemAvailable("MemTotal:       24684364 kB\nMemFree:        23361308 kB\n"), std::nullopt)
        << "kernels before 3.14 have no MemAvailable";
    EXPECT_EQ(parseMemAvailable("MemAvailable:   lots kB\n"), std::nullopt);
    EXPECT_EQ(parseMemAvailable(""), std::nullopt);
}

TEST(MemoryTexts, CgroupFiles)
{
    EXPECT_EQ(parseCgroupBytes("314572800\n"), 314572800u);
    EXPECT_EQ(parseCgroupBytes("9223372036854771712\n"), 9223372036854771712u) << "v1 without a limit";
    EXPECT_EQ(parseCgroupBytes("max\n"), std::nullopt) << "v2 without a limit";
    EXPECT_EQ(parseCgroupBytes(""), std::nullopt);
    EXPECT_EQ(parseCgroupBytes("12k\n"), std::nullopt);
    EXPECT_EQ(parseCgroupBytes("99999999999999999999999\n"), std::nullopt);
    const std::string stat = "cache 4096\nrss 1000\ninactive_file 815104\ntotal_inactive_file 915104\n";
    EXPECT_EQ(parseStatEntry(stat, "inactive_file"), 815104u);
    EXPECT_EQ(parseStatEntry(stat, "total_inactive_file"), 915104u);
    EXPECT_EQ(parseStatEntry(stat, "active_file"), std::nullopt);
}

TEST(MemoryTexts, CgroupPathAndMount)
{
    const std::string hybrid = "9:name=systemd:/\n8:pids:/\n4:memory:/process_api/41d5\n3:cpu,cpuacct:/\n0::/\n";
    EXPECT_EQ(cgroupPath(hybrid, false), "/process_api/41d5");
    EXPECT_EQ(cgroupPath(hybrid, true), "/");
    EXPECT_EQ(cgroupPath("0::/user.slice/user-1000.slice/session-2.scope\n", true),
              "/user.slice/user-1000.slice/session-2.scope");
    EXPECT_EQ(cgroupPath("0::/user.slice\n", false), std::nullopt);
    EXPECT_EQ(cgroupPath("7:memory,hugetlb:/a:b\n", false), "/a:b") << "other controllers, a colon in the path";
    EXPECT_EQ(cgroupPath("", true), std::nullopt);

    const std::string mountinfo =
        "25 30 0:23 / /sys rw,nosuid - sysfs sysfs rw\n"
        "31 25 0:26 / /sys/fs/cgroup/unified rw,nosuid shared:10 - cgroup2 cgroup2 rw,nsdelegate\n"
        "35 25 0:30 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu\n"
        "38 25 0:33 /docker/abc /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n";
    const std::optional<CgroupMount> v1 = cgroupMount(mountinfo, false);
    ASSERT_TRUE(v1);
    EXPECT_EQ(v1->root, "/docker/abc");
    EXPECT_EQ(v1->mountPoint, "/sys/fs/cgroup/memory");
    const std::optional<CgroupMount> v2 = cgroupMount(mountinfo, true);
    ASSERT_TRUE(v2);
    EXPECT_EQ(v2->mountPoint, "/sys/fs/cgroup/unified");
    EXPECT_EQ(cgroupMount("35 25 0:30 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu\n", false), std::nullopt);
}

// A /proc and /sys of fixture files; anything else cannot be read.
using Files = std::map<std::string, std::string>;

MemoryFigures figuresOf(const Files& files)
{
    return memoryFiguresFrom([&files](const std::string& path) -> std::optional<std::string> {
        const auto found = files.find(path);
        return found == files.end() ? std::nullopt : std::optional<std::string>(found->second);
    });
}

const std::string MEMINFO = "MemTotal: 24684364 kB\nMemAvailable: 8388608 kB\n"; // 8 GiB
const std::string HYBRID_MOUNTS =
    "31 25 0:26 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n"
    "38 25 0:33 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n";
const std::string V1_ROOT = "/sys/fs/cgroup/memory";
const std::string V1_NO_LIMIT = "9223372036854771712\n";

TEST(MemoryFigures, CgroupV1AlongThePathToTheRoot)
{
    Files files{
        {"/proc/meminfo", MEMINFO},
        {"/proc/self/cgroup", "4:memory:/session/viewer\n0::/\n"},
        {"/proc/self/mountinfo", HYBRID_MOUNTS},
        {V1_ROOT + "/memory.limit_in_bytes", V1_NO_LIMIT},
        {V1_ROOT + "/memory.usage_in_bytes", "5000000000\n"},
        {V1_ROOT + "/session/memory.limit_in_bytes", V1_NO_LIMIT},
        {V1_ROOT + "/session/memory.usage_in_bytes", "400000000\n"},
        {V1_ROOT + "/session/viewer/memory.limit_in_bytes", std::to_string(300 * MiB) + "\n"},
        {V1_ROOT + "/session/viewer/memory.usage_in_bytes", std::to_string(120 * MiB) + "\n"},
        {V1_ROOT + "/session/viewer/memory.stat", "inactive_file 1\ntotal_inactive_file " +
                                                      std::to_string(20 * MiB) + "\n"},
    };
    MemoryFigures figures = figuresOf(files);
    EXPECT_EQ(figures.systemAvailable, 8 * GiB);
    EXPECT_EQ(figures.cgroupRemaining, 200 * MiB) << "300 MiB less 120 used, of which 20 reclaimable";
    EXPECT_FALSE(gridMemoryVerdict(4096, figures).fits);
    EXPECT_TRUE(gridMemoryVerdict(2048, figures).fits);

    // A tighter limit on an ancestor binds the viewer's cgroup as well.
    files[V1_ROOT + "/session/memory.limit_in_bytes"] = std::to_string(400000000 + 50 * MiB) + "\n";
    EXPECT_EQ(figuresOf(files).cgroupRemaining, 50 * MiB);

    // Over its limit (usage may pass it briefly): nothing remains.
    files[V1_ROOT + "/session/viewer/memory.usage_in_bytes"] = std::to_string(301 * MiB) + "\n";
    files.erase(V1_ROOT + "/session/viewer/memory.stat");
    EXPECT_EQ(figuresOf(files).cgroupRemaining, 0u);
}

TEST(MemoryFigures, CgroupV2WithMaxAtTheLeafAndALimitAbove)
{
    const std::string slice = "/sys/fs/cgroup/user.slice";
    Files files{
        {"/proc/meminfo", MEMINFO},
        {"/proc/self/cgroup", "0::/user.slice/session-2.scope\n"},
        {"/proc/self/mountinfo", "30 25 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw,nsdelegate\n"},
        {slice + "/memory.max", std::to_string(GiB) + "\n"},
        {slice + "/memory.current", std::to_string(700 * MiB) + "\n"},
        {slice + "/memory.stat", "anon 1\ninactive_file " + std::to_string(100 * MiB) + "\n"},
        {slice + "/session-2.scope/memory.max", "max\n"},
        {slice + "/session-2.scope/memory.current", std::to_string(300 * MiB) + "\n"},
    };
    const MemoryFigures figures = figuresOf(files);
    EXPECT_EQ(figures.systemAvailable, 8 * GiB);
    EXPECT_EQ(figures.cgroupRemaining, 424 * MiB);
    EXPECT_EQ(availableMemory(figures), 424 * MiB);
}

TEST(MemoryFigures, NoLimitAndUnreadableFiles)
{
    struct Case {
        const char* name;
        Files files;
        std::optional<std::uint64_t> systemAvailable, cgroupRemaining;
    };
    const Case cases[] = {
        {"v1 without a limit anywhere: only MemAvailable counts",
         {{"/proc/meminfo", MEMINFO},
          {"/proc/self/cgroup", "4:memory:/a\n"},
          {"/proc/self/mountinfo", HYBRID_MOUNTS},
          {V1_ROOT + "/a/memory.limit_in_bytes", V1_NO_LIMIT},
          {V1_ROOT + "/a/memory.usage_in_bytes", "1000\n"}},
         8 * GiB,
         9223372036854771712u - 1000},
        {"the unified hierarchy without the memory controller",
         {{"/proc/meminfo", MEMINFO}, {"/proc/self/cgroup", "0::/a\n"}, {"/proc/self/mountinfo", HYBRID_MOUNTS}},
         8 * GiB,
         std::nullopt},
        {"a limit whose usage cannot be read",
         {{"/proc/self/cgroup", "4:memory:/a\n"},
          {"/proc/self/mountinfo", HYBRID_MOUNTS},
          {V1_ROOT + "/a/memory.limit_in_bytes", "1000\n"}},
         std::nullopt,
         std::nullopt},
        {"a cgroup the mount does not show",
         {{"/proc/self/cgroup", "4:memory:/elsewhere\n"},
          {"/proc/self/mountinfo", "38 25 0:33 /docker/abc /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n"},
          {V1_ROOT + "/memory.limit_in_bytes", "1000\n"},
          {V1_ROOT + "/memory.usage_in_bytes", "10\n"}},
         std::nullopt,
         std::nullopt},
        {"a container whose mount shows its own cgroup as the root",
         {{"/proc/self/cgroup", "4:memory:/docker/abc\n"},
          {"/proc/self/mountinfo", "38 25 0:33 /docker/abc /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n"},
          {V1_ROOT + "/memory.limit_in_bytes", "1000\n"},
          {V1_ROOT + "/memory.usage_in_bytes", "10\n"}},
         std::nullopt,
         990},
        {"nothing readable at all", {}, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const MemoryFigures figures = figuresOf(c.files);
        EXPECT_EQ(figures.systemAvailable, c.systemAvailable) << c.name;
        EXPECT_EQ(figures.cgroupRemaining, c.cgroupRemaining) << c.name;
    }
    EXPECT_TRUE(gridMemoryVerdict(MAX_GRID_SIZE, figuresOf({})).fits) << "no figure: the allocator decides";
}

} // namespace
