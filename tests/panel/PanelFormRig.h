// A main window on the offscreen platform for the front-panel tests: its own
// install and help folders (the user's settings are never touched), a memory
// device whose calls are logged, message boxes recorded instead of shown,
// the start-up timers held so that nothing runs unless a test asks, and the
// C locale's decimal point.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <ostream>

#include <QSignalBlocker>
#include <QSlider>

#include "app/Varmolen2.h"
#include "audio/MemoryWaveInput.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/SwitchBase.h"
#include "WindowTestFolders.h"

// Failed comparisons of texts print the texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace varmolen::test {

class PanelFormRig : public WindowTestFolders {
protected:
    void SetUp() override
    {
        WindowTestFolders::SetUp();
        QLocale::setDefault(QLocale::c());
        form = std::make_unique<TScopeForm>(device);
        form->host().setRecordOnly(true);
        form->StartTimer->stop();
        form->TimeoutTimer->stop();
    }
    void TearDown() override
    {
        form.reset();
        QLocale::setDefault(QLocale::system());
        WindowTestFolders::TearDown();
    }

    // A user's action on a control: the control is set, then its own signal
    // runs whatever handler the window bound to it, so a broken binding fails
    // the test. (Setting a control from the program emits nothing.)
    static void turn(Dial* dial, float value)
    {
        dial->setValue(value);
        emit dial->valueChanged(dial->value());
    }
    static void press(Dial* dial, float value)
    {
        dial->setValue(value);
        emit dial->clicked();
    }
    static void flip(SwitchBase* control, bool checked)
    {
        control->setChecked(checked);
        emit control->clicked();
    }
    static void slide(QSlider* bar, int position)
    {
        {
            const QSignalBlocker quiet(bar);
            bar->setValue(position);
        }
        emit bar->valueChanged(bar->value());
    }

    InstrumentState& s() { return form->state(); }
    QString status(int panel) const { return form->statusText(panel); }
    QString marker() const { return form->MarkerLabel->text(); }
    QString lo() const { return form->LoFreqLabel->text(); }
    QString hi() const { return form->HiFreqLabel->text(); }

    MemoryWaveInput device;
    std::unique_ptr<TScopeForm> form;
};

}  // namespace varmolen::test
