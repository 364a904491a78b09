// The display bitmap: 513 x 343 colour words 0x00BBGGRR kept with their top
// byte at 0xFF, so that in memory each pixel reads R, G, B, 255 and the window
// can show the same memory as an RGBX image without copying or converting it.
// Drawing follows the classic canvas rules the renderers are written for: a
// pen (colour, width 1 or 3) and a brush (colour); Rectangle outlines in the
// pen and fills with the brush with the right and bottom edges exclusive;
// MoveTo/LineTo draw from the pen position to the point, the end point itself
// not drawn. Everything is clipped to the bitmap.
#pragma once

#include <array>
#include <cstdint>

namespace varmolen {

class Raster {
public:
    static constexpr int kWidth = 513;
    static constexpr int kHeight = 343;

    Raster();

    int width() const { return kWidth; }
    int height() const { return kHeight; }

    // Colour word 0x00BBGGRR of a pixel (top byte stripped); 0 outside.
    std::uint32_t pixel(int x, int y) const;
    const std::uint32_t* data() const { return pixels_.data(); }
    std::uint32_t* data() { return pixels_.data(); }
    static constexpr int bytesPerLine() { return kWidth * 4; }

    void setPenColor(std::uint32_t colour) { penColour_ = colour | 0xFF000000u; }
    void setPenWidth(int width) { penWidth_ = width < 1 ? 1 : width; }
    void setBrushColor(std::uint32_t colour) { brushColour_ = colour | 0xFF000000u; }
    int penWidth() const { return penWidth_; }

    // Outline in the pen, interior in the brush; (x2, y2) exclusive.
    void Rectangle(int x1, int y1, int x2, int y2);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);

    // Fills the whole bitmap with one colour (used before the first pass).
    void fill(std::uint32_t colour);

private:
    void plot(int x, int y, std::uint32_t word);
    void plotPen(int x, int y);
    void walk(long long x0, long long y0, long long x1, long long y1);

    std::array<std::uint32_t, kWidth * kHeight> pixels_{};
    std::uint32_t penColour_ = 0xFF000000u;
    std::uint32_t brushColour_ = 0xFFFFFFFFu;
    int penWidth_ = 1;
    int penX_ = 0;
    int penY_ = 0;
};

}  // namespace varmolen
