#include "window/GeneratorPanel.h"

#include <QTimer>

#include "acquisition/AcquisitionLoop.h"
#include "acquisition/GeneratorControl.h"
#include "window/GeneratorWindow.h"
#include "window/SweepWindow.h"
#include "state/InstrumentSettings.h"
#include "window/QtHost.h"
#include "remote/ScpiParser.h"

namespace varmolen {

GeneratorPanel::GeneratorPanel(const PanelParts& panel, InstrumentSettings& settings, AcquisitionLoop& acquisition,
                               QWidget& window, EndAnnouncer announceEnd)
    : PanelGroup(panel),
      settings_(settings),
      acquisition_(acquisition),
      window_(window),
      announceEnd_(std::move(announceEnd)),
      generator_(std::make_unique<GeneratorControl>(settings.features))
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
            &window_,
            [this] {
                if (generatorWindow_ != nullptr) {
                    generatorWindow_->outputFailed();
                } else {
                    const std::string message = generator_->takeFailure();
                    if (!message.empty())
                        announceEnd_(scpi::code::kHardwareError, message, "Signal Generator", true);
                }
            },
            Qt::QueuedConnection);
    });
    if (settings_.features.generatorOnAtStart) {
        std::string whyNot;
        if (!generator_->switchOn(settings_.sampleRate, whyNot))
            host_.showMessage(whyNot, "Signal Generator");
    }
}

void GeneratorPanel::generatorFollowsRate()
{
    std::string whyNot;
    const bool sweeping = generator_->sweeping();
    if (!generator_->followRate(settings_.sampleRate, whyNot))
        host_.showMessage(whyNot, "Signal Generator");
    // A sweep measured at the old rate ends with the change; the window
    // shows it in the sweep's rows, a remote client hears of it.
    if (sweeping && !generator_->sweeping())
        announceEnd_(scpi::code::kExecutionError,
                     "The response sweep was cancelled: the capture's sample rate changed.", "Response Sweep", false);
    if (generatorWindow_ != nullptr)
        generatorWindow_->showSettings();
    if (sweepWindow_ != nullptr)
        sweepWindow_->showRows();
}

void GeneratorPanel::Generator1Click(QObject* /*sender*/)
{
    if (generatorWindow_ == nullptr)
        generatorWindow_ = new GeneratorWindow(window_, settings_, host_, *generator_, announceEnd_);
    else
        generatorWindow_->load();
    generatorWindow_->show();
    generatorWindow_->raise();
}

bool GeneratorPanel::startSweep(const SweepPlan& plan, std::string& whyNot)
{
    const InstrumentSettings& s = settings_;
    if (plan.channel == 2 && s.inputSelect != kLineInput) {
        whyNot =
            "Channel 2 is recorded from the Line input only: choose Options > Input > Line or measure on "
            "channel 1.";
        generator_->forgetSweep();
        return false;
    }
    if (!generator_->startSweep(plan, s.sampleRate, whyNot))
        return false;
    acquisition_.setBlockObserver(
        [this](const RecordedBlock& block) {
            if (!generator_->sweeping())
                return;
            const bool finished = generator_->takeBlock(block);
            // The rows and the progress after each step; the observer is let
            // go after its call, never from within it.
            QTimer::singleShot(0, &window_, [this, finished] {
                if (sweepWindow_ != nullptr)
                    sweepWindow_->showRows();
                if (finished && !generator_->sweeping())
                    acquisition_.setBlockObserver(nullptr, AcquisitionLoop::kSweepObserver);
            });
        },
        AcquisitionLoop::kSweepObserver);
    return true;
}

void GeneratorPanel::ResponseSweep1Click(QObject* /*sender*/)
{
    if (sweepWindow_ == nullptr)
        sweepWindow_ = new SweepWindow(window_, settings_, host_, *this, *generator_);
    sweepWindow_->show();
    sweepWindow_->raise();
}

}  // namespace varmolen
