// first_pass_probe RRGGBB MIN_PIXELS TIMEOUT_MS PROGRAM [ARGS...]
//
// Starts PROGRAM on the current X display and watches the screen until at
// least MIN_PIXELS pixels of one changed area show the colour RRGGBB
// (hexadecimal), i.e. until the instrument has drawn its first pass with a
// trace of that colour. Prints "window on screen after N ms" (the first
// change of the screen) and "first pass after N ms", both from the moment
// before the program was started, then ends the program with SIGTERM and
// waits for it. Exit status 0 when the colour appeared, 1 on timeout, 2 on a
// usage or X error.
//
// The X server reports every changed rectangle of the screen (the DAMAGE
// extension) and only those rectangles are read back, so the probe costs
// next to nothing while it waits: grabbing the whole screen every few
// milliseconds instead kept the X server busy enough to slow the very start
// it was timing.
//
// Built by bench/peer_compare.sh with `g++ -O2 ... -lX11 -lXdamage -lXfixes`;
// it is a helper for measurements from outside the process, not part of the
// instrument.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Pixels of the exact colour in the screen image (24-bit TrueColor visual).
long countColour(XImage* img, unsigned long rgb)
{
    long n = 0;
    if (img->bits_per_pixel == 32) {
        for (int y = 0; y < img->height; ++y) {
            const auto* row =
                reinterpret_cast<const unsigned char*>(img->data) + static_cast<long>(y) * img->bytes_per_line;
            for (int x = 0; x < img->width; ++x) {
                unsigned long v = 0;
                for (int b = 0; b < 4; ++b)
                    v |= static_cast<unsigned long>(row[4 * x + b])
                         << (img->byte_order == LSBFirst ? 8 * b : 8 * (3 - b));
                if ((v & 0xFFFFFFul) == rgb)
                    ++n;
            }
        }
        return n;
    }
    for (int y = 0; y < img->height; ++y)
        for (int x = 0; x < img->width; ++x)
            if ((XGetPixel(img, x, y) & 0xFFFFFFul) == rgb)
                ++n;
    return n;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s RRGGBB MIN_PIXELS TIMEOUT_MS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const unsigned long rgb = std::strtoul(argv[1], nullptr, 16) & 0xFFFFFFul;
    const long minPixels = std::strtol(argv[2], nullptr, 10);
    const double timeoutMs = std::strtod(argv[3], nullptr);

    // The connection and the damage watch are made before the clock starts,
    // so their cost is not counted against the program.
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        std::fprintf(stderr, "cannot open the X display\n");
        return 2;
    }
    int damageEvent = 0;
    int damageError = 0;
    if (!XDamageQueryExtension(dpy, &damageEvent, &damageError)) {
        std::fprintf(stderr, "the X server has no DAMAGE extension\n");
        return 2;
    }
    const Window root = DefaultRootWindow(dpy);
    XDamageCreate(dpy, root, XDamageReportRawRectangles);
    XSync(dpy, False);
    // What the server reports about the screen as it already was is not a
    // change made by the program.
    while (XPending(dpy) > 0) {
        XEvent stale;
        XNextEvent(dpy, &stale);
    }

    const double t0 = nowMs();
    const pid_t child = fork();
    if (child < 0)
        return 2;
    if (child == 0) {
        execvp(argv[4], argv + 4);
        std::perror("exec");
        _exit(127);
    }

    int rc = 1;
    double seen = -1.0;
    double windowSeen = -1.0;
    while (rc != 0) {
        const double t = nowMs();
        if (t - t0 > timeoutMs)
            break;
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "the program ended before drawing\n");
            XCloseDisplay(dpy);
            return 1;
        }
        if (XPending(dpy) == 0) {
            // Wait for the server's next report, waking now and then to see
            // whether the program has ended or the time is up.
            pollfd p{ConnectionNumber(dpy), POLLIN, 0};
            poll(&p, 1, 20);
            continue;
        }
        // Every change reported so far, as one rectangle: a picture sent in
        // several pieces is read back whole.
        int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        bool any = false;
        while (XPending(dpy) > 0) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type != damageEvent + XDamageNotify)
                continue;
            const XRectangle& a = reinterpret_cast<const XDamageNotifyEvent&>(ev).area;
            if (!any) {
                x1 = a.x, y1 = a.y, x2 = a.x + a.width, y2 = a.y + a.height;
                any = true;
            } else {
                x1 = std::min(x1, static_cast<int>(a.x)), y1 = std::min(y1, static_cast<int>(a.y));
                x2 = std::max(x2, a.x + a.width), y2 = std::max(y2, a.y + a.height);
            }
        }
        if (!any)
            continue;
        const double changed = nowMs();
        if (windowSeen < 0.0)
            windowSeen = changed - t0;
        if (static_cast<long>(x2 - x1) * (y2 - y1) < minPixels)
            continue;
        XImage* img = XGetImage(dpy, root, x1, y1, static_cast<unsigned>(x2 - x1), static_cast<unsigned>(y2 - y1),
                                AllPlanes, ZPixmap);
        if (img == nullptr)
            continue;
        const long n = countColour(img, rgb);
        XDestroyImage(img);
        if (n >= minPixels) {
            // The server reported the change before this read-back.
            seen = changed - t0;
            rc = 0;
        }
    }
    if (windowSeen >= 0.0)
        std::printf("window on screen after %.0f ms\n", windowSeen);
    if (rc == 0)
        std::printf("first pass after %.0f ms\n", seen);
    else
        std::printf("no first pass within %.0f ms\n", timeoutMs);
    std::fflush(stdout);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    XCloseDisplay(dpy);
    return rc;
}
