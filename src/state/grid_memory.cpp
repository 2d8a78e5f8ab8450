// The memory decision for a larger grid, and the parsing of the figures it
// rests on. No file is opened here: every text comes through a reader.
#include "state/grid_memory.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

std::uint64_t gridBytes(int gridSize)
{
    const auto n = static_cast<std::uint64_t>(gridSize);
    return 3 * n * n;
}

std::uint64_t compiledTerrainBytes(int gridSize)
{
    const double n = gridSize;
    return static_cast<std::uint64_t>(std::ceil(640.0 * n * std::sqrt(n)));
}

std::uint64_t gridMemoryNeed(int gridSize)
{
    return gridBytes(gridSize) + compiledTerrainBytes(gridSize) + GRID_MEMORY_MARGIN;
}

std::optional<std::uint64_t> availableMemory(const MemoryFigures& figures)
{
    if (figures.systemAvailable && figures.cgroupRemaining) {
        return std::min(*figures.systemAvailable, *figures.cgroupRemaining);
    }
    return figures.systemAvailable ? figures.systemAvailable : figures.cgroupRemaining;
}

GridMemoryVerdict gridMemoryVerdict(int gridSize, const MemoryFigures& figures)
{
    const std::uint64_t needed = gridMemoryNeed(gridSize);
    const std::optional<std::uint64_t> available = availableMemory(figures);
    return {!available || needed <= *available, needed, available};
}

std::string gridRefusalLine(int gridSize, const GridMemoryVerdict& verdict)
{
    constexpr std::uint64_t mib = 1u << 20;
    const std::string size = std::to_string(gridSize);
    const std::string available =
        verdict.available ? std::to_string(*verdict.available / mib) + " MiB available" : "no limit known";
    return "vellacor: grid " + size + " x " + size + " refused: it needs " +
           std::to_string((verdict.needed + mib - 1) / mib) + " MiB, " + available + "\n";
}

namespace {

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\n");
    return text.substr(first, last - first + 1);
}

// A whole field of decimal digits, nothing else.
std::optional<std::uint64_t> parseCount(std::string_view text)
{
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> splitOn(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::vector<std::string_view> lines(std::string_view text)
{
    std::vector<std::string_view> result = splitOn(text, '\n');
    if (!result.empty() && result.back().empty()) {
        result.pop_back();
    }
    return result;
}

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> result;
    for (std::string_view word : splitOn(line, ' ')) {
        if (!word.empty()) {
            result.push_back(word);
        }
    }
    return result;
}

bool listHas(std::string_view commaList, std::string_view name)
{
    const std::vector<std::string_view> names = splitOn(commaList, ',');
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

std::optional<std::uint64_t> parseMemAvailable(std::string_view meminfo)
{
    for (std::string_view line : lines(meminfo)) {
        const std::vector<std::string_view> fields = words(line);
        if (fields.size() == 3 && fields[0] == "MemAvailable:" && fields[2] == "kB") {
            const std::optional<std::uint64_t> kib = parseCount(fields[1]);
            return kib ? std::optional<std::uint64_t>(*kib * 1024) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> parseCgroupBytes(std::string_view text)
{
    return parseCount(trimmed(text));
}

std::optional<std::uint64_t> parseStatEntry(std::string_view stat, std::string_view key)
{
    for (std::string_view line : lines(stat)) {
        const std::vector<std::string_view> fields = words(line);
        if (fields.size() == 2 && fields[0] == key) {
            return parseCount(fields[1]);
        }
    }
    return std::nullopt;
}

std::optional<std::string> cgroupPath(std::string_view procCgroup, bool unified)
{
    for (std::string_view line : lines(procCgroup)) {
        // "id:controllers:path"; the path itself may hold colons.
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) {
            continue;
        }
        const std::string_view id = line.substr(0, first);
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const bool wanted = unified ? id == "0" && controllers.empty() : listHas(controllers, "memory");
        if (wanted) {
            return std::string(line.substr(second + 1));
        }
    }
    return std::nullopt;
}

std::optional<CgroupMount> cgroupMount(std::string_view mountinfo, bool unified)
{
    for (std::string_view line : lines(mountinfo)) {
        // "id parent major:minor root mount-point options [tags...] - type source super-options"
        const std::vector<std::string_view> fields = words(line);
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 6 || dash == fields.end() || fields.end() - dash < 2) {
            continue;
        }
        const std::string_view type = dash[1];
        const bool wanted = unified ? type == "cgroup2"
                                    : type == "cgroup" && fields.end() - dash >= 4 && listHas(dash[3], "memory");
        if (wanted) {
            return CgroupMount{std::string(fields[3]), std::string(fields[4])};
        }
    }
    return std::nullopt;
}

namespace {

// Limit minus usage of one cgroup directory, absent where it has no limit or
// its files cannot be read. Inactive file pages count as free: the kernel
// reclaims them before it runs out, so the usage alone would undercount.
std::optional<std::uint64_t> remainingIn(const ReadText& read, const std::string& directory, bool unified)
{
    const auto text = [&](const char* name) { return read(directory + "/" + name).value_or(""); };
    const std::optional<std::uint64_t> limit =
        parseCgroupBytes(text(unified ? "memory.max" : "memory.limit_in_bytes"));
    const std::optional<std::uint64_t> usage =
        parseCgroupBytes(text(unified ? "memory.current" : "memory.usage_in_bytes"));
    if (!limit || !usage) {
        return std::nullopt;
    }
    const std::uint64_t reclaimable =
        parseStatEntry(text("memory.stat"), unified ? "inactive_file" : "total_inactive_file").value_or(0);
    const std::uint64_t used = *usage - std::min(reclaimable, *usage);
    return *limit > used ? *limit - used : 0;
}

// The tightest remaining limit from the process's cgroup up to the root of
// the hierarchy's mount: an ancestor's limit binds its whole subtree.
std::optional<std::uint64_t> cgroupRemaining(const ReadText& read, std::string_view procCgroup,
                                             std::string_view mountinfo, bool unified)
{
    const std::optional<std::string> path = cgroupPath(procCgroup, unified);
    const std::optional<CgroupMount> mount = cgroupMount(mountinfo, unified);
    if (!path || !mount) {
        return std::nullopt;
    }
    // The mount shows the hierarchy from its root cgroup down; a path
    // outside it cannot be reached through this mount.
    const std::string root = mount->root == "/" ? "" : mount->root;
    if (path->compare(0, root.size(), root) != 0 || (path->size() > root.size() && (*path)[root.size()] != '/')) {
        return std::nullopt;
    }
    std::string relative = path->substr(root.size());
    if (relative == "/") {
        relative.clear();
    }
    std::optional<std::uint64_t> tightest;
    while (true) {
        const std::optional<std::uint64_t> remaining = remainingIn(read, mount->mountPoint + relative, unified);
        if (remaining) {
            tightest = tightest ? std::min(*tightest, *remaining) : *remaining;
        }
        const std::size_t slash = relative.rfind('/');
        if (relative.empty() || slash == std::string::npos) {
            return tightest;
        }
        relative.erase(slash);
    }
}

std::optional<std::uint64_t> smaller(std::optional<std::uint64_t> a, std::optional<std::uint64_t> b)
{
    if (a && b) {
        return std::min(*a, *b);
    }
    return a ? a : b;
}

} // namespace

MemoryFigures memoryFiguresFrom(const ReadText& read)
{
    const std::string procCgroup = read("/proc/self/cgroup").value_or("");
    const std::string mountinfo = read("/proc/self/mountinfo").value_or("");
    return {parseMemAvailable(read("/proc/meminfo").value_or("")),
            smaller(cgroupRemaining(read, procCgroup, mountinfo, false),
                    cgroupRemaining(read, procCgroup, mountinfo, true))};
}
