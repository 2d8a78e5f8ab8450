// Flat-cell mask, rebuilt from the heights after every computation.
#include "fractal/flat_cells.h"

#include "state/viewer_state.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

void findFlatCells(ViewerState& state)
{
    const std::size_t n = static_cast<std::size_t>(state.gridSize);
    if (n == 0) {
        return;
    }
    // Every entry is written exactly once, so the mask needs no clearing
    // beforehand: the cells are flagged row by row, and the last column and
    // the last row, which have no cell, are written as 0.
    const std::uint16_t* h = state.heights.values.get();
    std::uint8_t* mask = state.flatCells.values.get();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const std::uint16_t* row = h + i * n;
        const std::uint16_t* next = row + n;
        std::uint8_t* flags = mask + i * n;
        // Without branches, so that the compiler compares whole vectors of
        // cells at once; the flag is 1 exactly when all three pairs are equal.
        for (std::size_t j = 0; j + 1 < n; ++j) {
            const bool flat = (row[j] == row[j + 1]) & (row[j] == next[j + 1]) & (next[j] == next[j + 1]);
            flags[j] = static_cast<std::uint8_t>(flat);
        }
        flags[n - 1] = 0;
    }
    std::fill(mask + (n - 1) * n, mask + n * n, std::uint8_t{0});
}
