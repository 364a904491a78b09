// Hands the display bitmap to the X server without a copy in between. The
// bitmap's pixels live in a shared-memory segment the server also maps
// (MIT-SHM), and a pass's changed rows go to the window with one put request:
// the server reads them where the pass drew them. The toolkit's own way
// copies them first into the window's surface and then hands that to the
// server; on a large display that first copy of every changed row was the
// biggest single cost of a pass.
//
// Only on an X server on this machine with MIT-SHM and a window of 24 or 32
// bits per pixel in the bitmap's layout; anywhere else (another platform, a
// remote server, the offscreen platform of the tests) it lends nothing and
// the box repaints through the toolkit as before.
#pragma once

#include <cstddef>
#include <cstdint>

class QRegion;
class QWidget;
struct xcb_connection_t;

namespace varmolen {

class Raster;
struct RowBand;

class ShmPresenter {
public:
    ShmPresenter();
    ~ShmPresenter();
    ShmPresenter(const ShmPresenter&) = delete;
    ShmPresenter& operator=(const ShmPresenter&) = delete;

    // Whether this session's display server can take shared pixels at all.
    bool available() const { return connection_ != nullptr; }

    // Memory for `count` pixels shared with the server, or nullptr. Lending
    // again takes back the memory lent before.
    std::uint32_t* lend(std::size_t count);

    // Puts `band`'s rows of `bitmap` at the place of `box` in its window,
    // except where `keepOut` lies (the box's children, in its own points:
    // the toolkit paints those parts), and returns once the server has read
    // them (the next pass may draw). False, having sent nothing, when it
    // cannot: the bitmap is not in the shared memory, is not the box's size
    // in device pixels, the box is not wholly shown in its window, or the
    // window's pixels are not laid out as the bitmap's. The caller then
    // repaints the box.
    bool put(const QWidget& box, const Raster& bitmap, const RowBand& band, const QRegion& keepOut);

private:
    void release();
    bool windowFits(std::uint32_t window);
    // Sends the bitmap's pixels x, y (w x h) to the window at (left + x, top + y).
    void send(const Raster& bitmap, int x, int y, int w, int h, int left, int top);

    xcb_connection_t* connection_ = nullptr;
    void* memory_ = nullptr;
    std::uint32_t segment_ = 0;
    // The window last checked, whether its pixels are the bitmap's layout,
    // its depth and the drawing context made for it.
    std::uint32_t window_ = 0;
    bool windowFits_ = false;
    std::uint8_t depth_ = 0;
    std::uint32_t context_ = 0;
};

}  // namespace varmolen
