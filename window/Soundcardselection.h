// The sound card selection dialog: a small non-modal window that chooses the
// wave-input device by number and shows its whole name. Every arrow click
// takes effect in waveDeviceId at once; closing the dialog (its "Select"
// button or its close box) re-applies the current input kind on the main
// window, which restarts acquisition on the chosen device.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>

#include "state/InstrumentState.h"
#include "audio/WaveInput.h"
#include "panel/widgets/UpDown.h"

namespace varmolen {

class TSoundCardSelect : public QDialog {
    Q_OBJECT
public:
    TSoundCardSelect(InstrumentState& state, WaveInput& input, std::function<void()> runCurrentInputHandler,
                     QWidget* parent = nullptr);

    QLabel* SoundCardManf;
    UpDown* WaveUpDown;
    QPushButton* CloseBtn;

    void FormShow();
    void WaveUpDownClick();
    void ShowSelectedDevice();
    void CloseBtnClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape would only hide the dialog; it closes it as the close box does.
    void reject() override;

private:
    void showDeviceName(int device);

    InstrumentState& state_;
    WaveInput& input_;
    std::function<void()> runCurrentInputHandler_;
};

}  // namespace varmolen
