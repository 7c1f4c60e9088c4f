// The camera's frame readout: the bytes of a mode-1 window frame (one byte per
// site, each row grouped by column parity, dark level added) and of a mode-2
// frame (luminance and colour difference formed with the loaded matrix), and
// the temporal-difference coding that sends only what changed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/camera/sensor_model.h"

namespace sim {

// The largest frames the sensor can give: every site of the sensor in mode 1;
// one luminance byte per 2 x 2 sites, plus colour difference, in mode 2.
constexpr int kMaxYuvWidth = kSensorColumns / 2;
constexpr int kMaxYuvHeight = kSensorRows / 2;
constexpr size_t kMaxWindowBytes = static_cast<size_t>(kSensorColumns) * kSensorRows;
constexpr size_t kMaxYuvBytes = static_cast<size_t>(kMaxYuvWidth) * 3 * ((kMaxYuvHeight + 1) / 2);

// An 'F' window: rows firstRow..endRow-1 (window row numbers; the sensor row of
// window row y is y - 4), `columns` sites from column 2 * firstPair on.
struct WindowGeometry {
  int firstRow = 0;
  int endRow = 0;
  int firstPair = 0;
  int columns = 0;
  int Rows() const { return endRow > firstRow ? endRow - firstRow : 0; }
};
// The geometry an 'F' command asks for, limited to what the sensor has.
WindowGeometry WindowFromCommand(uint16_t firstRow, uint16_t endRow, uint16_t firstPair, uint16_t columns);

// Writes the window's rows, top row first. Within a row, bytes 0..w/2-1 are the
// odd sites 2*firstPair+1, +3, ... and bytes w/2..w-1 the even sites
// 2*firstPair+2, +4, ... Returns the byte count (rows * columns).
size_t BuildWindowFrame(const SensorModel& sensor, uint32_t frame, const WindowGeometry& window, uint8_t* out);

// A 'Y' window: frame row y covers the sensor rows 2*(y + y0/2) - 3 (odd: blue
// and green) and the row below (green and red); frame column x the sites
// 2*(x0 + x) and the one to its right.
struct YuvGeometry {
  int y0 = 0;
  int x0 = 0;
  int width = 0;
  int height = 0;
  size_t FrameBytes() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 3 / 2; }
  // Whole groups of three lines (the last one complete even for an odd height).
  size_t BuiltBytes() const { return static_cast<size_t>(width) * 3 * static_cast<size_t>((height + 1) / 2); }
};
YuvGeometry YuvFromCommand(uint16_t y0, uint16_t y1, uint16_t x0, uint16_t x1);

// Writes height/2 groups of three lines of width bytes: the luminance of frame
// rows 2k and 2k + 1, then U, V pairs shared by each 2 x 2 block. Luminance is
// 4 * (m0 R + m1 G + 2 m2 B) / 32768 of the block's red, odd-row green and blue
// sites (the camera doubles the blue column of every row, which the host
// stores halved); U and V the same with rows 1 and 2 over the block pair,
// offset by 128. Returns BuiltBytes().
size_t BuildYuvFrame(const SensorModel& sensor, uint32_t frame, const YuvGeometry& geometry,
                     const std::array<int16_t, 9>& matrix, uint8_t* out);

// Temporal difference: the frame is coded in blocks of 8 columns by one group
// of three lines; a block is sent when a luminance byte moved by more than
// lumaThreshold or a colour-difference byte by more than chromaThreshold since
// the host's copy. The sent blocks are copied into `reference` (the host's
// copy). Returns the length of the coded frame: a 4-byte header and, per sent
// block, 2 bytes of block number and its bytes; never more than the frame.
uint32_t CodeTemporalDifference(const uint8_t* fresh, uint8_t* reference, const YuvGeometry& geometry,
                                int lumaThreshold, int chromaThreshold);

}  // namespace sim
