// The display's pixels against the instrument's columns and rows. Markers,
// the cursor, the expanded view and every readout work in display columns
// 0..512 and rows 0..342, whatever size the display is drawn at; a larger
// display spreads the same columns and rows over more pixels. These two
// conversions are the only place where a pixel becomes a column or a column
// a pixel: the drawing and the pointer use the same pair, so the readout under
// the pointer is the one of the column drawn there. At the display's own size
// (513 x 343 pixels) both are the identity.
#pragma once

#include <cstdint>

namespace varmolen {

inline constexpr int kLastDisplayColumn = 512;  // columns 0..512
inline constexpr int kLastDisplayRow = 342;     // rows 0..342

// Pixel x (0..widthPixels - 1) at which column `column` is drawn on a display
// `widthPixels` wide: the nearest pixel, column 512 on the last one. Columns
// outside 0..512 continue the same scale.
std::int64_t columnToPixel(std::int64_t column, int widthPixels);

// The column drawn at pixel x of a display `widthPixels` wide: the nearest
// one, so that pixelToColumn(columnToPixel(c)) is c for every display at
// least as wide as the display's own 513 pixels. Pixels outside the display
// give columns outside 0..512 (the caller clamps, as for the pointer).
std::int64_t pixelToColumn(std::int64_t x, int widthPixels);

// Pixel y at which row `row` is drawn on a display `heightPixels` high (row
// 342 on the last pixel row), by the same rule as the columns.
std::int64_t rowToPixel(std::int64_t row, int heightPixels);

// A display larger than its own size draws its traces finer than the
// columns and rows: in kFineSteps-ths of one. The pixels of such positions,
// by the same rule, and the fine column drawn on pixel x, which
// fineColumnToPixel takes back to x on any display up to 8192 pixels wide.
inline constexpr int kFineSteps = 16;
std::int64_t fineColumnToPixel(std::int64_t fineColumn, int widthPixels);
std::int64_t fineRowToPixel(std::int64_t fineRow, int heightPixels);
std::int64_t pixelToFineColumn(std::int64_t x, int widthPixels);

}  // namespace varmolen
