// The Measure menu on the window: the strip it shows, the readings it takes
// from the run loop's hand-off, the calibration dialog and the settings.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "panel/widgets/PaintBox.h"
#include "PanelFormRig.h"
#include "acquisition/AcquisitionLoop.h"
#include "display/MeasurementReadouts.h"
#include "display/Raster.h"
#include "display/ReadoutScales.h"
#include "panel/CalibrateDialog.h"
#include "window/MeasureControls.h"
#include "panel/MeasureStrip.h"
#include "panel/PeakLabels.h"
#include "panel/widgets/RockerSwitch.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

class MeasureControlsTest : public test::PanelFormRig {
protected:
    // Channel 1: a 1 kHz sine of half full scale on 500 codes of DC;
    // channel 2 (the frame's first value): 250 Hz at a quarter.
    void useTones(double chan1Amplitude = 16383.0)
    {
        device.setFrameSource([chan1Amplitude](std::uint64_t n) -> std::array<std::int16_t, 2> {
            const double t = static_cast<double>(n) / 11025.0;
            const double one = 500 + chan1Amplitude * std::sin(2 * std::numbers::pi * 1000 * t);
            return {static_cast<std::int16_t>(std::lround(8191 * std::sin(2 * std::numbers::pi * 250 * t))),
                    static_cast<std::int16_t>(std::clamp(std::lround(one), -32768L, 32767L))};
        });
    }
    // The device records, the window serves its notifications.
    void record(int blocks)
    {
        for (int i = 0; i < 2 * blocks; ++i) {
            device.advanceFrames(512);
            QCoreApplication::processEvents();
        }
        form->measure().refreshTexts();
    }
    QString reading(int channel, const char* name) const
    {
        QLabel* label = form->measure().strip()->reading(channel, name);
        return label != nullptr ? label->text() : QStringLiteral("(no label)");
    }
    void startLine()
    {
        s().chan1Enabled = 1;
        s().chan2Enabled = 1;
        form->controls().optionsMenu.Line1->trigger();
        ASSERT_TRUE(form->acquisition().running());
    }
};

TEST_F(MeasureControlsTest, HiddenTheWindowIsAsBeforeAndShownOnlyTheStripIsAdded)
{
    QStringList titles;
    for (QAction* a : form->menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Options", "&Display", "&Measure", "&Help"}));
    // The strip's two items, then the response sweep's.
    EXPECT_EQ(form->controls().measureMenu.Measure1->actions().size(), 3);
    EXPECT_EQ(form->controls().measureMenu.Measure1->actions().last(), form->controls().measureMenu.ResponseSweep1);
    EXPECT_EQ(form->controls().measureMenu.ShowMeasurements1->text(), "Show Measurements");
    EXPECT_TRUE(form->controls().measureMenu.ShowMeasurements1->isCheckable());
    EXPECT_FALSE(form->controls().measureMenu.ShowMeasurements1->isChecked());
    EXPECT_EQ(form->controls().measureMenu.Calibrate1->text(), "Calibrate...");

    form->show();
    const QImage bare = form->grab().toImage();
    const QSize size = form->size();
    EXPECT_FALSE(form->measure().measuring());

    form->controls().measureMenu.ShowMeasurements1->trigger();
    EXPECT_TRUE(form->controls().measureMenu.ShowMeasurements1->isChecked());
    EXPECT_TRUE(s().features.measureShown);
    EXPECT_TRUE(form->measure().measuring());
    EXPECT_EQ(form->size(), QSize(size.width(), size.height() + MeasureStrip::kHeight));
    EXPECT_TRUE(form->measure().strip()->isVisible());
    EXPECT_EQ(form->measure().strip()->geometry().top(), size.height());
    // Everything above the strip, the status bar included, is pixel for pixel as it was.
    EXPECT_TRUE(form->grab().toImage().copy(QRect(QPoint(0, 0), size)) == bare);

    form->controls().measureMenu.ShowMeasurements1->trigger();
    EXPECT_FALSE(s().features.measureShown);
    EXPECT_FALSE(form->measure().measuring());
    EXPECT_EQ(form->size(), size);
    EXPECT_TRUE(form->grab().toImage() == bare);
}

TEST_F(MeasureControlsTest, ReadsTheRecordedSignalInBothDisplays)
{
    useTones();
    startLine();
    form->controls().measureMenu.ShowMeasurements1->trigger();
    record(12);
    EXPECT_TRUE(reading(1, "Frequency").startsWith("1000.00")) << reading(1, "Frequency").toStdString();
    EXPECT_TRUE(reading(1, "Period").contains(QRegularExpression("^(1\\.0000+ ms|1000\\.0+ µs)$")))
        << reading(1, "Period").toStdString() << " / " << reading(1, "Frequency").toStdString();
    EXPECT_EQ(reading(1, "Rms"), "50.00 %");
    EXPECT_EQ(reading(1, "RmsDb"), "-6.02 dBFS");
    EXPECT_EQ(reading(1, "DcMean"), "1.53 %");  // as recorded: before the display's DC removal
    EXPECT_EQ(reading(1, "Overload"), "OK");
    EXPECT_TRUE(reading(2, "Frequency").startsWith("250.00")) << reading(2, "Frequency").toStdString();
    EXPECT_EQ(reading(2, "PeakToPeakDb"), "-12.04 dBFS");

    // Each reading is a label of its own: its text is the reading, its
    // description what it is.
    QLabel* rms = form->measure().strip()->reading(1, "RmsDb");
    EXPECT_TRUE(rms->accessibleName().isEmpty());
    EXPECT_EQ(rms->accessibleDescription(), "Channel 1 RMS dBFS");
    EXPECT_EQ(form->measure().strip()->reading(2, "ThdN")->accessibleDescription(), "Channel 2 THD+N");

    // Hold keeps the readings of the picture it holds.
    QTest::mouseClick(form->controls().display.DisplayHoldSw, Qt::LeftButton);
    ASSERT_EQ(s().displayHold, 1);
    useTones(32767.0);
    record(4);
    EXPECT_EQ(reading(1, "Rms"), "50.00 %");
    QTest::mouseClick(form->controls().display.DisplayHoldSw, Qt::LeftButton);
    record(12);
    EXPECT_EQ(reading(1, "Overload"), "Overload");
    EXPECT_EQ(reading(1, "Maximum"), "100.00 %");

    // FREQUENCY: the strongest tone, its level and distortion.
    useTones();
    form->controls().displayMenu.FFT1->trigger();
    record(3);
    EXPECT_TRUE(reading(1, "PeakFrequency").startsWith("1000.0")) << reading(1, "PeakFrequency").toStdString();
    EXPECT_EQ(reading(1, "PeakLevelDb"), "-6.02 dBFS");
    EXPECT_TRUE(reading(1, "Thd").endsWith(" %"));
    EXPECT_FALSE(form->measure().strip()->reading(1, "Frequency")->isVisibleTo(form.get()));
    // Held, the tone readings stay those of the held picture too.
    QTest::mouseClick(form->controls().display.DisplayHoldSw, Qt::LeftButton);
    useTones(8191.0);
    record(3);
    EXPECT_EQ(reading(1, "PeakLevelDb"), "-6.02 dBFS");
    QTest::mouseClick(form->controls().display.DisplayHoldSw, Qt::LeftButton);
    record(3);
    EXPECT_EQ(reading(1, "PeakLevelDb"), "-12.04 dBFS");

    // A channel switched off has no row.
    form->controls().chan2.Chan2EnbSwitch->setChecked(false);
    form->channels().Chan2EnbSwitchClick(form->controls().chan2.Chan2EnbSwitch);
    ASSERT_EQ(s().chan2Enabled, 0);
    record(1);
    EXPECT_FALSE(form->measure().strip()->reading(2, "PeakFrequency")->isVisibleTo(form.get()));
    EXPECT_TRUE(form->measure().strip()->reading(1, "PeakFrequency")->isVisibleTo(form.get()));
}

TEST_F(MeasureControlsTest, MicrophoneLeavesChannelTwoUnread)
{
    useTones();
    startLine();
    form->controls().measureMenu.ShowMeasurements1->trigger();
    record(6);
    ASSERT_NE(reading(2, "Frequency"), "?");
    form->controls().optionsMenu.Mic1->trigger();
    record(6);
    EXPECT_NE(reading(1, "Frequency"), "?");
    for (const char* name : {"Frequency", "Period", "Rms", "RmsDb", "DcMean", "Overload"})
        EXPECT_EQ(reading(2, name), "?") << name;
}

TEST_F(MeasureControlsTest, CalibrationRefusesWhatItCannotUseAndReadsVolts)
{
    useTones();
    startLine();
    form->controls().measureMenu.Calibrate1->trigger();
    CalibrateDialog* d = form->measure().dialog();
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->isVisible());
    EXPECT_TRUE(form->measure().measuring());  // the dialog's "measure" needs readings
    auto& one = d->channels[0];
    EXPECT_TRUE(one.none->isChecked());

    struct Refusal {
        const char* typed;
        const char* message;
    };
    const Refusal refusals[] = {
        {"", "Channel 1: type the full scale in volts, for example 1.5."},
        {"abc", "Channel 1: type the full scale in volts, for example 1.5."},
        {"0", "Channel 1: the full scale must be more than 0 V."},
        {"-2", "Channel 1: the full scale must be more than 0 V."},
        {"5000", "Channel 1: the full scale must lie between 0.001 V and 1000 V."},
        {"0.1 mV", "Channel 1: the full scale must lie between 0.001 V and 1000 V."},
    };
    for (const Refusal& r : refusals) {
        one.fullScale->setChecked(true);
        one.fullScaleVolts->setText(QString::fromUtf8(r.typed));
        d->accept();
        EXPECT_EQ(d->message->text(), r.message) << r.typed;
        EXPECT_TRUE(d->isVisible());
    }
    EXPECT_EQ(s().features.fullScaleVolts[0], 0.0);

    one.fullScaleVolts->setText("2 V");
    d->accept();
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(s().features.fullScaleVolts[0], 2.0);
    EXPECT_FALSE(form->measure().measuring());  // strip hidden, dialog closed

    // Volts on the strip: a half-scale sine on a 2 V full scale.
    form->controls().measureMenu.ShowMeasurements1->trigger();
    record(6);
    EXPECT_EQ(reading(1, "Rms"), "707.1 mV");
    EXPECT_FALSE(form->measure().strip()->reading(1, "RmsDb")->isVisibleTo(form.get()));
    EXPECT_EQ(reading(2, "Rms"), "25.00 %");

    // Measure: 1 V RMS applied on channel 1 reads half scale, so 2.828 V is
    // full scale; channel 2 in turn has no reading once the input is mono.
    form->controls().measureMenu.Calibrate1->trigger();
    one.measure->setChecked(true);
    one.appliedVolts->setText("1");
    d->accept();
    EXPECT_NEAR(s().features.fullScaleVolts[0], 2.0 * std::sqrt(2.0), 0.001);
    form->controls().optionsMenu.Mic1->trigger();
    record(3);
    form->controls().measureMenu.Calibrate1->trigger();
    d->channels[1].measure->setChecked(true);
    d->channels[1].appliedVolts->setText("0.5");
    d->accept();
    EXPECT_TRUE(d->message->text().startsWith("Channel 2: there is no reading"));
    d->reject();
    EXPECT_EQ(s().features.fullScaleVolts[1], 0.0);
}

// FREQUENCY: each channel's peak frequency, as the strip reads it, in a
// small label beside the tallest peak of its trace; over the picture, which
// stays as drawn, and only while the strip is shown.
TEST_F(MeasureControlsTest, PeakFrequencyLabelBesideTheTallestPeak)
{
    useTones();
    startLine();
    s().chan1Color = colour::kRed;  // each trace told apart from the graticule and the other
    s().chan2Color = colour::kBlue;
    form->controls().displayMenu.FFT1->trigger();
    turn(form->controls().chan1.Chan1GainDial, 30.0f);
    turn(form->controls().chan2.Chan2GainDial, 30.0f);
    form->controls().measureMenu.ShowMeasurements1->trigger();
    record(12);
    PeakLabels& labels = form->measure().peakLabels();
    const Raster& picture = form->displayBitmap();
    struct Channel {
        int number;
        double hz;
        std::int32_t colour;
    };
    for (const Channel& c : {Channel{1, 1000.0, s().chan1Color}, Channel{2, 250.0, s().chan2Color}}) {
        SCOPED_TRACE(c.number);
        QWidget* label = labels.label(c.number);
        ASSERT_TRUE(label->isVisibleTo(form->controls().screen.SpectrumBox));
        EXPECT_EQ(labels.text(c.number), reading(c.number, "PeakFrequency"));
        EXPECT_TRUE(labels.text(c.number).startsWith(c.number == 1 ? "1000.0" : "250.0"))
            << labels.text(c.number).toStdString();
        // A frame in the channel's colour around text on the display's (white) ground.
        const QImage drawn = label->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRgb ink = QColor(c.colour & 0xFF, (c.colour >> 8) & 0xFF, (c.colour >> 16) & 0xFF).rgb();
        EXPECT_EQ(drawn.pixel(drawn.width() / 2, 0), ink);
        int inked = 0;
        for (int y = 2; y < drawn.height() - 2; ++y) {
            for (int x = 2; x < drawn.width() - 2; ++x)
                inked += drawn.pixel(x, y) != qRgb(255, 255, 255);
        }
        EXPECT_GT(inked, 20);
        // The tallest peak: the highest pixel of the channel's colour beside
        // the first columns, where the window's image of DC is drawn.
        int column = -1;
        int row = 0;
        for (; row < Raster::kHeight && column < 0; ++row) {
            for (int x = 5; x < Raster::kWidth && column < 0; ++x) {
                if (picture.pixel(x, row) == static_cast<std::uint32_t>(c.colour))
                    column = x;
            }
        }
        --row;
        ASSERT_GE(column, 0);
        // Drawn at the tone, up to two bins of the transform to its right.
        const double drawnHz = readoutFrequency(s(), s(), column);
        EXPECT_GE(drawnHz, c.hz - 11025.0 / 1024.0);
        EXPECT_LE(drawnHz, c.hz + 2 * 11025.0 / 1024.0);
        // Beside it: its left edge a gap to the right, its middle on the peak's top.
        EXPECT_EQ(label->x(), column + PeakLabels::kGap);
        EXPECT_NEAR(label->y() + label->height() / 2, row, 1);
        EXPECT_LE(label->geometry().right(), Raster::kWidth - 1);
    }
    EXPECT_FALSE(labels.label(1)->geometry().intersects(labels.label(2)->geometry()));

    // The picture is the display's own: held, it is the same bitmap with the
    // strip (and its labels) shown or hidden.
    QTest::mouseClick(form->controls().display.DisplayHoldSw, Qt::LeftButton);
    ASSERT_EQ(s().displayHold, 1);
    record(1);
    const Raster held = picture;
    form->controls().measureMenu.ShowMeasurements1->trigger();
    EXPECT_FALSE(labels.label(1)->isVisibleTo(form->controls().screen.SpectrumBox));
    EXPECT_FALSE(labels.label(2)->isVisibleTo(form->controls().screen.SpectrumBox));
    EXPECT_TRUE(std::equal(held.data(), held.data() + Raster::kWidth * Raster::kHeight, picture.data()));
    form->controls().measureMenu.ShowMeasurements1->trigger();
    EXPECT_TRUE(std::equal(held.data(), held.data() + Raster::kWidth * Raster::kHeight, picture.data()));
    QTest::mouseClick(form->controls().display.DisplayHoldSw, Qt::LeftButton);
    record(3);
    EXPECT_TRUE(labels.label(1)->isVisibleTo(form->controls().screen.SpectrumBox));

    // None in the TIME display.
    form->controls().displayMenu.Time1->trigger();
    record(1);
    EXPECT_FALSE(labels.label(1)->isVisibleTo(form->controls().screen.SpectrumBox));
    EXPECT_FALSE(labels.label(2)->isVisibleTo(form->controls().screen.SpectrumBox));
}

// No reading overflows its cell: every text a cell can be given, over the
// whole range of each reading, calibrated or not, fits its label's width in
// the label's own font (the overload mark's bold included).
TEST(MeasureStripCells, NoReadingOverflowsItsCell)
{
    MeasureStrip strip(nullptr);
    const char* timeCells[] = {"Frequency", "Period", "PeakToPeak", "PeakToPeakDb", "Maximum", "MaximumDb", "Minimum",
                               "MinimumDb", "DcMean", "DcMeanDb",   "Rms",          "RmsDb",   "Overload"};
    const char* toneCells[] = {"PeakFrequency", "PeakLevel", "PeakLevelDb", "Thd",          "ThdDb", "ThdN", "ThdNDb",
                               "Noise",         "NoiseA",    "Snr",         "DynamicRange", "Imd",   "ImdDb"};
    std::map<std::string, std::pair<int, QString>> widest;  // per cell: the widest text's overshoot and the text
    const auto check = [&](const char* const* names, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            QLabel* label = strip.reading(1, names[i]);
            ASSERT_NE(label, nullptr) << names[i];
            const int over = label->fontMetrics().horizontalAdvance(label->text()) - label->width();
            auto& [most, text] = widest.try_emplace(names[i], std::numeric_limits<int>::min(), QString()).first->second;
            if (over > most) {
                most = over;
                text = label->text();
            }
        }
    };
    // Magnitudes from far below a code to beyond full scale, both signs.
    std::vector<double> codes{0.0, 0.49, 0.5, 32767.0, 32768.0, 65535.0};
    for (double m = 1e-9; m < 70000.0; m *= 1.09)
        codes.push_back(m);
    for (double m : std::vector<double>(codes))
        codes.push_back(-m);
    const double fullScales[] = {0.0, 0.001,  0.0012345, 0.0099999, 0.09999, 0.99999,
                                 1.0, 9.9999, 99.999,    999.99,    1000.0};
    for (double fullScale : fullScales) {
        for (double c : codes) {
            ChannelReadings r;
            r.recorded = true;
            const double hz = std::abs(c) / 3.0 + 0.1;  // 0.1 Hz .. 23 kHz
            r.frequency = {true, hz, std::abs(c) * 1e-7};
            r.levels = {true, c, -c, 2.0 * std::abs(c), c, std::abs(c)};
            r.overload = c < 0.0;
            r.tone = {true, hz, hz * 1e-9, std::abs(c), true, std::abs(c) / 1e4, true, std::abs(c) / 1e3, 8192};
            // Noise from far below the floor to beyond full scale; SNR and
            // dynamic range from -180 dB to 180 dB.
            const double db = c == 0.0 ? 0.0 : 20.0 * std::log10(std::abs(c));
            r.tone.noiseValid = r.tone.snrValid = r.tone.dynamicRangeValid = true;
            r.tone.noisePower = r.tone.noisePowerA = c * c;
            r.tone.snrDb = c < 0.0 ? -db : db;
            r.tone.dynamicRangeDb = -r.tone.snrDb;
            r.imd = {.valid = true, .method = c < 0.0 ? ImdMethod::Smpte : ImdMethod::Dfd, .ratio = std::abs(c) / 1e4};
            const TimeRowTexts time = timeTexts(r, fullScale, '.');
            strip.showChannel(1, true, 0, &time, nullptr);
            check(timeCells, std::size(timeCells));
            const ToneRowTexts tone = toneTexts(r, fullScale, '.');
            strip.showChannel(1, true, 0, nullptr, &tone);
            check(toneCells, std::size(toneCells));
        }
    }
    for (const auto& [name, fit] : widest)
        EXPECT_LE(fit.first, 0) << name << ": \"" << fit.second.toStdString() << "\" overflows by " << fit.first
                                << " px";
    // The intermodulation cell names its method in its caption and its
    // descriptions, and fits within the narrowest window's width.
    ChannelReadings r;
    r.recorded = true;
    r.imd = {.valid = true, .method = ImdMethod::Smpte, .ratio = 1e-4};
    ToneRowTexts tone = toneTexts(r, 0.0, '.');
    strip.showChannel(1, true, 0, nullptr, &tone);
    QLabel* imd = strip.reading(1, "Imd");
    EXPECT_EQ(imd->accessibleDescription(), "Channel 1 IMD (SMPTE)");
    EXPECT_EQ(strip.reading(1, "ImdDb")->accessibleDescription(), "Channel 1 IMD (SMPTE) dB");
    const auto captions = imd->parentWidget()->findChildren<QLabel*>();
    const auto caption = std::find_if(captions.begin(), captions.end(),
                                      [imd](QLabel* l) { return l->x() == imd->x() && l->y() < imd->y(); });
    ASSERT_NE(caption, captions.end());
    EXPECT_EQ((*caption)->text(), "IMD (SMPTE)");
    EXPECT_LE((*caption)->fontMetrics().horizontalAdvance((*caption)->text()), (*caption)->width());
    EXPECT_LE(imd->mapTo(&strip, QPoint(imd->width(), 0)).x(), 889);  // the window at its normal size
    r.imd = {};
    tone = toneTexts(r, 0.0, '.');
    strip.showChannel(1, true, 0, nullptr, &tone);
    EXPECT_EQ((*caption)->text(), "IMD");
    EXPECT_EQ(imd->text(), "?");
    EXPECT_EQ(imd->accessibleDescription(), "Channel 1 IMD");
}

// Varmolen.ini: shown and calibrated from the file; a file of garbage gives
// the defaults and the window as without the feature.
TEST_F(MeasureControlsTest, SettingsFromTheFeatureFile)
{
    const QSize bare = form->size();
    const auto start = [this](const QByteArray& ini) {
        form.reset();
        QFile f(installDir.path() + "/Varmolen.ini");
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ini);
        f.close();
        form = std::make_unique<SpyScopeForm>(device);
        form->host().setRecordOnly(true);
        form->controls().run.StartTimer->stop();
        form->controls().run.TimeoutTimer->stop();
    };
    start("[Measure]\nShown=true\nFullScaleVolts1=2.5\nFullScaleVolts2=-4\n");
    EXPECT_TRUE(form->controls().measureMenu.ShowMeasurements1->isChecked());
    EXPECT_TRUE(form->measure().measuring());
    EXPECT_EQ(form->size().height(), bare.height() + MeasureStrip::kHeight);
    EXPECT_EQ(s().features.fullScaleVolts[0], 2.5);
    EXPECT_EQ(s().features.fullScaleVolts[1], 0.0);

    start(QByteArray("\x00\xff[Measure\n=\x01Shown", 19));
    EXPECT_FALSE(form->controls().measureMenu.ShowMeasurements1->isChecked());
    EXPECT_FALSE(form->measure().measuring());
    EXPECT_EQ(form->size(), bare);
}

}  // namespace
}  // namespace varmolen
