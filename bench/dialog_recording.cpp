// A WAV recording with a save dialog open in the middle: does the file keep
// every frame the input delivered while the dialog was open?
//
//   dialog_recording WAV SINE_HZ [SECONDS [DIALOG_AT [DIALOG_SECONDS]]]
//
// Runs the instrument's window on the system's sound devices (device 0, line
// input, 44100 Hz, from the settings in VARMOLEN_INSTALL_DIR), records SECONDS
// (default 20) into WAV through the window's own recording, and DIALOG_AT
// seconds in (default 8.5) chooses File > Save Form, whose real dialog stays
// open DIALOG_SECONDS (default 3) and is then cancelled. Then it reads the
// file back and fits the sine the sound server plays to it, window by window:
// a lost or repeated stretch shows as a step in the phase, a gap as a window
// without the tone. Prints the wall time against the time in the file, the
// steps and the residuals of the phase, and what the window said. Run it
// through bench/dialog_recording.sh, which sets up the sound server and the
// X server. Not part of the test suite.
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QTimer>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "audio/SystemWaveInput.h"
#include "window/DataCommands.h"
#include "window/OutputCommands.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

struct Fit {
    std::size_t frames = 0;
    std::uint32_t rate = 0;
    std::size_t windows = 0;
    double frequency = 0;        // fitted, Hz
    double largestStep = 0;      // degrees, between neighbouring windows, after the fitted trend
    double stepAt = 0;           // seconds into the file
    double largestResidual = 0;  // degrees, from one straight phase line over the whole file
    int steps = 0;               // steps larger than kStepDegrees
    int quietWindows = 0;        // windows whose tone is below half the median
};

// Half a frame of a 1 kHz tone at 44100 Hz is about 4 degrees.
constexpr double kStepDegrees = 4.0;

// Phase and amplitude of the tone at `hz` in each window of `length` frames,
// with a Hann window; the phase is taken against the file's frame count, so a
// continuous sine gives a straight line.
Fit fitSine(const char* path, double hz)
{
    Fit fit;
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot read %s: %s\n", path, sf_strerror(nullptr));
        return fit;
    }
    std::vector<short> all(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_short(file, all.data(), info.frames);
    sf_close(file);
    fit.frames = static_cast<std::size_t>(info.frames);
    fit.rate = static_cast<std::uint32_t>(info.samplerate);

    const std::size_t length = fit.rate / 20;  // 50 ms
    const double w = 2 * std::numbers::pi * hz / fit.rate;
    std::vector<double> phase, amplitude, centre;
    for (std::size_t start = 0; start + length <= fit.frames; start += length) {
        double c = 0, s = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 0.5) / length);
            const double x = all[(start + i) * info.channels + info.channels - 1] * hann;
            const double n = static_cast<double>(start + i);
            c += x * std::cos(w * n);
            s += x * std::sin(w * n);
        }
        phase.push_back(std::atan2(-s, c));
        amplitude.push_back(std::hypot(c, s));
        centre.push_back(static_cast<double>(start) + length / 2.0);
    }
    fit.windows = phase.size();
    if (phase.size() < 3)
        return fit;
    // Unwrap, then fit one straight line: its slope is the tone's offset from
    // `hz`, its residuals the file's departures from one continuous sine.
    for (std::size_t k = 1; k < phase.size(); ++k) {
        double d = phase[k] - phase[k - 1];
        d -= 2 * std::numbers::pi * std::round(d / (2 * std::numbers::pi));
        phase[k] = phase[k - 1] + d;
    }
    // The slope from the median step, so that one break does not tilt it.
    std::vector<double> steps;
    for (std::size_t k = 1; k < phase.size(); ++k)
        steps.push_back(phase[k] - phase[k - 1]);
    std::vector<double> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double slope = sorted[sorted.size() / 2];  // radians per window
    fit.frequency = hz + slope / (2 * std::numbers::pi) * fit.rate / length;
    const double degrees = 180 / std::numbers::pi;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const double off = std::abs(steps[k] - slope) * degrees;
        if (off > fit.largestStep) {
            fit.largestStep = off;
            fit.stepAt = centre[k + 1] / fit.rate;
        }
        fit.steps += off > kStepDegrees;
    }
    double mean = 0;
    for (std::size_t k = 0; k < phase.size(); ++k)
        mean += phase[k] - slope * k;
    mean /= phase.size();
    for (std::size_t k = 0; k < phase.size(); ++k)
        fit.largestResidual = std::max(fit.largestResidual, std::abs(phase[k] - slope * k - mean) * degrees);
    std::vector<double> a = amplitude;
    std::nth_element(a.begin(), a.begin() + a.size() / 2, a.end());
    for (double v : amplitude)
        fit.quietWindows += v < a[a.size() / 2] / 2;
    return fit;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WAV SINE_HZ [SECONDS [DIALOG_AT [DIALOG_SECONDS]]]\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const double hz = std::atof(argv[2]);
    const double seconds = argc > 3 ? std::atof(argv[3]) : 20.0;
    const double dialogAt = argc > 4 ? std::atof(argv[4]) : 8.5;
    const double dialogSeconds = argc > 5 ? std::atof(argv[5]) : 3.0;

    QApplication app(argc, argv);
    std::unique_ptr<varmolen::WaveInput> input = varmolen::createSystemWaveInput();
    varmolen::test::SpyScopeForm form(*input);
    form.host().setRecordOnly(true);
    form.show();
    varmolen::DataCommands& data = form.data();

    Clock::time_point started, stopped, dialogOpened, dialogClosed;
    int passesAtOpen = 0, passesInDialog = 0;
    QFileDialog& dialog = form.output().SaveGraphicsDialog();
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!dialog.isVisible())
            return;
        if (dialogOpened == Clock::time_point{}) {
            dialogOpened = Clock::now();
            passesAtOpen = form.displayPasses();
        }
        if (secondsBetween(dialogOpened, Clock::now()) >= dialogSeconds) {
            passesInDialog = form.displayPasses() - passesAtOpen;
            dialogClosed = Clock::now();
            dialog.reject();
        }
    });

    // The recording starts once acquisition runs and draws (ten passes,
    // looked at every 50 ms by the application's own loop); the dialog and
    // the stop are timed from that start.
    int failed = 0;
    const Clock::time_point begun = Clock::now();
    QTimer starter;
    starter.setInterval(50);
    QObject::connect(&starter, &QTimer::timeout, [&] {
        if (form.displayPasses() < 10) {
            if (secondsBetween(begun, Clock::now()) >= 10) {
                std::fprintf(stderr, "acquisition did not run\n");
                failed = 1;
                QCoreApplication::quit();
            }
            return;
        }
        starter.stop();
        if (!data.startRecording(path)) {
            std::fprintf(stderr, "the recording did not start\n");
            failed = 1;
            QCoreApplication::quit();
            return;
        }
        started = Clock::now();
        QTimer::singleShot(static_cast<int>(dialogAt * 1000), Qt::PreciseTimer, &form, [&] {
            closer.start();
            form.output().SaveForm1Click(form.controls().fileMenu.SaveForm1);
            closer.stop();
        });
        QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &form, [&] {
            stopped = Clock::now();
            data.stopRecording(true);
            QCoreApplication::quit();
        });
    });
    starter.start();
    app.exec();
    if (failed != 0)
        return failed;

    const double wall = secondsBetween(started, stopped);
    const Fit fit = fitSine(argv[1], hz);
    const double inFile = fit.rate > 0 ? static_cast<double>(fit.frames) / fit.rate : 0;
    std::printf("wall %.3f s, file %.3f s, file - wall %+.1f ms\n", wall, inFile, (inFile - wall) * 1000);
    std::printf("dialog open %.3f s from %.3f s, display passes while open %d\n",
                secondsBetween(dialogOpened, dialogClosed), secondsBetween(started, dialogOpened), passesInDialog);
    std::printf(
        "sine %.3f Hz over %zu windows of 50 ms: largest phase step %.3f deg at %.2f s, steps over %.0f deg %d, "
        "largest residual %.3f deg, quiet windows %d\n",
        fit.frequency, fit.windows, fit.largestStep, fit.stepAt, kStepDegrees, fit.steps, fit.largestResidual,
        fit.quietWindows);
    for (const auto& [text, caption] : form.host().recordedMessages())
        std::printf("message [%s]: %s\n", caption.c_str(), text.c_str());
    form.close();
    return 0;
}
