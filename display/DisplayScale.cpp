#include "display/DisplayScale.h"

namespace varmolen {

namespace {

// Floor of a / b for b > 0, for negative a too.
std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// v * to / from, rounded to the nearest integer (halves up), for from > 0.
// The coordinates the renderers hand over are 32-bit (fine ones 32-bit values
// times kFineSteps); with a factor of a few thousand the product stays far
// inside 64 bits.
std::int64_t rescale(std::int64_t v, std::int64_t to, std::int64_t from)
{
    return floorDiv(2 * v * to + from, 2 * from);
}

}  // namespace

std::int64_t columnToPixel(std::int64_t column, int widthPixels)
{
    if (widthPixels <= 1)
        return 0;
    return rescale(column, widthPixels - 1, kLastDisplayColumn);
}

std::int64_t pixelToColumn(std::int64_t x, int widthPixels)
{
    if (widthPixels <= 1)
        return 0;
    return rescale(x, kLastDisplayColumn, widthPixels - 1);
}

std::int64_t rowToPixel(std::int64_t row, int heightPixels)
{
    if (heightPixels <= 1)
        return 0;
    return rescale(row, heightPixels - 1, kLastDisplayRow);
}

std::int64_t fineColumnToPixel(std::int64_t fineColumn, int widthPixels)
{
    return widthPixels <= 1 ? 0 : rescale(fineColumn, widthPixels - 1, std::int64_t{kLastDisplayColumn} * kFineSteps);
}

std::int64_t fineRowToPixel(std::int64_t fineRow, int heightPixels)
{
    return heightPixels <= 1 ? 0 : rescale(fineRow, heightPixels - 1, std::int64_t{kLastDisplayRow} * kFineSteps);
}

std::int64_t pixelToFineColumn(std::int64_t x, int widthPixels)
{
    return widthPixels <= 1 ? 0 : rescale(x, std::int64_t{kLastDisplayColumn} * kFineSteps, widthPixels - 1);
}

}  // namespace varmolen
