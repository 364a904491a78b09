// Driving the main window in tests as a user would: a settings file put in
// place, controls worked so that their own signals run whatever handler the
// window bound to them (a broken binding fails the test), and the event loop
// served for a while. Setting a control from the program emits nothing.
#pragma once

#include <QEventLoop>
#include <QFile>
#include <QSignalBlocker>
#include <QSlider>
#include <QString>
#include <QTimer>

#include <functional>

#include "panel/widgets/Dial.h"
#include "panel/widgets/SwitchBase.h"
#include "persist/ConfigFile.h"

namespace varmolen::test {

// Writes a settings record at `path`; false when it could not.
inline bool writeSettings(const QString& path, const ConfigValues& values)
{
    const ConfigRecord record = encodeConfiguration(values);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(reinterpret_cast<const char*>(record.data()), static_cast<qint64>(record.size())) ==
           static_cast<qint64>(record.size());
}

inline void turn(Dial* dial, float value)
{
    dial->setValue(value);
    emit dial->valueChanged(dial->value());
}

inline void press(Dial* dial, float value)
{
    dial->setValue(value);
    emit dial->clicked();
}

inline void flip(SwitchBase* control, bool checked)
{
    control->setChecked(checked);
    emit control->clicked();
}

inline void slide(QSlider* bar, int position)
{
    {
        const QSignalBlocker quiet(bar);
        bar->setValue(position);
    }
    emit bar->valueChanged(bar->value());
}

// Serves events until `done` holds (checked every few milliseconds) or `ms`
// have passed. A local loop: quitting the application would close its windows.
inline void serveUntil(int ms, const std::function<bool()>& done = {})
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done && done())
            loop.quit();
    });
    poll.start(2);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace varmolen::test
