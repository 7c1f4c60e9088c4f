// Rows of a frame the driver filled: the RGB formats and YUY2 come bottom-up
// (the first image row last), and a face that offers them top-down turns
// them over in the buffer itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarncap {

// Swaps row i with row rows-1-i. row: room for one row, kept by the caller so
// a frame allocates nothing.
void FlipRows(std::uint8_t* data, std::size_t rowBytes, std::size_t rows, std::vector<std::uint8_t>& row);

}  // namespace zarncap
