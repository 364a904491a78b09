// Load of live acquisition: records from the built-in signal generator in
// stereo for a while (20 s unless a number of seconds is given) at 44100 Hz
// or the rate given, with the engine and run loop on a Qt event loop, wired
// as the main window wires them. No channel is drawn unless `draw` is given:
// then each block goes through the measurement strip's meters and a display
// pass of both channels, as in the window with the strip shown (all but the
// copy to the screen). Prints the process's CPU time as a share of one core,
// the notifications that reached the user-interface thread per second, the
// blocks per second and the share of the buffers the device filled that were
// drawn (the rest were skipped because the loop was still busy).
//   acquisition_load [seconds] [rate] [draw]
#include <sys/resource.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "acquisition/Host.h"
#include "acquisition/RecordingFormat.h"
#include "display/DisplayPass.h"
#include "display/Raster.h"
#include "dsp/Measurements.h"
#include "state/InstrumentState.h"
#include "acquisition/AcquisitionLoop.h"
#include "audio/GeneratorWaveInput.h"
#include "acquisition/WaveEngine.h"

namespace {

using namespace varmolen;

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class TimerHost : public Host {
public:
    TimerHost()
    {
        for (QTimer* t : {&start, &timeout})
            t->setInterval(250);
    }
    void showMessage(const std::string& text, const std::string& caption) override
    {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
    void endApplication() override { QCoreApplication::exit(1); }
    void enableTimer(TimerId id, bool on) override
    {
        QTimer& t = id == TimerId::StartTimer ? start : timeout;
        on ? t.start() : t.stop();
    }
    bool timerEnabled(TimerId id) const override { return (id == TimerId::StartTimer ? start : timeout).isActive(); }
    void pauseMs(int) override {}
    int eventLoopDepth() const override { return QThread::currentThread()->loopLevel(); }
    QTimer start, timeout;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    const auto rate = static_cast<std::uint32_t>(argc > 2 ? std::atol(argv[2]) : 44100);
    const bool draw = argc > 3 && std::string(argv[3]) == "draw";
    if (!isSampleRate(rate)) {
        std::fprintf(stderr, "no recording rate: %u\n", rate);
        return 2;
    }

    InstrumentState s;
    s.loadingSettings = 0;
    s.bufferA = std::make_unique<std::uint8_t[]>(kRecordBufferBytes);
    s.bufferB = std::make_unique<std::uint8_t[]>(kRecordBufferBytes);
    s.inputSelect = 1;
    s.sampleRate = rate;
    s.channelCount = 2;
    s.blockAlign = 4;
    s.bufferBytes = blockBufferBytes(s, rate);
    s.chan1Enabled = 1;
    s.chan2Enabled = 1;
    auto raster = std::make_unique<Raster>();
    auto strip = std::make_unique<Measurements>();

    GeneratorWaveInput input;
    TimerHost host;
    WaveEngine engine(s, s, input, host);
    long blocks = 0;
    AcquisitionLoop loop(s, s, s, engine, host, [&] {
        ++blocks;
        if (draw)
            runDisplayPass(s, s, s, *raster);
    });
    if (draw)
        loop.setBlockObserver([&](const RecordedBlock& b) { strip->measureBlock(b, true, true, MeasureParts{}); });
    QObject::connect(&host.start, &QTimer::timeout, [&] { loop.StartTimerTimer(); });
    QObject::connect(&host.timeout, &QTimer::timeout, [&] { loop.TimeoutTimerTimer(); });

    // The hop from the capture thread: at most one notification in flight.
    std::atomic<bool> pending{false};
    long delivered = 0;
    input.setNotifier([&] {
        if (!pending.exchange(true))
            QMetaObject::invokeMethod(
                &app,
                [&] {
                    pending = false;
                    ++delivered;
                    loop.onDeviceNotification();
                },
                Qt::QueuedConnection);
    });

    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    loop.StartBtnClick();
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
        loop.StopBtnClick();
        host.start.stop();
        app.quit();
    });
    const int rc = app.exec();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpuSeconds() - cpu0;
    std::printf("wall %.2f s, cpu %.3f s = %.2f %% of one core\n", wall, cpu, 100.0 * cpu / wall);
    const double filled = static_cast<double>(rate) * wall / (s.bufferBytes / s.blockAlign);
    std::printf(
        "%u Hz%s: notifications %.1f per second, blocks %.2f per second (%.0f %% of the buffers filled), "
        "timeouts %d\n",
        rate, draw ? " drawn" : "", delivered / wall, blocks / wall, 100.0 * blocks / filled, loop.timeoutCount());
    return rc;
}
