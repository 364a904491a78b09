// The signal generator's and the response sweep's windows on the main
// window, with output devices the test plays: the menu items, the accessible
// names, what the controls set, a device that vanishes, the switch-off at
// close and at start, and the sweep's table and CSV.
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QListWidget>
#include <QTableWidget>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "acquisition/GeneratorControl.h"
#include "panel/ResponseChart.h"
#include "remote/ScpiSession.h"
#include "window/LogSweepView.h"
#include "window/RemoteControl.h"
#include "window/GeneratorWindow.h"
#include "window/SweepWindow.h"
#include "window/TriggerControls.h"
#include "FakeOutputs.h"
#include "PanelFormRig.h"

namespace varmolen::test {
namespace {

template <class Condition>
bool pumpUntil(Condition done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

class GeneratorWindowsTest : public PanelFormRig {
protected:
    Outputs outputs;
};

TEST_F(GeneratorWindowsTest, TheGeneratorWindowPlaysWhatItsControlsSetAndFallsSilentOnFaultAndClose)
{
    form->generatorPanel().setPlaybackService(outputs.service());
    EXPECT_FALSE(form->generatorPanel().generator().on()) << "never on at start unless the settings ask";
    form->controls().optionsMenu.Generator1->trigger();
    GeneratorWindow* w = form->generatorPanel().generatorWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isModal());
    const struct {
        QWidget* widget;
        const char* name;
    } named[] = {{w->outputSwitch(), "Generator output"},
                 {w->waveformBox(), "Generator waveform"},
                 {w->frequencyBox(), "Generator frequency"},
                 {w->levelBox(), "Generator level"},
                 {w->channelsBox(), "Generator channels"}};
    for (const auto& n : named)
        EXPECT_EQ(QAccessible::queryAccessibleInterface(n.widget)->text(QAccessible::Name), QString::fromUtf8(n.name));

    w->levelBox()->setValue(-6.0206);  // half of full scale
    w->outputSwitch()->click();
    ASSERT_TRUE(form->generatorPanel().generator().on());
    EXPECT_EQ(outputs.rate, s().sampleRate) << "at the capture's rate";
    EXPECT_EQ(w->outputSwitch()->text(), QStringLiteral("On"));
    ASSERT_TRUE(pumpUntil([&] { return outputs.peak > 16000; }));
    EXPECT_LE(outputs.peak, 16385);  // 16383.5, and a step of dither
    w->levelBox()->setValue(-40);
    outputs.peak = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    outputs.peak = 0;
    ASSERT_TRUE(pumpUntil([&] { return outputs.peak > 0; }));
    EXPECT_LE(outputs.peak, 330) << "the level set while playing reaches the output";
    EXPECT_EQ(s().features.generator.levelDbfs, -40);

    // The card vanishes: one message, the switch off, the window still there.
    w->deviceBox()->setCurrentIndex(1);
    emit w->deviceBox()->activated(1);
    ASSERT_TRUE(pumpUntil([&] { return !form->host().recordedMessages().empty(); }));
    // Anything else that might follow has a while to arrive.
    const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    pumpUntil([&] { return std::chrono::steady_clock::now() >= settle; });
    ASSERT_EQ(form->host().recordedMessages().size(), 1u);
    EXPECT_NE(form->host().recordedMessages()[0].first.find("broken"), std::string::npos);
    EXPECT_FALSE(form->generatorPanel().generator().on());
    EXPECT_FALSE(w->outputSwitch()->isChecked());
    EXPECT_EQ(s().features.generatorDevice, "broken");

    w->deviceBox()->setCurrentIndex(0);
    emit w->deviceBox()->activated(0);
    w->outputSwitch()->click();
    ASSERT_TRUE(form->generatorPanel().generator().on());
    form->FormClose();
    EXPECT_FALSE(form->generatorPanel().generator().on()) << "the program's close switches the output off";
}

TEST_F(GeneratorWindowsTest, APlayingGeneratorFollowsTheSampleRate)
{
    form->generatorPanel().setPlaybackService(outputs.service());
    form->trigger().HiSampleRateRadioBtnClick(nullptr);
    form->controls().optionsMenu.Generator1->trigger();
    GeneratorWindow* w = form->generatorPanel().generatorWindow();
    w->frequencyBox()->setValue(15000);
    w->outputSwitch()->click();
    ASSERT_TRUE(form->generatorPanel().generator().on());
    ASSERT_EQ(outputs.rate, 44100u);

    // A new rate reopens the output at it, playing the frequency within
    // 0.45 x 11025 Hz while the window says so; the setting stays, and
    // plays again at a rate that carries it.
    const GeneratorControl& g = form->generatorPanel().generator();
    const struct {
        void (TriggerControls::*rateButton)(QObject*);
        unsigned rate;
        double playedHz;
        QString says;
    } rates[] = {
        {&TriggerControls::LowSampleRateRadioBtnClick, 11025, 4961.25,
         QStringLiteral("Plays 4961.25 Hz: the rate of 11025 Hz carries no higher")},
        {&TriggerControls::HiSampleRateRadioBtnClick, 44100, 15000, QString()},
    };
    int opened = outputs.opened;
    for (const auto& r : rates) {
        (form->trigger().*r.rateButton)(nullptr);
        EXPECT_TRUE(g.on());
        EXPECT_EQ(outputs.opened, ++opened);
        EXPECT_EQ(outputs.rate, r.rate);
        EXPECT_EQ(g.rate(), r.rate);
        EXPECT_EQ(s().features.generator.hz, 15000) << "the frequency set stays";
        EXPECT_EQ(w->frequencyBox()->value(), 15000);
        EXPECT_EQ(g.playedHz(r.rate), r.playedHz);
        EXPECT_EQ(w->playedLabel()->isVisibleTo(w), !r.says.isEmpty());
        if (!r.says.isEmpty()) {
            EXPECT_EQ(w->playedLabel()->text(), r.says);
        }
        // What the output plays, counted in its swings once the ramp is over.
        outputs.peak = 0;
        ASSERT_TRUE(pumpUntil([&] { return outputs.peak > 2000; })) << "it plays on";
        outputs.restartTone();
        ASSERT_TRUE(pumpUntil([&] { return outputs.frames > static_cast<long>(r.rate / 4); }));
        EXPECT_NEAR(outputs.toneHz(), r.playedHz, r.playedHz * 0.02) << r.rate;
    }

    // Off, a rate change opens nothing; the window tells what would play.
    w->outputSwitch()->click();
    form->trigger().LowSampleRateRadioBtnClick(nullptr);
    EXPECT_FALSE(g.on());
    EXPECT_EQ(outputs.opened, opened);
    EXPECT_TRUE(w->playedLabel()->isVisibleTo(w));
    EXPECT_TRUE(form->host().recordedMessages().empty());
}

TEST_F(GeneratorWindowsTest, OnAtStartPlaysTheLevelLastSetOnlyWhenAsked)
{
    for (const bool onAtStart : {false, true}) {
        s().features.generatorOnAtStart = onAtStart;
        s().features.generator.levelDbfs = -30;
        outputs.peak = 0;
        form->generatorPanel().setPlaybackService(outputs.service());
        EXPECT_EQ(form->generatorPanel().generator().on(), onAtStart);
        if (onAtStart) {
            ASSERT_TRUE(pumpUntil([&] { return outputs.peak > 0; }));
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_LE(outputs.peak, 1037) << "never above the level last set";
        }
        form->generatorPanel().generator().switchOff();
    }
}

TEST_F(GeneratorWindowsTest, TheSweepWindowShowsItsRowsAndExportsThem)
{
    form->generatorPanel().setPlaybackService(outputs.service());
    form->controls().measureMenu.ResponseSweep1->trigger();
    SweepWindow* w = form->generatorPanel().sweepWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    QStringList headers;
    for (int c = 0; c < w->table()->columnCount(); ++c)
        headers << w->table()->horizontalHeaderItem(c)->text();
    EXPECT_EQ(headers,
              (QStringList{"Frequency (Hz)", "Level (dBFS)", "Relative (dB)", "THD (%)", "THD+N (%)", "Note"}));

    // Start only while Start lies below Stop, judged as the numbers are typed.
    const auto type = [w](const char* name, const char* text) {
        for (QDoubleSpinBox* box : w->findChildren<QDoubleSpinBox*>()) {
            if (box->accessibleName() != QString::fromUtf8(name))
                continue;
            auto* edit = box->findChild<QLineEdit*>();
            edit->selectAll();
            edit->insert(QString::fromUtf8(text));
        }
    };
    const struct {
        const char* start;
        const char* stop;
        bool accepted;
    } plans[] = {{"1000", "2000", true}, {"2000", "2000", false}, {"3000", "2000", false}, {"20", "20000", true}};
    for (const auto& plan : plans) {
        type("Sweep start", plan.start);
        type("Sweep stop", plan.stop);
        EXPECT_EQ(w->startButton()->isEnabled(), plan.accepted) << plan.start << " to " << plan.stop;
        EXPECT_EQ(w->planProblem()->isVisibleTo(w), !plan.accepted) << plan.start << " to " << plan.stop;
    }
    // At the window's smallest no column is narrower than its title.
    w->resize(w->minimumSizeHint());
    QCoreApplication::processEvents();
    for (int c = 0; c < w->table()->columnCount(); ++c)
        EXPECT_GE(w->table()->horizontalHeader()->sectionSize(c),
                  w->table()->horizontalHeader()->fontMetrics().horizontalAdvance(headers[c]))
            << headers[c].toStdString();

    // Channel 2 needs the stereo input.
    s().inputSelect = kMicrophoneInput;
    s().features.sweep.channel = 2;
    w->load();
    w->startButton()->click();
    ASSERT_EQ(form->host().recordedMessages().size(), 1u);
    EXPECT_FALSE(form->generatorPanel().generator().sweeping());

    // A sweep of two steps fed with silence: its rows arrive, unread.
    s().features.sweep = {.startHz = 1000, .stopHz = 2000, .stepsPerOctave = 1, .levelDbfs = -20, .channel = 1};
    w->load();
    w->startButton()->click();
    ASSERT_TRUE(form->generatorPanel().generator().sweeping());
    EXPECT_TRUE(outputs.prompt) << "a sweep's output is opened to be heard promptly";
    EXPECT_FALSE(w->startButton()->isEnabled());
    EXPECT_TRUE(w->cancelButton()->isEnabled());
    std::vector<std::uint8_t> silence(2 * 4096, 0);
    const RecordedBlock block{silence.data(), static_cast<std::uint32_t>(silence.size()), 1, s().sampleRate, true};
    for (int i = 0; i < 1000 && form->generatorPanel().generator().sweeping(); ++i)
        form->generatorPanel().generator().takeBlock(block);
    EXPECT_FALSE(form->generatorPanel().generator().sweeping());
    EXPECT_FALSE(form->generatorPanel().generator().on()) << "the generator returns to off, as it was before the sweep";
    w->showRows();
    ASSERT_EQ(w->table()->rowCount(), 2);
    EXPECT_EQ(w->table()->item(1, 0)->text(), QStringLiteral("2000.00"));
    EXPECT_EQ(w->table()->item(1, 1)->text(), QStringLiteral("-"));
    EXPECT_EQ(w->progress()->value(), 2);
    const QString path = installDir.path() + QStringLiteral("/sweep.csv");
    QString whyNot;
    ASSERT_TRUE(w->exportCsv(path, whyNot)) << whyNot.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("Frequency (Hz),Level (dBFS),Relative (dB),THD (%),THD+N (%)\r\n"
                                      "1000,,,,\r\n2000,,,,\r\n"));
    EXPECT_FALSE(w->exportCsv(installDir.path() + QStringLiteral("/no/such/folder/x.csv"), whyNot));

    // A steady tone plays on an output opened for it; a sweep reopens it to
    // be heard promptly, and the tone comes back on a steady output after.
    std::string why;
    ASSERT_TRUE(form->generatorPanel().generator().switchOn(s().sampleRate, why)) << why;
    EXPECT_FALSE(outputs.prompt);
    w->startButton()->click();
    ASSERT_TRUE(form->generatorPanel().generator().sweeping());
    EXPECT_TRUE(outputs.prompt);
    for (int i = 0; i < 1000 && form->generatorPanel().generator().sweeping(); ++i)
        form->generatorPanel().generator().takeBlock(block);
    EXPECT_TRUE(form->generatorPanel().generator().on()) << "the tone that played before the sweep plays again";
    EXPECT_FALSE(outputs.prompt);
    form->generatorPanel().generator().switchOff();
}

// The numbers of a reply, split at commas.
std::vector<double> numbersOf(const std::string& reply)
{
    std::vector<double> out;
    std::size_t at = 0;
    while (at < reply.size()) {
        const std::size_t comma = std::min(reply.find(',', at), reply.size());
        out.push_back(std::stod(reply.substr(at, comma - at)));
        at = comma + 1;
    }
    return out;
}

TEST_F(GeneratorWindowsTest, ALogSweepPlaysOnceComesBackThroughALoopAndIsReadKeptSavedAndLoaded)
{
    form->generatorPanel().setPlaybackService(outputs.service());
    form->controls().measureMenu.ResponseSweep1->trigger();
    SweepWindow* w = form->generatorPanel().sweepWindow();
    GeneratorControl& g = form->generatorPanel().generator();
    s().features.remoteFilesFolder = installDir.path().toStdString();
    scpi::Session session(remoteServerOf(*form).table());
    const auto send = [&session](const std::string& line) {
        std::string answer = session.handleLine(line);
        if (!answer.empty())
            answer.pop_back();
        return answer;
    };
    EXPECT_EQ(send("SWE:TYPE LOG;TIME 0.5;STAR 100;STOP 5000;LEV -10;SMO 0;:SWE:TYPE?;TIME?;SMO?"), "LOG;0.5;0");
    EXPECT_TRUE(w->logView()->isVisibleTo(w) && !w->table()->isVisibleTo(w)) << "the window shows the log sweep's view";

    // The output plays the signal once; what it wrote comes back 300 frames
    // later on channel 1 at half its level, silence around it, as through a
    // card whose input reads 6 dB low.
    outputs.keep = true;
    const unsigned rate = s().sampleRate;
    // What the output plays: the lead-in's silence, then the sweep.
    const std::size_t length =
        static_cast<std::size_t>(std::lround(kLogSweepLeadInSeconds * rate)) +
        logSweepSignal({.startHz = 100, .stopHz = 5000, .seconds = 0.5, .levelDbfs = -10}, rate).size();
    const auto runThroughTheLoop = [&] {
        {
            const std::lock_guard lock(outputs.keptLock);
            outputs.kept.clear();
        }
        EXPECT_EQ(send("SWE:RUN;:SYST:ERR?"), "0,\"No error\"");
        EXPECT_TRUE(g.sweeping());
        EXPECT_TRUE(pumpUntil([&] { return outputs.keptCount() >= length; }));
        std::vector<std::int16_t> loop(300, 0);
        {
            const std::lock_guard lock(outputs.keptLock);
            for (std::size_t i = 0; i < length && i < outputs.kept.size(); ++i)
                loop.push_back(static_cast<std::int16_t>(outputs.kept[i] / 2));
        }
        std::vector<std::int16_t> block(4096, 0);
        for (std::size_t at = 0; at < 1000 && g.sweeping(); ++at) {
            for (std::size_t i = 0; i < block.size(); ++i) {
                const std::size_t k = at * block.size() + i;
                block[i] = k < loop.size() ? loop[k] : 0;
            }
            g.takeBlock({reinterpret_cast<const std::uint8_t*>(block.data()), 2 * 4096, 1, rate, true});
            std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the analysis runs meanwhile
        }
        EXPECT_FALSE(g.sweeping());
    };
    runThroughTheLoop();
    EXPECT_FALSE(g.on()) << "off again, as before the sweep";
    const auto result = g.logSweepResult();
    ASSERT_TRUE(result && result->valid) << (result ? result->whyNot : "no result");

    // Read remotely: a flat response 6 dB down with no phase, and the 300 frames' delay.
    const auto expectFlat = [](const std::vector<double>& data, double db) {
        ASSERT_EQ(data.size() % 3, 0u);
        ASSERT_GT(data.size(), 3u * 40);
        for (std::size_t i = 0; i < data.size(); i += 3) {
            EXPECT_NEAR(data[i + 1], db, 0.05) << data[i] << " Hz";
            EXPECT_NEAR(data[i + 2], 0.0, 1.0) << data[i] << " Hz";
        }
    };
    const std::vector<double> data = numbersOf(send("SWE:DATA?"));
    expectFlat(data, 20 * std::log10(0.5));
    EXPECT_NEAR(std::stod(send("SWE:DEL?")), 300.0 / rate, 0.5 / rate);
    const std::string impulse = send("SWE:IMP?");
    ASSERT_GT(impulse.size(), 2u);
    EXPECT_EQ(impulse[0], '#');
    EXPECT_FALSE(numbersOf(send("SWE:HARM? 2")).empty());

    // The window draws it; kept, it is overlaid in a colour of its own.
    w->showRows();
    EXPECT_EQ(w->logView()->table()->rowCount(), static_cast<int>(data.size() / 3));
    ASSERT_EQ(w->logView()->magnitudeChart()->curves().size(), 1u);
    w->logView()->keepButton()->click();
    EXPECT_EQ(w->logView()->keptList()->count(), 2);
    ASSERT_EQ(w->logView()->magnitudeChart()->curves().size(), 2u);
    EXPECT_NE(w->logView()->magnitudeChart()->curves()[0].colour, w->logView()->magnitudeChart()->curves()[1].colour);

    // Saved as a new file only; loaded, it is kept and becomes the reference.
    EXPECT_EQ(send("SWE:SAVE \"loop.txt\";:SYST:ERR?"), "0,\"No error\"");
    EXPECT_TRUE(QFileInfo::exists(installDir.path() + QStringLiteral("/loop.txt")));
    EXPECT_EQ(std::stoi(send("SWE:SAVE \"loop.txt\";:SYST:ERR?")), scpi::code::kFileNameError) << "never replaced";
    EXPECT_EQ(send("SWE:LOAD \"loop.txt\";:SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(form->generatorPanel().keptSweeps().size(), 2u);
    EXPECT_EQ(s().features.sweepCalibration, (installDir.path() + QStringLiteral("/loop.txt")).toStdString());
    ASSERT_EQ(form->generatorPanel().keptSweeps().back().response.points.size(), data.size() / 3);

    // Divided by that saved measurement of the card, a sweep through the
    // card alone reads flat at 0 dB.
    EXPECT_EQ(send("SWE:REF SAV;:SYST:ERR?"), "0,\"No error\"");
    runThroughTheLoop();
    expectFlat(numbersOf(send("SWE:DATA?")), 0.0);
}

}  // namespace
}  // namespace varmolen::test
