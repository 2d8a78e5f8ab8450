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
        for (std::size_t j = 0; j + 1 < n; ++j) {
            if (row[j] == row[j + 1] && row[j] == next[j + 1] && next[j] == next[j + 1]) {
                flags[j] = 1;
            }
        }
    }
}
