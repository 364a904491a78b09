#include "window/GeneratorPanel.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <span>

#include "acquisition/AcquisitionLoop.h"
#include "acquisition/GeneratorControl.h"
#include "window/GeneratorWindow.h"
#include "window/SweepWindow.h"
#include "state/InstrumentSettings.h"
#include "window/QtHost.h"
#include "display/MeasurementReadouts.h"
#include "persist/ConfigFile.h"
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
    const FeatureSettings& f = s.features;
    if (f.sweepType == kLogSweep) {
        LogSweepRequest request{.plan = {.startHz = plan.startHz,
                                         .stopHz = plan.stopHz,
                                         .seconds = f.sweepSeconds,
                                         .levelDbfs = plan.levelDbfs},
                                .channel = plan.channel,
                                .referenceChannel2 = f.sweepReference == kSweepReferenceChannel2,
                                .calibration = {},
                                .calibrationName = {}};
        if (request.referenceChannel2 && (plan.channel == 2 || s.inputSelect != kLineInput)) {
            whyNot =
                "The reference is channel 2 of the Line input, taking the output straight back: choose "
                "Options > Input > Line and measure on channel 1.";
            generator_->forgetSweep();
            return false;
        }
        if (f.sweepReference == kSweepReferenceSaved) {
            SavedResponse saved;
            std::string why;
            if (f.sweepCalibration.empty() || !readSweepFile(QString::fromStdString(f.sweepCalibration), saved, why)) {
                whyNot = f.sweepCalibration.empty()
                             ? "No saved reference is chosen: load a saved loopback measurement as the reference."
                             : "The saved reference " + f.sweepCalibration + " cannot be used: " + why;
                generator_->forgetSweep();
                return false;
            }
            request.calibration = std::move(saved.points);
            request.calibrationName = QFileInfo(QString::fromStdString(f.sweepCalibration)).fileName().toStdString();
        }
        settings_.features.sweep = plan;
        if (!generator_->startLogSweep(std::move(request), s.sampleRate, whyNot))
            return false;
    } else if (!generator_->startSweep(plan, s.sampleRate, whyNot)) {
        return false;
    }
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
                if (finished && !generator_->sweeping()) {
                    acquisition_.setBlockObserver(nullptr, AcquisitionLoop::kSweepObserver);
                    // A log sweep that could not be analysed says why.
                    const auto log = generator_->logSweepResult();
                    if (log && !log->valid)
                        announceEnd_(scpi::code::kExecutionError, "The log sweep failed: " + log->whyNot,
                                     "Response Sweep", true);
                }
            });
        },
        AcquisitionLoop::kSweepObserver);
    return true;
}

bool readSweepFile(const QString& path, SavedResponse& out, std::string& whyNot)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        whyNot = file.errorString().toStdString();
        if (QFileInfo(path).isDir())
            whyNot = "it is a folder";
        return false;
    }
    // Never more than the limit is read, whatever the file claims.
    const auto limit = static_cast<qint64>(kSweepFileMaxBytes);
    const QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit) {
        whyNot = "it is larger than " + std::to_string(kSweepFileMaxBytes / (1024 * 1024)) +
                 " MB, more than any saved measurement";
        return false;
    }
    SavedResponse parsed;
    if (!parseSweepFile(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), parsed, whyNot))
        return false;
    if (parsed.name.empty())
        parsed.name = QFileInfo(path).completeBaseName().toStdString();
    out = std::move(parsed);
    return true;
}

bool GeneratorPanel::lastLogSweep(SavedResponse& out, std::string& whyNot) const
{
    const std::shared_ptr<const LogSweepResult> r = generator_->logSweepResult();
    if (!r || !r->valid) {
        whyNot = r ? r->whyNot : "No log sweep has been measured.";
        return false;
    }
    const FeatureSettings& f = settings_.features;
    const auto number = [](double v, int decimals) { return fixedText(v, decimals, '.'); };
    out.name = "Last sweep";
    // As measured: smoothing is how it is drawn, not what it is.
    out.points = r->points;
    out.metadata = {
        {"date", QDateTime::currentDateTime().toString(Qt::ISODate).toStdString()},
        {"rate", number(r->rate, 0)},
        {"start", number(r->plan.startHz, 2)},
        {"stop", number(r->plan.stopHz, 2)},
        {"seconds", number(r->plan.seconds, 2)},
        {"level", number(r->plan.levelDbfs, 2)},
        {"reference", kSweepReferenceNames[static_cast<std::size_t>(f.sweepReference)]},
        {"delay_ms", number(1000.0 * r->delaySeconds, 4)},
    };
    return true;
}

void GeneratorPanel::setSweepOptions(std::int32_t type, double seconds, std::int32_t reference, std::int32_t smoothing)
{
    FeatureSettings& f = settings_.features;
    f.sweepType = type == kLogSweep ? kLogSweep : kSteppedSweep;
    f.sweepSeconds = std::clamp(seconds, kLogSweepMinSeconds, kLogSweepMaxSeconds);
    f.sweepReference = std::clamp(reference, kSweepReferenceNone, kSweepReferenceSaved);
    f.sweepSmoothing = isSweepSmoothing(smoothing) ? smoothing : 0;
}

void GeneratorPanel::setSweepCalibration(const std::string& path) { settings_.features.sweepCalibration = path; }

bool GeneratorPanel::keepLastSweep(const std::string& name, std::string& whyNot)
{
    KeptSweep kept;
    if (!lastLogSweep(kept.response, whyNot))
        return false;
    kept.response.name = name;
    kept.colour = nextColour_++;
    kept_.push_back(std::move(kept));
    return true;
}

bool GeneratorPanel::saveSweep(const SavedResponse& response, const QString& path, std::string& whyNot)
{
    const std::string text = composeSweepFile(response);
    return writeFileAtomically(QFile::encodeName(path).toStdString(),
                               std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), whyNot);
}

bool GeneratorPanel::loadSweep(const QString& path, bool asReference, std::string& whyNot)
{
    KeptSweep kept;
    if (!readSweepFile(path, kept.response, whyNot))
        return false;
    kept.colour = nextColour_++;
    kept.file = path;
    kept_.push_back(std::move(kept));
    if (asReference)
        settings_.features.sweepCalibration = QFileInfo(path).absoluteFilePath().toStdString();
    return true;
}

bool GeneratorPanel::exportImpulse(const QString& path, std::string& whyNot) const
{
    const std::shared_ptr<const LogSweepResult> r = generator_->logSweepResult();
    if (!r || !r->valid || r->impulse.empty()) {
        whyNot = "No log sweep has been measured.";
        return false;
    }
    return writeImpulseWav(QFile::encodeName(path).toStdString(), r->impulse, r->rate, whyNot);
}

void GeneratorPanel::ResponseSweep1Click(QObject* /*sender*/)
{
    if (sweepWindow_ == nullptr)
        sweepWindow_ = new SweepWindow(window_, settings_, host_, *this, *generator_);
    sweepWindow_->show();
    sweepWindow_->raise();
}

}  // namespace varmolen
