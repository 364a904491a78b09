#include "window/GeneratorPanel.h"

#include <QTimer>

#include "acquisition/AcquisitionLoop.h"
#include "acquisition/GeneratorControl.h"
#include "window/GeneratorWindow.h"
#include "window/RemoteControl.h"
#include "window/SweepWindow.h"
#include "window/Varmolen2.h"
#include "remote/ScpiParser.h"

namespace varmolen {

GeneratorPanel::GeneratorPanel(TScopeForm& form)
    : PanelGroup(form), generator_(std::make_unique<GeneratorControl>(form.state().features))
{}

GeneratorPanel::~GeneratorPanel() { closeWindows(); }

void GeneratorPanel::closeWindows()
{
    delete sweepWindow_;
    sweepWindow_ = nullptr;
    delete generatorWindow_;
    generatorWindow_ = nullptr;
}

void GeneratorPanel::setPlaybackService(PlaybackService service)
{
    generator_->setService(std::move(service));
    generator_->setFailureNotifier([this] {
        // From the playback thread: the window hears of it on its own thread.
        QMetaObject::invokeMethod(
            &form_,
            [this] {
                if (generatorWindow_ != nullptr) {
                    generatorWindow_->outputFailed();
                } else {
                    const std::string message = generator_->takeFailure();
                    if (!message.empty())
                        announceEnd(form_, scpi::code::kHardwareError, message, "Signal Generator");
                }
            },
            Qt::QueuedConnection);
    });
    if (state().features.generatorOnAtStart) {
        std::string whyNot;
        if (!generator_->switchOn(state().sampleRate, whyNot))
            host().showMessage(whyNot, "Signal Generator");
    }
}

void GeneratorPanel::generatorFollowsRate()
{
    std::string whyNot;
    const bool sweeping = generator_->sweeping();
    if (!generator_->followRate(state().sampleRate, whyNot))
        host().showMessage(whyNot, "Signal Generator");
    // A sweep measured at the old rate ends with the change; the window
    // shows it in the sweep's rows, a remote client hears of it.
    if (sweeping && !generator_->sweeping())
        announceEnd(form_, scpi::code::kExecutionError,
                    "The response sweep was cancelled: the capture's sample rate changed.", "Response Sweep", false);
    if (generatorWindow_ != nullptr)
        generatorWindow_->showSettings();
    if (sweepWindow_ != nullptr)
        sweepWindow_->showRows();
}

void GeneratorPanel::Generator1Click(QObject* /*sender*/)
{
    if (generatorWindow_ == nullptr)
        generatorWindow_ = new GeneratorWindow(form_, *generator_);
    else
        generatorWindow_->load();
    generatorWindow_->show();
    generatorWindow_->raise();
}

bool GeneratorPanel::startSweep(const SweepPlan& plan, std::string& whyNot)
{
    const InstrumentState& s = state();
    if (plan.channel == 2 && s.inputSelect != kLineInput) {
        whyNot =
            "Channel 2 is recorded from the Line input only: choose Options > Input > Line or measure on "
            "channel 1.";
        return false;
    }
    if (!generator_->startSweep(plan, s.sampleRate, whyNot))
        return false;
    form_.acquisition().setBlockObserver(
        [this](const RecordedBlock& block) {
            if (!generator_->sweeping())
                return;
            const bool finished = generator_->takeBlock(block);
            // The rows and the progress after each step; the observer is let
            // go after its call, never from within it.
            QTimer::singleShot(0, &form_, [this, finished] {
                if (sweepWindow_ != nullptr)
                    sweepWindow_->showRows();
                if (finished && !generator_->sweeping())
                    form_.acquisition().setBlockObserver(nullptr, AcquisitionLoop::kSweepObserver);
            });
        },
        AcquisitionLoop::kSweepObserver);
    return true;
}

void GeneratorPanel::ResponseSweep1Click(QObject* /*sender*/)
{
    if (sweepWindow_ == nullptr)
        sweepWindow_ = new SweepWindow(form_, *generator_);
    sweepWindow_->show();
    sweepWindow_->raise();
}

}  // namespace varmolen
