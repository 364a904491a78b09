// The Input Device group: which device acquisition records from, and the
// one notice that the built-in generator stands in for a missing sound input.
#include <QAccessible>
#include <QLabel>
#include <QTimer>

#include "window/Varmolen2.h"
#include "audio/GeneratorWaveInput.h"
#include "acquisition/WaveEngine.h"
#include "audio/WaveInput.h"

namespace varmolen {

void TScopeForm::showInputDevice()
{
    if (!engine_->deviceOpen())
        return;  // a failed start leaves the last device named
    const InstrumentState& s = *state_;
    openDevice_ = s.waveDeviceId;
    const QString name = QString::fromStdString(waveInput_.deviceName(static_cast<UINT>(s.waveDeviceId)));
    if (controls_.input.InputDeviceLabel->text() != name) {
        controls_.input.InputDeviceLabel->setText(name);
        controls_.input.InputDeviceLabel->setToolTip(name);
    }
    // The generator as the only device: the system offered no sound input.
    // Said once a run of the program, without a box to dismiss, and read out
    // by screen readers as an alert.
    if (generatorNoticeGiven_ || s.waveDeviceCount != 1 || name != QLatin1String(kGeneratorProductName))
        return;
    generatorNoticeGiven_ = true;
    const InputWidgets& input = controls_.input;
    input.InputNoticeLabel->setText(QStringLiteral("No sound input was found: the built-in generator stands in."));
    input.InputNoticeLabel->show();
    input.InputNoticeTimer->start();
    QAccessibleEvent alert(input.InputNoticeLabel, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

}  // namespace varmolen
