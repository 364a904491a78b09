#include "display/Raster.h"

#include "display/DisplayScale.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace varmolen {

namespace {

// How many notes ahead of the clear the memory of a noted pixel is fetched.
constexpr std::size_t kNotesAhead = 24;

// Room for the pixels noted between two clears: a quarter of the bitmap,
// far more than two traces, the graticule and the markers write.
std::size_t writesRoom(int width, int height) { return static_cast<std::size_t>(width) * height / 4; }

}  // namespace

PixelStore::PixelStore(const PixelStore& other)
    : own_(other.data_, other.data_ + other.count_), data_(own_.data()), count_(other.count_)
{}

PixelStore& PixelStore::operator=(const PixelStore& other)
{
    if (this != &other) {
        lender_ = nullptr;
        own_.assign(other.data_, other.data_ + other.count_);
        data_ = own_.data();
        count_ = other.count_;
    }
    return *this;
}

void PixelStore::place()
{
    std::uint32_t* lent = lender_ ? lender_(count_) : nullptr;
    if (lent) {
        own_.clear();
        own_.shrink_to_fit();
        data_ = lent;
    } else {
        own_.resize(count_);
        data_ = own_.data();
    }
}

void PixelStore::assign(std::size_t count, std::uint32_t word)
{
    count_ = count;
    place();
    std::fill(data_, data_ + count_, word);
}

void PixelStore::setLender(Lender lender)
{
    // The lender may take back what it lent before: keep a copy meanwhile.
    const std::vector<std::uint32_t> kept(data_, data_ + count_);
    lender_ = std::move(lender);
    place();
    std::copy(kept.begin(), kept.end(), data_);
}

Raster::Raster()
    : writes_(writesRoom(kWidth, kHeight)),
      rowSums_(kHeight),
      rowFrom_(kHeight),
      rowTo_(kHeight),
      columnFrom_(kWidth),
      columnTo_(kWidth)
{
    pixels_.assign(static_cast<std::size_t>(kWidth) * kHeight, storedWord(0x000000));
    spans_.resize(kWidth, kHeight);
    // Room for any display's graticule, so that a pass that changes it
    // (another display, the grid switched) allocates nothing.
    wantedLines_.reserve(kGraticuleRoom);
    laidLines_.reserve(kGraticuleRoom);
    fill(0x000000);
}

void Raster::resize(int width, int height)
{
    width_ = std::max(width, 2);
    height_ = std::max(height, 2);
    pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), storedWord(0x000000));
    writes_.assign(writesRoom(width_, height_), 0);
    rowSums_.assign(static_cast<std::size_t>(height_), 0);
    rowFrom_.assign(static_cast<std::size_t>(height_), 0);
    rowTo_.assign(static_cast<std::size_t>(height_), 0);
    columnFrom_.assign(static_cast<std::size_t>(width_), 0);
    columnTo_.assign(static_cast<std::size_t>(width_), 0);
    spans_.resize(width_, height_);
    graticuleLaid_ = false;
    restartWrites(storedWord(0x000000));
    setPenWidth(penWidth_);
}

void Raster::restartWrites(std::uint32_t ground)
{
    writeCount_ = 0;
    writesKnown_ = true;
    ground_ = ground;
    std::fill(rowSums_.begin(), rowSums_.end(), 0);
}

void Raster::setPenWidth(int width)
{
    penWidth_ = width < 1 ? 1 : width;
    // A wide pen keeps its share of the display's height: at twice the rows
    // it is twice as wide.
    penPixels_ = penWidth_ == 1 ? 1 : static_cast<int>(std::max<long long>(1, rowToPixel(penWidth_, height_)));
}

long long Raster::pixelX(long long column) const { return columnToPixel(column, width_); }
long long Raster::pixelY(long long row) const { return rowToPixel(row, height_); }

std::uint32_t Raster::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0;
    return colourWord(pixels_[static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x)]);
}

void Raster::fill(std::uint32_t colour)
{
    std::fill(pixels_.data(), pixels_.data() + pixels_.size(), storedWord(colour));
    graticuleLaid_ = false;
    restartWrites(storedWord(colour));
}

void Raster::plot(int x, int y, std::uint32_t word)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    const std::size_t at = static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x);
    pixels_[at] = word;
    noteWrite(at, y, word, graticuleBit(x, y));
}

void Raster::plotPen(int x, int y)
{
    if (penPixels_ <= 1) {
        plot(x, y, penColour_);
        return;
    }
    // A wide pen covers a square of its width in pixels centred on the path.
    const int lo = -(penPixels_ - 1) / 2;
    const int hi = penPixels_ / 2;
    for (int dy = lo; dy <= hi; ++dy)
        for (int dx = lo; dx <= hi; ++dx)
            plot(x + dx, y + dy, penColour_);
}

void Raster::Rectangle(int cx1, int cy1, int cx2, int cy2)
{
    // Far coordinates are cut to a little beyond the bitmap before they are
    // scaled: the rectangle covers the same pixels, and the ints stay ints.
    const auto near = [](long long v, long long limit) { return static_cast<int>(std::clamp(v, -2LL, limit + 2)); };
    int x1 = near(pixelX(cx1), width_);
    int y1 = near(pixelY(cy1), height_);
    int x2 = near(pixelX(cx2), width_);
    int y2 = near(pixelY(cy2), height_);
    if (x2 < x1)
        std::swap(x1, x2);
    if (y2 < y1)
        std::swap(y1, y2);
    if (static_cast<long long>(x2) - x1 < 1 || static_cast<long long>(y2) - y1 < 1)
        return;
    // Interior in the brush, clipped before the loop so huge rectangles stay cheap.
    const int fx1 = x1 < 0 ? 0 : x1;
    const int fy1 = y1 < 0 ? 0 : y1;
    const int fx2 = x2 > width_ ? width_ : x2;
    const int fy2 = y2 > height_ ? height_ : y2;
    // The whole bitmap in one colour (a display pass's clear): where it was
    // cleared to that colour before and every write since is known, only
    // those pixels are painted again.
    if (fx1 == 0 && fy1 == 0 && fx2 == width_ && fy2 == height_ && penColour_ == brushColour_) {
        // The graticule in the bitmap stays when it is the one wanted.
        const bool graticuleStays =
            graticuleLaid_ ? laidWord_ == wantedWord_ && laidLines_ == wantedLines_ : !wantedLayable_;
        if (writesKnown_ && ground_ == brushColour_ && graticuleStays) {
            // A noted pixel on the graticule gets the graticule's colour back.
            const std::uint32_t words[2] = {ground_, laidWord_};
            std::uint32_t* const pixels = pixels_.data();
            const std::uint32_t* const notes = writes_.data();
            const std::size_t n = writeCount_;
            for (std::size_t i = 0; i < n; ++i) {
                __builtin_prefetch(pixels + (notes[std::min(i + kNotesAhead, n - 1)] & ~kOnGraticule), 1);
                pixels[notes[i] & ~kOnGraticule] = words[notes[i] >> 31];
            }
            restartWrites(brushColour_);
        } else {
            std::uint32_t* first = pixels_.data();
            std::fill(first, first + width_, brushColour_);
            for (int y = 1; y < height_; ++y)
                std::memcpy(first + static_cast<std::size_t>(y) * width_, first, lineBytes());
            restartWrites(brushColour_);
            graticuleLaid_ = false;
            if (wantedLayable_)
                wantedLayable_ = layGraticule();
        }
        return;
    }
    // Any other rectangle is not noted pixel by pixel.
    writesKnown_ = false;
    // The first row is filled word by word, every other row copied from it:
    // the library's block copy is several times faster than a word loop on a
    // large bitmap.
    if (fx1 < fx2 && fy1 < fy2) {
        std::uint32_t* first = pixels_.data() + static_cast<std::size_t>(fy1) * width_;
        std::fill(first + fx1, first + fx2, brushColour_);
        const std::size_t bytes = static_cast<std::size_t>(fx2 - fx1) * sizeof(std::uint32_t);
        for (int y = fy1 + 1; y < fy2; ++y)
            std::memcpy(pixels_.data() + static_cast<std::size_t>(y) * width_ + fx1, first + fx1, bytes);
    }
    // Outline in the pen along the edges that belong to the rectangle, walked
    // only where they can be visible.
    for (int x = fx1; x < fx2; ++x) {
        plot(x, y1, penColour_);
        plot(x, y2 - 1, penColour_);
    }
    for (int y = fy1; y < fy2; ++y) {
        plot(x1, y, penColour_);
        plot(x2 - 1, y, penColour_);
    }
}

void Raster::MoveTo(int x, int y)
{
    penX_ = x;
    penY_ = y;
}

namespace {

// Far box the segment is cut to before it is walked: large enough that a cut
// end point lies far outside the bitmap, small enough that the walk's
// products stay well inside 64 bits.
constexpr double kFar = 1048576.0;

// How many rows ahead of a steep line's walk its memory is fetched.
constexpr long long kRowsAhead = 16;

// Liang-Barsky cut of the segment (x0,y0)-(x1,y1) to [-kFar, kFar]^2.
// Returns false when nothing of it lies inside.
bool cutToFarBox(double& x0, double& y0, double& x1, double& y1)
{
    double t0 = 0.0;
    double t1 = 1.0;
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 + kFar, kFar - x0, y0 + kFar, kFar - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0.0) {
            if (r > t1)
                return false;
            if (r > t0)
                t0 = r;
        } else {
            if (r < t0)
                return false;
            if (r < t1)
                t1 = r;
        }
    }
    const double ox = x0;
    const double oy = y0;
    x0 = ox + t0 * dx;
    y0 = oy + t0 * dy;
    x1 = ox + t1 * dx;
    y1 = oy + t1 * dy;
    return true;
}

}  // namespace

void Raster::LineTo(int x, int y)
{
    const long long x0 = pixelX(penX_);
    const long long y0 = pixelY(penY_);
    penX_ = x;
    penY_ = y;
    walkSegment(x0, y0, pixelX(x), pixelY(y));
}

void Raster::moveToFine(long long x, long long y)
{
    finePenX_ = fineColumnToPixel(x, width_);
    finePenY_ = fineRowToPixel(y, height_);
}

void Raster::lineToFine(long long x, long long y)
{
    const long long x0 = finePenX_;
    const long long y0 = finePenY_;
    moveToFine(x, y);
    walkSegment(x0, y0, finePenX_, finePenY_);
}

void Raster::walkSegment(long long x0, long long y0, long long x1, long long y1)
{
    const long long far = static_cast<long long>(kFar);
    if (x0 < -far || x0 > far || y0 < -far || y0 > far || x1 < -far || x1 > far || y1 < -far || y1 > far) {
        double fx0 = static_cast<double>(x0), fy0 = static_cast<double>(y0);
        double fx1 = static_cast<double>(x1), fy1 = static_cast<double>(y1);
        if (!cutToFarBox(fx0, fy0, fx1, fy1))
            return;
        x0 = std::llround(fx0);
        y0 = std::llround(fy0);
        x1 = std::llround(fx1);
        y1 = std::llround(fy1);
    }
    walk(x0, y0, x1, y1);
}

void Raster::walk(long long x0, long long y0, long long x1, long long y1)
{
    // Bresenham with the minor coordinate at step i equal to the rounded
    // ideal offset, (2*minor*i + major) / (2*major). The walk starts at the
    // first step that can reach the bitmap and stops after the last one, so
    // its cost is bounded by the bitmap's size, not by the segment's length.
    // The end point itself is not drawn.
    const long long adx = x1 >= x0 ? x1 - x0 : x0 - x1;
    const long long ady = y1 >= y0 ? y1 - y0 : y0 - y1;
    const int sx = x1 >= x0 ? 1 : -1;
    const int sy = y1 >= y0 ? 1 : -1;
    const bool xMajor = adx >= ady;
    const long long major = xMajor ? adx : ady;
    const long long minor = xMajor ? ady : adx;
    if (major == 0)
        return;
    const long long m0 = xMajor ? x0 : y0;  // major-axis start
    const int ms = xMajor ? sx : sy;
    const long long limit = xMajor ? width_ : height_;
    const long long margin = penPixels_ / 2;
    // Steps whose major coordinate lies within [-margin, limit - 1 + margin].
    long long first;
    long long last;
    if (ms > 0) {
        first = -margin - m0;
        last = limit - 1 + margin - m0;
    } else {
        first = m0 - (limit - 1 + margin);
        last = m0 + margin;
    }
    if (first < 0)
        first = 0;
    if (last > major - 1)
        last = major - 1;
    if (first > last)
        return;
    const long long den = 2 * major;
    const long long num = 2 * minor * first + major;
    long long q = num / den;
    long long r = num % den;
    const long long inc = 2 * minor;
    const long long n0 = xMajor ? y0 : x0;  // minor-axis start
    const int ns = xMajor ? sy : sx;
    if (penPixels_ > 1) {
        for (long long i = first; i <= last; ++i) {
            const long long a = m0 + ms * i;
            const long long b = n0 + ns * q;
            const long long px = xMajor ? a : b;
            const long long py = xMajor ? b : a;
            if (py >= -margin && py < height_ + margin && px >= -margin && px < width_ + margin)
                plotPen(static_cast<int>(px), static_cast<int>(py));
            r += inc;
            if (r >= den) {
                r -= den;
                ++q;
            }
        }
        return;
    }
    // Thin pen: one pixel per step, written directly. The bitmap's sizes and
    // the notes are held in locals for the walk: written through the
    // bitmap's own members, every pixel stored would make the compiler read
    // them again (a pixel word may alias an int member).
    const std::uint32_t pen = penColour_;
    const std::uint64_t penMix = penHash(pen);
    std::uint32_t* const pixels = pixels_.data();
    std::uint32_t* const notes = writes_.data();
    std::uint64_t* const sums = rowSums_.data();
    const std::size_t room = writes_.size();
    std::size_t count = writeCount_;
    bool known = writesKnown_;
    const long long width = width_;
    const bool laid = graticuleLaid_;
    const auto pixelCount = static_cast<unsigned long long>(pixels_.size());
    const auto height = static_cast<unsigned long long>(height_);
    auto note = [&](std::size_t at, long long x, long long y) {
        if (count < room) {
            notes[count++] = static_cast<std::uint32_t>(at) | (laid ? graticuleBit(x, y) : 0);
            sums[y] += writeHash(at, penMix);
        } else {
            known = false;
        }
    };
    if (xMajor) {
        for (long long i = first; i <= last; ++i) {
            const long long py = n0 + ns * q;
            if (static_cast<unsigned long long>(py) < height) {
                const long long px = m0 + ms * i;
                const auto at = static_cast<std::size_t>(py * width + px);
                pixels[at] = pen;
                note(at, px, py);
            }
            r += inc;
            if (r >= den) {
                r -= den;
                ++q;
            }
        }
    } else {
        // Each step is another row: the memory a few rows ahead is asked for
        // before it is written, which a large bitmap's rows, each on another
        // page, do not get from the processor by itself.
        const long long ahead = kRowsAhead * ms * width;
        for (long long i = first; i <= last; ++i) {
            const long long px = n0 + ns * q;
            const long long py = m0 + ms * i;
            if (static_cast<unsigned long long>(px) < static_cast<unsigned long long>(width)) {
                const long long at = py * width + px;
                if (static_cast<unsigned long long>(at + ahead) < pixelCount)
                    __builtin_prefetch(pixels + at + ahead, 1);
                pixels[at] = pen;
                note(static_cast<std::size_t>(at), px, py);
            }
            r += inc;
            if (r >= den) {
                r -= den;
                ++q;
            }
        }
    }
    writeCount_ = count;
    writesKnown_ = known;
}

void Raster::fillColumnSpans(const int* top, const int* bottom, int columns)
{
    if (spans_.fill(pixels_.data(), top, bottom, columns, penColour_))
        writesKnown_ = false;
}

RowBand Raster::takeChangedRows()
{
    const bool comparable = writesKnown_ && takenKnown_ && takenGround_ == ground_ && takenWidth_ == width_ &&
                            takenSums_.size() == rowSums_.size() && takenGraticule_ == graticuleCount_;
    int first = -1;
    int last = -1;
    if (comparable) {
        for (int y = 0; y < height_; ++y) {
            if (rowSums_[static_cast<std::size_t>(y)] == takenSums_[static_cast<std::size_t>(y)])
                continue;
            if (first < 0)
                first = y;
            last = y;
        }
    } else {
        first = 0;
        last = height_ - 1;
    }
    takenSums_ = rowSums_;
    takenGround_ = ground_;
    takenGraticule_ = graticuleCount_;
    takenWidth_ = width_;
    takenKnown_ = writesKnown_;
    return first < 0 ? RowBand{} : RowBand{first, last - first + 1};
}

void Raster::setGraticule(std::uint32_t colour, const GraticuleLine* lines, std::size_t count)
{
    const std::uint32_t word = storedWord(colour);
    if (word == wantedWord_ && std::equal(lines, lines + count, wantedLines_.begin(), wantedLines_.end()))
        return;
    wantedWord_ = word;
    wantedLines_.assign(lines, lines + count);
    wantedLayable_ = count > 0 && std::all_of(lines, lines + count,
                                              [](const GraticuleLine& l) { return l.x1 == l.x2 || l.y1 == l.y2; });
}

namespace {

// The pixels [from, to) a walk from a to b (b not drawn) covers along one
// axis, cut to [0, limit).
void walkedSpan(long long a, long long b, long long limit, int& from, int& to)
{
    const long long lo = b >= a ? a : b + 1;
    const long long hi = b >= a ? b : a + 1;
    from = static_cast<int>(std::clamp(lo, 0LL, limit));
    to = static_cast<int>(std::clamp(hi, 0LL, limit));
}

}  // namespace

bool Raster::layGraticule()
{
    std::fill(rowFrom_.begin(), rowFrom_.end(), 0);
    std::fill(rowTo_.begin(), rowTo_.end(), 0);
    std::fill(columnFrom_.begin(), columnFrom_.end(), 0);
    std::fill(columnTo_.begin(), columnTo_.end(), 0);
    for (const GraticuleLine& line : wantedLines_) {
        const long long x1 = pixelX(line.x1);
        const long long y1 = pixelY(line.y1);
        const long long x2 = pixelX(line.x2);
        const long long y2 = pixelY(line.y2);
        const bool alongRow = y1 == y2 && x1 != x2;
        const bool alongColumn = x1 == x2 && y1 != y2;
        if (!alongRow && !alongColumn)
            continue;  // nothing drawn
        const long long at = alongRow ? y1 : x1;
        if (at < 0 || at >= (alongRow ? height_ : width_))
            continue;  // outside the bitmap
        std::vector<int>& from = alongRow ? rowFrom_ : columnFrom_;
        std::vector<int>& to = alongRow ? rowTo_ : columnTo_;
        const auto slot = static_cast<std::size_t>(at);
        if (from[slot] < to[slot])
            return false;  // a second line along the same row or column
        walkedSpan(alongRow ? x1 : y1, alongRow ? x2 : y2, alongRow ? width_ : height_, from[slot], to[slot]);
    }
    laidLines_ = wantedLines_;
    laidWord_ = wantedWord_;
    paintLaidGraticule();
    graticuleLaid_ = true;
    ++graticuleCount_;
    return true;
}

void Raster::paintLaidGraticule()
{
    for (int y = 0; y < height_; ++y) {
        std::uint32_t* row = pixels_.data() + static_cast<std::size_t>(y) * width_;
        std::fill(row + rowFrom_[static_cast<std::size_t>(y)], row + rowTo_[static_cast<std::size_t>(y)], laidWord_);
    }
    for (int x = 0; x < width_; ++x) {
        for (int y = columnFrom_[static_cast<std::size_t>(x)]; y < columnTo_[static_cast<std::size_t>(x)]; ++y)
            pixels_[static_cast<std::size_t>(y) * width_ + x] = laidWord_;
    }
}

bool Raster::coverWithGraticule(std::uint32_t colour, const GraticuleLine* lines, std::size_t count)
{
    if (!graticuleLaid_ || penPixels_ != 1 || storedWord(colour) != laidWord_ ||
        !std::equal(lines, lines + count, laidLines_.begin(), laidLines_.end()))
        return false;
    // Where the writes since the clear are not all known (a band of column
    // spans), the whole graticule is painted again: the same pixels.
    if (!writesKnown_) {
        paintLaidGraticule();
        return true;
    }
    std::uint32_t* const pixels = pixels_.data();
    for (std::size_t i = 0; i < writeCount_; ++i) {
        const std::uint32_t note = writes_[i];
        if ((note & kOnGraticule) != 0)
            pixels[note & ~kOnGraticule] = laidWord_;
    }
    return true;
}

}  // namespace varmolen
