#include "display/Raster.h"

#include <cstdlib>
#include <utility>

namespace varmolen {

Raster::Raster()
{
    fill(0x000000);
}

std::uint32_t Raster::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight)
        return 0;
    return pixels_[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)] & 0x00FFFFFFu;
}

void Raster::fill(std::uint32_t colour)
{
    pixels_.fill(colour | 0xFF000000u);
}

void Raster::plot(int x, int y, std::uint32_t word)
{
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight)
        return;
    pixels_[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)] = word;
}

void Raster::plotPen(int x, int y)
{
    if (penWidth_ <= 1) {
        plot(x, y, penColour_);
        return;
    }
    // A wide pen covers a square of penWidth pixels centred on the path.
    const int lo = -(penWidth_ - 1) / 2;
    const int hi = penWidth_ / 2;
    for (int dy = lo; dy <= hi; ++dy)
        for (int dx = lo; dx <= hi; ++dx)
            plot(x + dx, y + dy, penColour_);
}

void Raster::Rectangle(int x1, int y1, int x2, int y2)
{
    if (x2 < x1)
        std::swap(x1, x2);
    if (y2 < y1)
        std::swap(y1, y2);
    if (x2 - x1 < 1 || y2 - y1 < 1)
        return;
    // Interior in the brush, clipped before the loop so huge rectangles stay cheap.
    const int fx1 = x1 < 0 ? 0 : x1;
    const int fy1 = y1 < 0 ? 0 : y1;
    const int fx2 = x2 > kWidth ? kWidth : x2;
    const int fy2 = y2 > kHeight ? kHeight : y2;
    for (int y = fy1; y < fy2; ++y)
        for (int x = fx1; x < fx2; ++x)
            pixels_[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)] = brushColour_;
    // Outline in the pen along the edges that belong to the rectangle.
    for (int x = x1; x < x2; ++x) {
        plot(x, y1, penColour_);
        plot(x, y2 - 1, penColour_);
    }
    for (int y = y1; y < y2; ++y) {
        plot(x1, y, penColour_);
        plot(x2 - 1, y, penColour_);
    }
}

void Raster::MoveTo(int x, int y)
{
    penX_ = x;
    penY_ = y;
}

void Raster::LineTo(int x, int y)
{
    // Bresenham from the pen position; the end point is not drawn. Coordinates
    // far outside the bitmap are walked but never written, so any value is safe.
    long long x0 = penX_;
    long long y0 = penY_;
    const long long x1 = x;
    const long long y1 = y;
    const long long dx = std::llabs(x1 - x0);
    const long long dy = -std::llabs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    long long err = dx + dy;
    // A line that cannot touch the bitmap draws nothing; skip the walk.
    const int margin = penWidth_;
    const bool outside = (x0 < -margin && x1 < -margin) || (y0 < -margin && y1 < -margin) ||
                         (x0 > kWidth + margin && x1 > kWidth + margin) ||
                         (y0 > kHeight + margin && y1 > kHeight + margin);
    while (!outside && !(x0 == x1 && y0 == y1)) {
        plotPen(static_cast<int>(x0), static_cast<int>(y0));
        const long long e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
    penX_ = x;
    penY_ = y;
}

}  // namespace varmolen
