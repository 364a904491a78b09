// Shared pieces of the fault tests: settings files in a private install
// folder, and a local event loop that runs the window for a while (never the
// application's own loop, whose end would close every window).
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "state/InstrumentState.h"
#include "persist/ConfigFile.h"

namespace varmolen::test {

inline std::vector<std::uint8_t> readWholeFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    return {bytes.begin(), bytes.end()};
}

inline bool writeWholeFile(const QString& path, const std::vector<std::uint8_t>& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
           static_cast<qint64>(bytes.size());
}

inline std::vector<std::uint8_t> recordBytes(const ConfigValues& v)
{
    const ConfigRecord r = encodeConfiguration(v);
    return {r.begin(), r.end()};
}

// Settings for a recording scene: 44100 Hz stereo line input from device 0,
// channel 1 drawn, channel 2 not.
inline ConfigValues recordingScene()
{
    ConfigValues v = defaultConfiguration();
    v.sampleRate = 44100;
    v.inputSelect = 1;
    v.chan1Enabled = 1;
    v.chan2Enabled = 0;
    v.waveDeviceId = 0;
    return v;
}

// Runs the event loop until `done` holds or `ms` have passed; `tick` runs
// every 10 ms meanwhile. Returns the milliseconds that passed.
inline qint64 runFor(int ms, const std::function<bool()>& done = {}, const std::function<void()>& tick = {})
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        if (tick)
            tick();
        if ((done && done()) || clock.elapsed() >= ms)
            loop.quit();
    });
    ticker.start();
    loop.exec();
    return clock.elapsed();
}

// Largest magnitude in a channel's block: a recorded signal shows here.
inline std::int32_t peak(const std::array<std::int32_t, kArrayLength>& x)
{
    std::int32_t m = 0;
    for (std::int32_t v : x)
        m = std::max(m, std::abs(v));
    return m;
}

}  // namespace varmolen::test
