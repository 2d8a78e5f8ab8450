// Flat-cell mask, rebuilt from the heights after every computation.
#include "fractal/flat_cells.h"

#include "state/viewer_state.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

void findFlatCells(ViewerState& state)
{
    const std::size_t n = static_cast<std::size_t>(state.gridSize);
    std::fill(state.flatCells.begin(), state.flatCells.end(), std::uint8_t{0});
    const std::uint16_t* h = state.heights.data();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const std::uint16_t* row = h + i * n;
        const std::uint16_t* next = row + n;
        std::uint8_t* flags = state.flatCells.data() + i * n;
        // Without branches, so that the compiler compares whole vectors of
        // cells at once; the flag is 1 exactly when all three pairs are equal.
        for (std::size_t j = 0; j + 1 < n; ++j) {
            const bool flat = (row[j] == row[j + 1]) & (row[j] == next[j + 1]) & (next[j] == next[j + 1]);
            flags[j] = static_cast<std::uint8_t>(flat);
        }
    }
}
