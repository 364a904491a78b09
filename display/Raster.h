// The display bitmap: 513 x 343 pixels at the display's own size, more when
// the display is drawn larger (resize). The drawing operations take display
// columns 0..512 and rows 0..342 whatever the size, and draw them at the
// bitmap's own resolution (display/DisplayScale.h): a line is one pixel wide
// at every size, and a wide pen grows with the bitmap. pixel(), data() and
// the row bands work in the bitmap's pixels. Colours come and go as the
// instrument's colour words 0x00BBGGRR; each pixel is stored as 0xFFRRGGBB,
// the layout of the desktop's own window surfaces (an RGB32 image), so that
// the window shows the same memory with a plain copy. (Stored as R, G, B, 255
// bytes instead, every repaint would swap red and blue on the way to the
// screen, which costs about three times as long per pass.) The colour word is
// turned into the stored word once, when the pen or brush is set.
// Drawing follows the classic canvas rules the renderers are written for: a
// pen (colour, width 1 or 3) and a brush (colour); Rectangle outlines in the
// pen and fills with the brush with the right and bottom edges exclusive;
// MoveTo/LineTo draw from the pen position to the point, the end point itself
// not drawn. Everything is clipped to the bitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "display/ColumnSpans.h"
#include "display/DisplayScale.h"

namespace varmolen {

// A line of the graticule, from (x1, y1) to (x2, y2) in display columns and
// rows, drawn as MoveTo/LineTo draw it; along a row or a column.
struct GraticuleLine {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    bool operator==(const GraticuleLine&) const = default;
};

// The band of rows in which two pictures differ; empty when they are equal.
struct RowBand {
    int first = 0;
    int count = 0;
    bool empty() const { return count == 0; }
};

// Where the bitmap's pixels live: its own memory, or memory lent by whoever
// shows it (memory the window shares with the display server, so that the
// server reads the picture where the pass drew it). A copy always owns its
// pixels.
class PixelStore {
public:
    // Room for `count` pixels, or nullptr when the lender has none to give.
    // Lending again may take back what was lent before.
    using Lender = std::function<std::uint32_t*(std::size_t count)>;

    PixelStore() = default;
    PixelStore(const PixelStore& other);
    PixelStore& operator=(const PixelStore& other);

    // `count` pixels, every one `word`.
    void assign(std::size_t count, std::uint32_t word);
    // Moves the pixels into the lender's memory (own memory when it gives
    // none), keeping them.
    void setLender(Lender lender);
    bool lent() const { return data_ != own_.data(); }

    std::uint32_t* data() { return data_; }
    const std::uint32_t* data() const { return data_; }
    std::size_t size() const { return count_; }
    std::uint32_t& operator[](std::size_t i) { return data_[i]; }
    std::uint32_t operator[](std::size_t i) const { return data_[i]; }

private:
    // Room for count_ pixels, lent or own.
    void place();

    std::vector<std::uint32_t> own_;
    std::uint32_t* data_ = nullptr;
    std::size_t count_ = 0;
    Lender lender_;
};

class Raster {
public:
    // The display's own size, in pixels.
    static constexpr int kWidth = 513;
    static constexpr int kHeight = 343;
    // Lines a graticule has room for without allocating.
    static constexpr std::size_t kGraticuleRoom = 32;

    Raster();

    int width() const { return width_; }
    int height() const { return height_; }
    // Gives the bitmap another size in pixels (at least 2 x 2), filled black.
    // The only operation that allocates; a pass at a fixed size never does.
    void resize(int width, int height);

    // Colour word 0x00BBGGRR of a pixel; 0 outside.
    std::uint32_t pixel(int x, int y) const;
    // Stored word 0xFFRRGGBB for a colour word 0x00BBGGRR, and back.
    static constexpr std::uint32_t storedWord(std::uint32_t colour)
    {
        return 0xFF000000u | ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
    }
    static constexpr std::uint32_t colourWord(std::uint32_t stored)
    {
        return ((stored & 0xFFu) << 16) | (stored & 0xFF00u) | ((stored >> 16) & 0xFFu);
    }
    const std::uint32_t* data() const { return pixels_.data(); }
    // Writing through this pointer is not seen by the bitmap: the next clear
    // paints every pixel, and every row counts as changed.
    std::uint32_t* data()
    {
        writesKnown_ = false;
        graticuleLaid_ = false;
        return pixels_.data();
    }
    // Lets whoever shows the bitmap keep its pixels (see PixelStore); the
    // picture stays as it is. The lender is asked again at every resize.
    void setPixelLender(PixelStore::Lender lender) { pixels_.setLender(std::move(lender)); }
    bool pixelsLent() const { return pixels_.lent(); }
    // Bytes of one line at the display's own size, and of this bitmap.
    static constexpr int bytesPerLine() { return kWidth * 4; }
    int lineBytes() const { return width_ * 4; }

    void setPenColor(std::uint32_t colour) { penColour_ = storedWord(colour); }
    // A pen wider than one pixel grows with the bitmap's height; a thin pen
    // stays one pixel wide.
    void setPenWidth(int width);
    void setBrushColor(std::uint32_t colour) { brushColour_ = storedWord(colour); }
    int penWidth() const { return penWidth_; }

    // In display columns and rows. Outline in the pen, interior in the brush;
    // (x2, y2) exclusive.
    void Rectangle(int x1, int y1, int x2, int y2);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);

    // On a bitmap larger than the display's own size, the traces are drawn
    // finer than its columns and rows: the same pen, in kFineSteps-ths of a
    // column and of a row (display/DisplayScale.h), each point on its
    // nearest pixel. The pen position is the fine one's own.
    bool finerThanOwnSize() const { return width_ != kWidth || height_ != kHeight; }
    void moveToFine(long long x, long long y);
    void lineToFine(long long x, long long y);

    // In the pen's colour, one pixel wide: in pixel column x (0 to width - 1)
    // the pixel rows top[x] to bottom[x] (both included, clipped to the
    // bitmap; none where top[x] > bottom[x]). Laid row by row, so a band
    // over many columns costs one pass over its rows; its pixels are not
    // noted one by one (the next clear paints the whole bitmap).
    void fillColumnSpans(const int* top, const int* bottom, int columns);

    // Fills the whole bitmap with one colour (used before the first pass).
    void fill(std::uint32_t colour);

    // The graticule that lies over every pass's drawing: the next clear of
    // the whole bitmap leaves it in the bitmap (laying it first when it
    // changed), and coverWithGraticule() puts it back over what was drawn
    // since. A pass then neither wipes nor redraws the graticule's pixels,
    // about half of what a pass writes on a large display. Lines that are
    // not along a row or a column, or that cross on the same row, are not
    // laid: the clear paints over them, and the pass draws them itself.
    void setGraticule(std::uint32_t colour, const GraticuleLine* lines, std::size_t count);
    // After a clear that laid this graticule (the same colour and lines),
    // paints it again where anything was drawn over it since (all of it,
    // where not every write since is known), as drawing the lines with a
    // one-pixel pen would, and returns true; otherwise does nothing and
    // returns false.
    bool coverWithGraticule(std::uint32_t colour, const GraticuleLine* lines, std::size_t count);

    // The band of rows that may differ from what they held at the last call
    // (every row at the first, after a resize, or after a change the bitmap
    // did not see): the part of the window a repaint must send. A display
    // pass that draws the same picture again after its clear reports no
    // change, so a steady trace sends only the rows where it moved. Rows are
    // told apart by a 64-bit sum of hashes of what was written in them since
    // the clear; a picture drawn again by the same steps gives the same sums.
    RowBand takeChangedRows();

private:
    void plot(int x, int y, std::uint32_t word);
    void plotPen(int x, int y);
    void walk(long long x0, long long y0, long long x1, long long y1);

    // Notes a pixel written since the last clear of the whole bitmap, and
    // adds what was written where to its row's sum.
    void noteWrite(std::size_t index, long long row, std::uint32_t word, std::uint32_t bit)
    {
        if (writeCount_ < writes_.size()) {
            writes_[writeCount_++] = static_cast<std::uint32_t>(index) | bit;
            rowSums_[static_cast<std::size_t>(row)] += writeHash(index, penHash(word));
        } else {
            writesKnown_ = false;
        }
    }
    // The hash of one write: the colour's part once per pen, then one
    // multiply per pixel.
    static std::uint64_t penHash(std::uint32_t word)
    {
        return (static_cast<std::uint64_t>(word) << 32) * 0x9E3779B97F4A7C15ull;
    }
    static std::uint64_t writeHash(std::size_t index, std::uint64_t penMix)
    {
        const std::uint64_t h = (index ^ penMix) * 0xBF58476D1CE4E5B9ull;
        return h ^ (h >> 31);
    }
    void restartWrites(std::uint32_t ground);
    // Where a write lands on the laid graticule, its note carries this bit:
    // the clear puts the graticule's colour back there, not the ground.
    static constexpr std::uint32_t kOnGraticule = 0x80000000u;
    std::uint32_t graticuleBit(long long x, long long y) const
    {
        if (!graticuleLaid_)
            return 0;
        const auto row = static_cast<std::size_t>(y);
        const auto column = static_cast<std::size_t>(x);
        const bool on = (x >= rowFrom_[row] && x < rowTo_[row]) || (y >= columnFrom_[column] && y < columnTo_[column]);
        return on ? kOnGraticule : 0;
    }
    bool layGraticule();
    // Paints every pixel of the laid graticule in its colour.
    void paintLaidGraticule();
    long long pixelX(long long column) const;
    long long pixelY(long long row) const;
    void walkSegment(long long x0, long long y0, long long x1, long long y1);

    int width_ = kWidth;
    int height_ = kHeight;
    PixelStore pixels_;
    // Every pixel written since the whole bitmap was last cleared to
    // `ground_`, while writesKnown_ holds: a clear to the same colour then
    // repaints only those instead of the whole bitmap (a display pass clears
    // it first, and its traces cover a small part of a large display). Sized
    // with the bitmap; more writes than it holds make the next clear paint
    // everything.
    std::vector<std::uint32_t> writes_;
    std::size_t writeCount_ = 0;
    bool writesKnown_ = false;
    std::uint32_t ground_ = 0;
    // Per row, the sum of a hash of every write noted in it (where, what
    // colour): with the ground, this stands for the row's pixels. The sums,
    // ground and size at the last takeChangedRows(), and whether they were
    // known then.
    std::vector<std::uint64_t> rowSums_;
    std::vector<std::uint64_t> takenSums_;
    std::uint32_t takenGround_ = 0;
    std::uint64_t takenGraticule_ = 0;
    int takenWidth_ = 0;
    bool takenKnown_ = false;
    // The graticule the next clear leaves in the bitmap, and the one the
    // bitmap holds (graticuleLaid_): per pixel row the columns [from, to) of
    // its line along that row, per column the rows of its line along it.
    // Counted up whenever the laid graticule changes.
    std::vector<GraticuleLine> wantedLines_;
    std::uint32_t wantedWord_ = 0;
    std::vector<GraticuleLine> laidLines_;
    std::uint32_t laidWord_ = 0;
    bool wantedLayable_ = false;
    bool graticuleLaid_ = false;
    std::uint64_t graticuleCount_ = 0;
    std::vector<int> rowFrom_;
    std::vector<int> rowTo_;
    std::vector<int> columnFrom_;
    std::vector<int> columnTo_;
    ColumnSpans spans_;  // room for fillColumnSpans
    std::uint32_t penColour_ = 0xFF000000u;
    std::uint32_t brushColour_ = 0xFFFFFFFFu;
    int penWidth_ = 1;   // in display rows
    int penPixels_ = 1;  // the same in pixels
    int penX_ = 0;
    int penY_ = 0;
    long long finePenX_ = 0;  // in pixels
    long long finePenY_ = 0;
};

}  // namespace varmolen
