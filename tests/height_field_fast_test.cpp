// The vector kernel against the plain loop, bit for bit, on every instruction
// set compiled into the program that this processor runs and with each of the
// kernel's ways of stepping: whole grids over a table of sizes, caps and
// conventions, dense patches at the places where orbits are slowest to decide
// or where cycle detection could go wrong, and the edges of the shortcut
// regions at the highest cap.
//
// Under emulation (VELLACOR_EMULATED set) and under AddressSanitizer the
// tables are smaller, but every target still meets every kind of region, both
// conventions, the highest cap and a size that is not 128 * 2^k.
#include "computed_grid.h"
#include "fractal/escape_kernel.h"
#include "fractal/escape_kernel_shortcut.h"
#include "fractal/height_field.h"
#include "state/viewer_state.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace {

// Runs `check` once with the kernel restricted to each target in turn.
template <typename Check>
void onEveryTarget(const Check& check)
{
    const std::vector<std::int64_t> targets = escapeKernelTargets();
    ASSERT_FALSE(targets.empty());
    for (std::int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        ASSERT_STREQ(escapeKernelTargetName(), hwy::TargetName(target));
        SCOPED_TRACE(std::string("target ") + hwy::TargetName(target));
        check();
    }
    hwy::SetSupportedTargetsForTest(0);
}

// The kernel's ways of stepping: blocks alone, the refill alone (with cycle
// detection, even at caps where it is not used), and the way it chooses for
// the cap (blocks first, then the refill, with cycle detection from a cap on).
std::vector<EscapeStepping> everyStepping(int maxIterations)
{
    return {EscapeStepping{std::numeric_limits<int>::max(), false}, EscapeStepping{0, true},
            steppingForCap(maxIterations)};
}

std::string steppingName(EscapeStepping stepping)
{
    return std::to_string(stepping.blockSteps) + " block steps" + (stepping.detectCycles ? ", cycles" : "");
}

// Runs `check(stepping)` with every stepping on every target.
template <typename Check>
void onEveryTargetAndStepping(int maxIterations, const Check& check)
{
    onEveryTarget([&] {
        for (EscapeStepping stepping : everyStepping(maxIterations)) {
            SCOPED_TRACE("stepping: " + steppingName(stepping));
            check(stepping);
        }
    });
}

// The smaller tables: under emulation (VELLACOR_EMULATED set) every step
// costs a hundred times more, and under AddressSanitizer, which checks the
// kernel's memory accesses rather than its arithmetic, several times more.
bool smallerTables()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return std::getenv("VELLACOR_EMULATED") != nullptr;
#endif
}

// Gives the dispatch back to the best target even when a check fails midway.
class FastHeightField : public ::testing::Test {
protected:
    void TearDown() override { hwy::SetSupportedTargetsForTest(0); }
};

// Reports the first sample where two grids of `columns` columns differ.
::testing::AssertionResult sameHeights(const std::vector<std::uint16_t>& plain,
                                       const std::vector<std::uint16_t>& fast, std::size_t columns)
{
    if (plain.size() != fast.size()) {
        return ::testing::AssertionFailure() << "sizes " << plain.size() << " and " << fast.size();
    }
    for (std::size_t k = 0; k < plain.size(); ++k) {
        if (plain[k] != fast[k]) {
            return ::testing::AssertionFailure() << "sample (" << k / columns << ", " << k % columns
                                                 << "): plain " << plain[k] << ", fast " << fast[k];
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::uint16_t> plainGrid(int gridSize, int maxIterations, bool heightInverted)
{
    std::vector<std::uint16_t> heights(gridEntryCount(gridSize));
    computeHeightsPlain(heights.data(), gridSize, maxIterations, heightInverted);
    return heights;
}

// A rectangle of sample points and the plain loop's heights of it (escape
// counts: the inverted convention).
struct Patch {
    std::vector<double> columnCx, rowCy;
};

std::vector<std::uint16_t> plainCounts(const Patch& patch, int maxIterations)
{
    std::vector<std::uint16_t> counts;
    for (double cy : patch.rowCy) {
        for (double cx : patch.columnCx) {
            counts.push_back(static_cast<std::uint16_t>(escapeCount(cx, cy, maxIterations)));
        }
    }
    return counts;
}

std::vector<std::uint16_t> fastCounts(const Patch& patch, int maxIterations, EscapeStepping stepping)
{
    std::vector<std::uint16_t> counts(patch.columnCx.size() * patch.rowCy.size(), 0xFFFF);
    computeHeightsOfRectangleWith(counts.data(), patch.columnCx.data(), patch.columnCx.size(), patch.rowCy.data(),
                                  patch.rowCy.size(), maxIterations, true, stepping);
    return counts;
}

// columns x rows points around `centre`, `spacing` apart; the middle row
// has the centre's imaginary part.
Patch patchAround(std::complex<double> centre, double spacing, int columns, int rows)
{
    Patch patch;
    for (int c = 0; c < columns; ++c) {
        patch.columnCx.push_back(centre.real() + (c - columns / 2) * spacing);
    }
    for (int r = 0; r < rows; ++r) {
        patch.rowCy.push_back(centre.imag() + (r - rows / 2) * spacing);
    }
    return patch;
}

// `count` doubles one unit in the last place apart, centred on `centre`.
std::vector<double> ulpsAround(double centre, int count)
{
    double value = centre;
    for (int k = 0; k < count / 2; ++k) {
        value = std::nextafter(value, -10.0);
    }
    std::vector<double> values;
    for (int k = 0; k < count; ++k) {
        values.push_back(value);
        value = std::nextafter(value, 10.0);
    }
    return values;
}

// The same, one unit in the last place apart along the real axis and tiny
// (down to subnormal) imaginary parts.
Patch ulpPatchAround(double centreX, int columns, int rows)
{
    Patch patch;
    patch.columnCx = ulpsAround(centreX, columns);
    for (int r = 0; r < rows; ++r) {
        patch.rowCy.push_back(std::ldexp(static_cast<double>(r - rows / 2), -1070 + 20 * (r % 53)));
    }
    return patch;
}

void expectGridsAgree(int gridSize, int maxIterations)
{
    for (bool heightInverted : {false, true}) {
        SCOPED_TRACE("grid " + std::to_string(gridSize) + ", cap " + std::to_string(maxIterations) +
                     (heightInverted ? ", inverted" : ""));
        const std::vector<std::uint16_t> plain = plainGrid(gridSize, maxIterations, heightInverted);
        onEveryTargetAndStepping(maxIterations, [&](EscapeStepping stepping) {
            std::vector<std::uint16_t> fast(plain.size(), 0xFFFF);
            computeHeightsFastWith(fast.data(), gridSize, maxIterations, heightInverted, stepping);
            EXPECT_TRUE(sameHeights(plain, fast, static_cast<std::size_t>(gridSize)));
        });
    }
}

TEST_F(FastHeightField, GridsEqualThePlainLoop)
{
    // 999 and 131 are not 128 * 2^k: their step is inexact, their rows fill
    // no whole vector, and the running sums differ from products.
    const std::vector<int> sizes = smallerTables() ? std::vector<int>{128, 131} : std::vector<int>{128, 256, 512, 1024, 999};
    const std::vector<int> caps = smallerTables() ? std::vector<int>{25, 250, 1000} : std::vector<int>{25, 50, 75, 250, 1000};
    for (int gridSize : sizes) {
        for (int maxIterations : caps) {
            expectGridsAgree(gridSize, maxIterations);
        }
    }
}

TEST_F(FastHeightField, GridsAtTheHighestCap)
{
    // Every component of the set the grid meets, iterated to the end or
    // caught in a cycle.
    for (int gridSize : smallerTables() ? std::vector<int>{40} : std::vector<int>{128, 200}) {
        expectGridsAgree(gridSize, MAX_ITERATIONS);
    }
}

TEST_F(FastHeightField, ComputeFractalStoresThePlainGrid)
{
    ViewerState state;
    state.gridSize = 256;
    state.maxIterations = 75;
    computeFractal(state);
    EXPECT_TRUE(sameHeights(plainGrid(256, 75, false), copyOf(state.heights), 256));
    EXPECT_EQ(state.flatCells.count, gridEntryCount(256));
}

TEST_F(FastHeightField, DensePatchesWhereOrbitsDecideSlowly)
{
    // The cusp of the cardioid, the neck between cardioid and bulb, the
    // bulb's left edge and the tip of the real axis; from coarse to one unit
    // in the last place apart. Odd shapes leave partial vectors everywhere.
    const int columns = smallerTables() ? 13 : 61;
    const int rows = smallerTables() ? 11 : 67;
    for (double centre : {0.25, -0.75, -1.25, -2.0}) {
        std::vector<Patch> patches;
        for (double spacing : {1e-3, 1e-6, 1e-9, 1e-12, 1e-15}) {
            patches.push_back(patchAround(centre, spacing, columns, rows));
        }
        patches.push_back(ulpPatchAround(centre, columns, rows));
        for (std::size_t p = 0; p < patches.size(); ++p) {
            SCOPED_TRACE("patch " + std::to_string(p) + " at " + std::to_string(centre));
            const std::vector<std::uint16_t> plain = plainCounts(patches[p], 1000);
            onEveryTargetAndStepping(1000, [&](EscapeStepping stepping) {
                EXPECT_TRUE(sameHeights(plain, fastCounts(patches[p], 1000, stepping), columns));
            });
        }
    }
}

// Places where orbits settle into a cycle slowly, never, or linger near one
// and then escape: where cycle detection could go wrong.
struct CycleRegion {
    const char* name;
    std::complex<double> centre;
};

const CycleRegion CYCLE_REGIONS[] = {
    // Inside: attracting cycles of period 3 and 4, found within a few
    // hundred steps.
    {"centre of the upper period-3 bulb", {-0.12256116687665362, 0.74486176661974424}},
    {"centre of the real period-3 component", {-1.7548776662466927, 0.0}},
    {"centre of the period-4 bulb on the cardioid", {0.28227139076691, 0.53006061757852}},
    {"centre of the period-4 bulb on the real axis", {-1.3107026413368328, 0.0}},
    // Where those components meet their parents and at their cusp: the
    // multiplier is near 1 and orbits converge over thousands of steps.
    {"root of the period-3 bulb on the cardioid", {-0.125, 0.649519052838329}},
    {"root of the period-4 bulb on the cardioid", {0.25, 0.5}},
    {"cusp of the real period-3 component", {-1.75, 0.0}},
    // Found by bisection at the highest cap upwards from the centre; its
    // patches mix orbits in the set with escapes after up to 65,000 steps.
    {"top edge of the upper period-3 bulb", {-0.12256116687665362, 0.8807024302122}},
    // Where the real period-4 component doubles to period 8.
    {"left edge of the real period-4 component", {-1.3680989394, 0.0}},
    // The parabolic points of the cardioid and its bulb.
    {"cusp of the cardioid", {0.25, 0.0}},
    {"neck between cardioid and bulb", {-0.75, 0.0}},
    // Preperiodic (Misiurewicz) points: i falls on the 2-cycle
    // -1 + i, -i exactly; -2 lands on the fixed point 2.
    {"c = i", {0.0, 1.0}},
    {"c = -2", {-2.0, 0.0}},
    // Just outside, where orbits linger for thousands of steps before they
    // escape: near-cycles that must not pass for cycles.
    {"right of the cusp", {0.25 + 1e-7, 0.0}},
    {"above the neck", {-0.75, 1e-4}},
};

TEST_F(FastHeightField, CycleDetectionRegionsAtTheHighestCap)
{
    const int columns = smallerTables() ? 5 : 13;
    const int rows = smallerTables() ? 3 : 11;
    const std::vector<double> spacings =
        smallerTables() ? std::vector<double>{1e-6} : std::vector<double>{1e-4, 1e-8, 1e-12};
    for (const CycleRegion& region : CYCLE_REGIONS) {
        std::vector<Patch> patches;
        for (double spacing : spacings) {
            patches.push_back(patchAround(region.centre, spacing, columns, rows));
        }
        patches.push_back(Patch{ulpsAround(region.centre.real(), columns), ulpsAround(region.centre.imag(), rows)});
        for (std::size_t p = 0; p < patches.size(); ++p) {
            SCOPED_TRACE(std::string(region.name) + ", patch " + std::to_string(p));
            const std::vector<std::uint16_t> plain = plainCounts(patches[p], MAX_ITERATIONS);
            onEveryTargetAndStepping(MAX_ITERATIONS, [&](EscapeStepping stepping) {
                EXPECT_TRUE(sameHeights(plain, fastCounts(patches[p], MAX_ITERATIONS, stepping), columns));
            });
        }
    }
}

TEST_F(FastHeightField, TinyRectanglesAndExtremeCaps)
{
    const Patch neck = patchAround(-0.75, 1e-4, 9, 9);
    for (std::size_t columns : {1u, 2u, 3u, 9u}) {
        for (std::size_t rows : {1u, 2u, 9u}) {
            Patch patch;
            patch.columnCx.assign(neck.columnCx.begin(), neck.columnCx.begin() + columns);
            patch.rowCy.assign(neck.rowCy.begin(), neck.rowCy.begin() + rows);
            for (int maxIterations : {1, 2, 250}) {
                SCOPED_TRACE(std::to_string(columns) + " x " + std::to_string(rows) + ", cap " +
                             std::to_string(maxIterations));
                const std::vector<std::uint16_t> plain = plainCounts(patch, maxIterations);
                onEveryTargetAndStepping(maxIterations, [&](EscapeStepping stepping) {
                    EXPECT_TRUE(sameHeights(plain, fastCounts(patch, maxIterations, stepping), columns));
                });
            }
        }
    }
    // Caps of 1 and 2 over a whole grid, in both conventions.
    for (int maxIterations : {1, 2}) {
        expectGridsAgree(128, maxIterations);
    }
}

// Points on the curves where the cardioid's fixed point and the bulb's
// 2-cycle have a multiplier of the given magnitude, one point per entry.
std::vector<std::complex<double>> multiplierCurves(double magnitude, int points)
{
    std::vector<std::complex<double>> curve;
    for (int t = 0; t < points; ++t) {
        const double angle = 2.0 * std::numbers::pi * (t + 0.5) / points;
        const std::complex<double> lambda = std::polar(magnitude, angle);
        curve.push_back(lambda / 2.0 - lambda * lambda / 4.0);
        curve.push_back(-1.0 + lambda / 4.0);
    }
    return curve;
}

// The shortcut's test without square roots against the multiplier it stands
// for: settled on every curve inside the bound (the small one lies in the
// disc the test decides first), on none outside it, on both regions.
TEST(Shortcut, SettlesInsideTheMultiplierBoundOnly)
{
    for (double magnitude : {0.25, 0.9, 0.998, 0.9988, 0.9992, 1.0}) {
        SCOPED_TRACE("multiplier magnitude " + std::to_string(magnitude));
        const bool inside = magnitude < SHORTCUT_MULTIPLIER_BOUND;
        for (std::complex<double> c : multiplierCurves(magnitude, 1024)) {
            EXPECT_EQ(settledByShortcut(c.real(), c.imag()), inside) << c.real() << " + " << c.imag() << "i";
        }
    }
}

// The outermost points the shortcut settles: on rays from the centres of the
// cardioid (0) and of the bulb (-1), the last distance it settles, bisected
// down to one unit in the last place, with the unsettled point just past it.
// The rays end in the gap the shortcut leaves at the neck, between about
// -0.75025 (bulb) and -0.749 (cardioid), and beyond both regions elsewhere.
std::vector<std::complex<double>> shortcutEdges(int raysPerRegion)
{
    struct Region {
        double centre, rayLength;
    };
    std::vector<std::complex<double>> edges;
    for (Region region : {Region{0.0, 0.7495}, Region{-1.0, 0.2505}}) {
        for (int t = 0; t < raysPerRegion; ++t) {
            const std::complex<double> direction = std::polar(1.0, 2.0 * std::numbers::pi * (t + 0.5) / raysPerRegion);
            const auto at = [&](double r) { return region.centre + r * direction; };
            const auto settled = [&](double r) { return settledByShortcut(at(r).real(), at(r).imag()); };
            double inside = 0.0;
            double outside = region.rayLength;
            EXPECT_TRUE(settled(inside));
            EXPECT_FALSE(settled(outside));
            while (std::nextafter(inside, outside) < outside) {
                const double middle = inside + (outside - inside) / 2.0;
                (settled(middle) ? inside : outside) = middle;
            }
            edges.push_back(at(inside));
            edges.push_back(at(outside));
        }
    }
    return edges;
}

// Heights of single points, plain and fast, at the highest cap.
void expectPointsAgreeAtTheHighestCap(const std::vector<std::complex<double>>& points)
{
    std::vector<std::uint16_t> plain;
    for (std::complex<double> c : points) {
        plain.push_back(static_cast<std::uint16_t>(escapeCount(c.real(), c.imag(), MAX_ITERATIONS)));
    }
    // Every stepping meets the shortcut in the same first pass.
    onEveryTarget([&] {
        std::vector<std::uint16_t> fast(points.size(), 0xFFFF);
        for (std::size_t k = 0; k < points.size(); ++k) {
            const double cx = points[k].real();
            const double cy = points[k].imag();
            computeHeightsOfRectangle(&fast[k], &cx, 1, &cy, 1, MAX_ITERATIONS, true);
        }
        EXPECT_TRUE(sameHeights(plain, fast, 1));
    });
}

TEST_F(FastHeightField, ShortcutEdgesAtTheHighestCap)
{
    // The outermost points the shortcut admits: every one must reach the cap
    // in the plain loop, and the kernel must agree on both sides of the edge.
    const std::vector<std::complex<double>> edges = shortcutEdges(smallerTables() ? 16 : 256);
    for (std::size_t k = 0; k < edges.size(); k += 2) {
        EXPECT_EQ(escapeCount(edges[k].real(), edges[k].imag(), MAX_ITERATIONS), MAX_ITERATIONS)
            << "settled point " << edges[k].real() << " + " << edges[k].imag() << "i";
    }
    expectPointsAgreeAtTheHighestCap(edges);
    // Between the shortcut's bound and the true boundary, and just outside.
    for (double magnitude : {1.0 - 1e-6, 1.0 + 1e-3}) {
        SCOPED_TRACE("multiplier magnitude " + std::to_string(magnitude));
        expectPointsAgreeAtTheHighestCap(multiplierCurves(magnitude, smallerTables() ? 16 : 512));
    }
}

} // namespace
