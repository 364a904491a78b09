// first_pass_probe RRGGBB MIN_PIXELS TIMEOUT_MS PROGRAM [ARGS...]
//
// Starts PROGRAM on the current X display and watches the screen until at
// least MIN_PIXELS pixels show the colour RRGGBB (hexadecimal), i.e. until
// the instrument has drawn its first pass with a trace of that colour. Prints
// "window on screen after N ms" (the first grab that differs from the empty
// screen) and "first pass after N ms", both from the moment before the
// program was started,
// then ends the program with SIGTERM and waits for it. Exit status 0 when the
// colour appeared, 1 on timeout, 2 on a usage or X error.
//
// Built by bench/peer_compare.sh with `g++ -O2 ... -lX11`; it is a helper for
// measurements from outside the process, not part of the instrument.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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
            const auto* row = reinterpret_cast<const unsigned char*>(img->data) +
                              static_cast<long>(y) * img->bytes_per_line;
            for (int x = 0; x < img->width; ++x) {
                unsigned long v = 0;
                for (int b = 0; b < 4; ++b)
                    v |= static_cast<unsigned long>(row[4 * x + b]) << (img->byte_order == LSBFirst ? 8 * b : 8 * (3 - b));
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

// A cheap fingerprint of the whole screen, to tell when the window appears.
unsigned long long fingerprint(XImage* img)
{
    unsigned long long h = 1469598103934665603ull;
    const auto* p = reinterpret_cast<const unsigned char*>(img->data);
    const long bytes = static_cast<long>(img->bytes_per_line) * img->height;
    for (long i = 0; i < bytes; i += 4) {
        h ^= static_cast<unsigned long long>(p[i]) | static_cast<unsigned long long>(p[i + 1]) << 8 |
             static_cast<unsigned long long>(p[i + 2]) << 16;
        h *= 1099511628211ull;
    }
    return h;
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

    // The connection is made before the clock starts, so its cost is not
    // counted against the program.
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        std::fprintf(stderr, "cannot open the X display\n");
        return 2;
    }
    const Window root = DefaultRootWindow(dpy);
    XWindowAttributes attrs{};
    XGetWindowAttributes(dpy, root, &attrs);

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
    bool haveEmpty = false;
    unsigned long long emptyScreen = 0;
    for (;;) {
        const double t = nowMs();
        if (t - t0 > timeoutMs)
            break;
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "the program ended before drawing\n");
            XCloseDisplay(dpy);
            return 1;
        }
        XImage* img = XGetImage(dpy, root, 0, 0, static_cast<unsigned>(attrs.width),
                                static_cast<unsigned>(attrs.height), AllPlanes, ZPixmap);
        const double grabbed = nowMs();
        if (img != nullptr) {
            const unsigned long long f = fingerprint(img);
            if (!haveEmpty) {
                emptyScreen = f;
                haveEmpty = true;
            } else if (windowSeen < 0.0 && f != emptyScreen) {
                windowSeen = grabbed - t0;
            }
            const long n = countColour(img, rgb);
            XDestroyImage(img);
            if (n >= minPixels) {
                // The picture was on the screen by the end of this grab at
                // the latest; the grabs are a few milliseconds apart.
                seen = grabbed - t0;
                rc = 0;
                break;
            }
        }
        usleep(2000);
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
