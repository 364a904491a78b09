#include "panel/widgets/ShmPresenter.h"

#include <QRegion>
#include <QWidget>
#include <QWindow>

#include "display/Raster.h"

#if VARMOLEN_HAVE_XSHM
#include <QGuiApplication>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <memory>
#endif

namespace varmolen {

#if VARMOLEN_HAVE_XSHM

namespace {

// Frees what an xcb call returned.
struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// The X connection of this session when it runs on an X server that has
// MIT-SHM; nullptr otherwise.
xcb_connection_t* sharedMemoryConnection()
{
    // The toolkit's own switch for its shared-memory surfaces turns this off too.
    if (QGuiApplication::platformName() != QLatin1String("xcb") || qEnvironmentVariableIsSet("QT_X11_NO_MITSHM"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return nullptr;
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    return shm && shm->present ? c : nullptr;
}

// Waits until the server has carried out every request sent before.
void settle(xcb_connection_t* c)
{
    Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

}  // namespace

ShmPresenter::ShmPresenter() { connection_ = sharedMemoryConnection(); }

ShmPresenter::~ShmPresenter()
{
    if (!connection_)
        return;
    release();
    if (context_)
        xcb_free_gc(connection_, context_);
    xcb_flush(connection_);
}

void ShmPresenter::release()
{
    if (!memory_)
        return;
    // The server lets go of the segment before this process unmaps it.
    xcb_shm_detach(connection_, segment_);
    settle(connection_);
    shmdt(memory_);
    memory_ = nullptr;
}

std::uint32_t* ShmPresenter::lend(std::size_t count)
{
    if (!connection_ || count == 0)
        return nullptr;
    release();
    xcb_connection_t* c = connection_;
    const std::size_t bytes = count * sizeof(std::uint32_t);
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return nullptr;
    void* memory = shmat(id, nullptr, 0);
    if (memory == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return nullptr;
    }
    const xcb_shm_seg_t segment = xcb_generate_id(c);
    Reply<xcb_generic_error_t> error(xcb_request_check(c, xcb_shm_attach_checked(c, segment, id, 1)));
    // Marked for removal now that both sides have it: it goes when both let
    // go, even if this process ends without detaching.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        shmdt(memory);
        return nullptr;
    }
    memory_ = memory;
    segment_ = segment;
    return static_cast<std::uint32_t*>(memory);
}

bool ShmPresenter::windowFits(std::uint32_t window)
{
    if (window == window_)
        return windowFits_;
    xcb_connection_t* c = connection_;
    window_ = window;
    windowFits_ = false;
    const Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (!geometry || !attributes || (geometry->depth != 24 && geometry->depth != 32))
        return false;
    // Stored words are 0xFFRRGGBB in this machine's byte order: the server
    // must keep 32 bits per pixel at that depth, in the same byte order, and
    // the window's visual must put red, green and blue where the word does.
    const xcb_setup_t* setup = xcb_get_setup(c);
    const bool littleEndian = std::endian::native == std::endian::little;
    if (setup->image_byte_order != (littleEndian ? XCB_IMAGE_ORDER_LSB_FIRST : XCB_IMAGE_ORDER_MSB_FIRST))
        return false;
    bool wholeWords = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        wholeWords = wholeWords || (f.data->depth == geometry->depth && f.data->bits_per_pixel == 32);
    bool rgb = false;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == attributes->visual)
                    rgb = v.data->red_mask == 0xFF0000u && v.data->green_mask == 0xFF00u && v.data->blue_mask == 0xFFu;
    if (!wholeWords || !rgb)
        return false;
    if (context_)
        xcb_free_gc(c, context_);
    context_ = xcb_generate_id(c);
    const std::uint32_t noExposures = 0;
    xcb_create_gc(c, context_, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    depth_ = geometry->depth;
    windowFits_ = true;
    return true;
}

bool ShmPresenter::put(const QWidget& box, const Raster& bitmap, const RowBand& band, const QRegion& keepOut)
{
    if (!memory_ || static_cast<const void*>(bitmap.data()) != memory_ || !box.isVisible())
        return false;
    const QWidget* top = box.window();
    QWindow* handle = top->windowHandle();
    if (!handle || !handle->isExposed())
        return false;
    const qreal ratio = handle->devicePixelRatio();
    const QRect place(box.mapTo(top, QPoint(0, 0)), box.size());
    if (!top->rect().contains(place) || std::lround(place.width() * ratio) != bitmap.width() ||
        std::lround(place.height() * ratio) != bitmap.height())
        return false;
    if (!windowFits(static_cast<std::uint32_t>(handle->winId())))
        return false;
    const int left = static_cast<int>(std::lround(place.x() * ratio));
    const int top0 = static_cast<int>(std::lround(place.y() * ratio));
    const QRect rows(0, band.first, bitmap.width(), band.count);
    if (keepOut.isEmpty()) {
        send(bitmap, rows.x(), rows.y(), rows.width(), rows.height(), left, top0);
    } else {
        // The parts left in device pixels, each covered part grown to whole
        // pixels so that nothing of it is sent.
        QRegion parts(rows);
        for (const QRect& r : keepOut)
            parts -= QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio).toAlignedRect();
        for (const QRect& r : parts)
            send(bitmap, r.x(), r.y(), r.width(), r.height(), left, top0);
    }
    // The next pass draws into these rows: wait until the server has read
    // them (a round trip, no processor time while it waits).
    settle(connection_);
    return true;
}

void ShmPresenter::send(const Raster& bitmap, int x, int y, int w, int h, int left, int top)
{
    xcb_shm_put_image(connection_, window_, context_, static_cast<std::uint16_t>(bitmap.width()),
                      static_cast<std::uint16_t>(bitmap.height()), static_cast<std::uint16_t>(x),
                      static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h),
                      static_cast<std::int16_t>(left + x), static_cast<std::int16_t>(top + y), depth_,
                      XCB_IMAGE_FORMAT_Z_PIXMAP, 0, segment_, 0);
}

#else

ShmPresenter::ShmPresenter() = default;
ShmPresenter::~ShmPresenter() = default;
void ShmPresenter::release() {}
std::uint32_t* ShmPresenter::lend(std::size_t) { return nullptr; }
bool ShmPresenter::windowFits(std::uint32_t) { return false; }
bool ShmPresenter::put(const QWidget&, const Raster&, const RowBand&, const QRegion&) { return false; }
void ShmPresenter::send(const Raster&, int, int, int, int, int, int) {}

#endif

}  // namespace varmolen
