// csv_export_probe OUT_DIR: drives the window's Export Data command on known
// blocks and leaves, for csv_readback.py, the files it wrote and what they
// must hold (expect.json). Runs under whatever locale the caller sets; it
// also makes the toolkit's default locale German, whose decimal point is a
// comma. Exits non-zero when the command did not write a file.
//
//   time.csv       TIME, triggered on channel 1, both channels with a DC
//                  level taken off; channel 1 calibrated (2.5 V full
//                  scale), channel 2 not; the display then held while a
//                  new block arrives: the span the display shows
//   time-block.csv the same picture's whole block (the dialog's other choice)
//   spectrum.csv   FREQUENCY, both channels, averaging 4 over four blocks
//                  of a bin-centred tone at different amplitudes
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "tests/support/MemoryWaveInput.h"
#include "display/DisplayPass.h"
#include "display/ReadoutScales.h"
#include "window/DataCommands.h"

using namespace varmolen;
using varmolen::test::SpyScopeForm;

namespace {

QJsonArray firstOf(const std::array<std::int32_t, kArrayLength>& a, int n)
{
    QJsonArray out;
    for (int i = 0; i < n; ++i)
        out.append(a[i]);
    return out;
}

void tone(std::array<std::int32_t, kArrayLength>& samples, int bin, double amplitude, double phase)
{
    for (int n = 0; n < 1024; ++n)
        samples[n] = static_cast<std::int32_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * bin * n / 1024.0 + phase)));
}

bool exportTo(SpyScopeForm& form, const QString& path, const char* filter = nullptr)
{
    form.data().runExportDialog = [path, filter](QFileDialog& dialog) {
        if (filter != nullptr)
            dialog.selectNameFilter(QString::fromLatin1(filter));
        return path;
    };
    form.data().ExportData1Click(form.controls().fileMenu.ExportData1);
    return QFile::exists(path);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    // The locale the caller chose, numbers included (the toolkit leaves
    // LC_NUMERIC at "C" otherwise), and a German default for the toolkit.
    std::setlocale(LC_ALL, "");
    const std::string decimalPoint = std::localeconv()->decimal_point;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    QTemporaryDir install;
    qputenv("VARMOLEN_INSTALL_DIR", install.path().toUtf8());
    MemoryWaveInput devices;
    SpyScopeForm form(devices);
    form.host().setRecordOnly(true);
    form.controls().run.StartTimer->stop();
    form.controls().run.TimeoutTimer->stop();
    InstrumentState& s = form.state();
    QJsonObject expect;
    expect["decimalPoint"] = QString::fromStdString(decimalPoint);
    expect["qtDecimalPoint"] = QString(QLocale().decimalPoint());

    // TIME: a sine on channel 1, a ramp on channel 2, at 22050 Hz, triggered
    // on channel 1's rising sine (gain 2: it swings 39 rows), with the DC
    // levels the run loop took off the block.
    s.sampleRate = 22050;
    s.chan1Enabled = 1;
    s.chan2Enabled = 1;
    s.triggerEnabled = 1;
    s.chan1TimeGain = 2;
    s.chan1DcLevel = 250.6f;
    s.chan2DcLevel = -75.2f;
    s.features.fullScaleVolts = {2.5, 0.0};
    tone(s.chan1Samples, 7, 20000.0, 0.3);
    for (int n = 0; n < 1024; ++n)
        s.chan2Samples[n] = n * 61 - 32768;
    runDisplayPass(s, s, s, form.displayBitmap());
    QJsonObject time;
    time["rate"] = 22050;
    time["fullScaleVolts"] = QJsonArray{2.5, 0.0};
    time["chan1"] = firstOf(s.chan1Samples, 1024);
    time["chan2"] = firstOf(s.chan2Samples, 1024);
    time["dcOffset"] = QJsonArray{250, -75};
    time["traceStart"] = s.triggerIndex;
    time["span"] = s.span;
    // The axis labels' ends, in hundredths of a millisecond.
    time["leftLabel"] = static_cast<double>(readoutTime(s, s, 0));
    time["rightLabel"] = static_cast<double>(readoutTime(s, s, 512));
    // Held: a new block arrives, the picture (and the export) stay.
    s.displayHold = 1;
    tone(s.chan1Samples, 30, 1000.0, 0.0);
    if (!exportTo(form, out + "/time.csv") || !exportTo(form, out + "/time-block.csv", kExportWholeBlockFilter))
        return 1;
    expect["time"] = time;
    s.displayHold = 0;
    s.triggerEnabled = 0;

    // FREQUENCY at 44100 Hz: four blocks of a tone on bin 64 (channel 1) and
    // bin 200 (channel 2), averaged over 4; channel 2 is drawn last.
    form.menus().FFT1Click(form.controls().displayMenu.FFT1);
    form.menus().Average4Click(form.controls().displayMenu.Average4);
    s.sampleRate = 44100;
    s.triggerChannel = 1;
    s.chan2FreqGain = 32;  // the drawn row is the smoothed level itself
    s.chan2FreqOffset = 343;
    const double amplitudes[] = {16000, 8000, 4000, 12000};
    QJsonArray used;
    for (int i = 0; i < 4; ++i) {
        tone(s.chan1Samples, 64, amplitudes[i], 0.1 * i);
        tone(s.chan2Samples, 200, amplitudes[i] / 2, 0.7 * i);
        runDisplayPass(s, s, s, form.displayBitmap());
        used.append(amplitudes[i]);
    }
    QJsonObject spectrum;
    spectrum["rate"] = 44100;
    spectrum["average"] = 4;
    spectrum["amplitudes"] = used;
    spectrum["bins"] = QJsonArray{64, 200};
    spectrum["chan2Drawn"] = firstOf(s.chan1Trace, 513);  // the trace of the channel drawn last
    spectrum["chan2Offset"] = 343;
    double windowSum = 0;
    for (int n = 1; n <= 1024; ++n)
        windowSum += s.windowTable[n];
    spectrum["windowSum"] = windowSum;
    if (!exportTo(form, out + "/spectrum.csv"))
        return 1;
    expect["spectrum"] = spectrum;

    QFile f(out + "/expect.json");
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write(QJsonDocument(expect).toJson());
    if (!form.host().recordedMessages().empty()) {
        std::fprintf(stderr, "message: %s\n", form.host().recordedMessages().front().first.c_str());
        return 1;
    }
    return 0;
}
