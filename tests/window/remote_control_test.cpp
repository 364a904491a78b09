// Remote control on the window: the instrument's command table run through a
// session as a client's lines are (setters move the controls and run their
// handlers; refused commands change nothing), and the server on a loopback
// socket (the client limit, overlong lines, garbage, a client that never
// reads, the status bar, the Options dialog).
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/remote/SocketClient.h"
#include "tests/window/FakeOutputs.h"
#include "tests/window/PanelFormRig.h"
#include "window/DisplayCsv.h"
#include "window/GeneratorWindow.h"
#include "window/MeasureControls.h"
#include "window/RemoteDialog.h"
#include "window/RemoteControl.h"
#include "window/SweepWindow.h"
#include "acquisition/GeneratorControl.h"
#include "display/ReadoutScales.h"
#include "dsp/Measurements.h"
#include "panel/ChannelMath.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"
#include "persist/ConfigFile.h"

namespace varmolen::test {
namespace {

class RemoteControlTest : public PanelFormRig {
protected:
    // Runs one line as a client's; returns its answer without the newline.
    std::string send(const std::string& line)
    {
        std::string answer = session().handleLine(line);
        if (!answer.empty())
            answer.pop_back();
        return answer;
    }
    scpi::Session& session()
    {
        if (!session_)
            session_ = std::make_unique<scpi::Session>(remoteServerOf(*form).table());
        return *session_;
    }
    std::vector<int> errors()
    {
        std::vector<int> out;
        for (int n; (n = std::stoi(session().errors().pop())) != 0;)
            out.push_back(n);
        return out;
    }
    std::uint16_t listen()
    {
        s().features.remoteEnabled = true;
        s().features.remotePort = 0;  // any free port
        QString whyNot;
        EXPECT_TRUE(remoteServerOf(*form).apply(whyNot)) << whyNot.toStdString();
        return remoteServerOf(*form).port();
    }
    // A block drawn on channel 1: sample i is i - 512, with 100 taken off as DC.
    void keepBlock()
    {
        KeptBlock& kept = s().keptBlocks[0];
        for (int i = 0; i < kBlockSamples; ++i)
            kept.chan1[static_cast<std::size_t>(i)] = i - 512 - 100;
        kept.dcOffset = {100, 0};
        kept.sampleRate = 22050;
        kept.valid = 1;
    }

    // A setter's line, a query that reads it back, its answer, and what the
    // window shows then: each runs without an error.
    struct Case {
        const char* line;
        const char* query;
        const char* answer;
        std::function<bool()> shown;
    };
    template <std::size_t n>
    void expectShown(const Case (&cases)[n])
    {
        for (const Case& k : cases) {
            EXPECT_EQ(send(k.line), "") << k.line;
            EXPECT_EQ(send(k.query), k.answer) << k.line;
            EXPECT_TRUE(k.shown()) << k.line;
            EXPECT_EQ(errors(), std::vector<int>{}) << k.line;
        }
    }

    std::unique_ptr<scpi::Session> session_;
};

TEST_F(RemoteControlTest, SettersMoveTheControlsAndRunTheirHandlers)
{
    const PanelControls& c = form->controls();
    const Case cases[] = {
        {"CHAN2:DISP ON", "CHAN2:DISP?", "1",
         [&] { return c.chan2.Chan2EnbSwitch->isChecked() && s().chan2Enabled == 1; }},
        {"CHAN1:GAIN 80", "CHAN1:GAIN?", "80",
         [&] { return s().chan1TimeGain == gainFromDial(1, 80.0f) && c.chan1.Chan1GainDial->value() == 80.0f; }},
        {"CHANNEL1:RANGE 10", "CHAN1:RANG?", "10",
         [&] { return s().chan1TimeRange == 10 && c.chan1.Chan1GainTrackBar->value() == 2; }},
        {"CHAN2:POS 40", "CHAN2:POS?", "40",
         [&] { return s().chan2TimeOffset == offsetFromDial(kDisplayRows, 40.0f); }},
        {"TRIG:STAT ON;SOUR CH2;SLOP NEG", "TRIG:STAT?;SOUR?;SLOP?", "1;CH2;NEG",
         [&] { return c.trigger.TriggerEnableSwitch->isChecked() && !c.trigger.ChannelSw->isChecked(); }},
        {"TRIG:MODE ALT;DET SQV;LEV -20", "TRIG:MODE?;DET?;LEV?", "ALT;SQV;-20",
         [&] { return s().chopMode == 0 && s().triggerShape == kSquareTrigger && status(2).contains("-"); }},
        {"TIM 50", "TIM?", "50", [&] { return s().timeBaseSetting == 50 && s().span == spanFromDial(50.0f); }},
        {"ACQ:SRAT 22050", "ACQ:SRAT?", "22050", [&] { return c.timeBase.MidSampleRateRadioBtn->isChecked(); }},
        {"ACQ:SRAT 96000", "ACQ:SRAT?", "96000",
         [&] { return !c.timeBase.MidSampleRateRadioBtn->isChecked() && s().features.sampleRate == 96000; }},
        {"ACQ:SRAT 22050", "ACQ:SRAT?", "22050", [&] { return c.timeBase.MidSampleRateRadioBtn->isChecked(); }},
        {"DISP:TYPE FREQ", "DISP:TYPE?", "FREQ", [&] { return c.displayMenu.FFT1->isChecked(); }},
        {"DISP:TYPE TIME;:DISP:GRID OFF", "DISP:GRID?", "0", [&] { return c.displayMenu.Disable1->isChecked(); }},
        {"TRAC:ADD ON;XY ON", "TRAC:ADD?;XY?", "1;1", [&] { return c.trace.TraceModeSw->isChecked(); }},
        {"MARK2 ON;MARK2:POS 300", "MARK2?;MARK2:POS?", "1;300", [&] { return c.chan2.Mkr2Switch->isChecked(); }},
        {"INP LINE", "INP?", "LINE", [&] { return c.optionsMenu.Line1->isChecked() && s().inputSelect == kLineInput; }},
        {"STOP", "HOLD?", "1", [&] { return c.display.DisplayHoldSw->isChecked(); }},
        {"SING", "HOLD?;SING?", "0;1", [&] { return c.display.SingleDisplaySw->isChecked(); }},
        {"RUN", "HOLD?;SING?", "0;0", [&] { return !c.display.SingleDisplaySw->isChecked(); }},
    };
    expectShown(cases);
    // *RST: the record's start-up values, the Gain dials half way.
    EXPECT_EQ(send("*RST;*OPC?"), "1");
    InstrumentSettings startup;
    startup.chan1TimeGainDial = startup.chan2TimeGainDial = 50;
    startup.chan1FreqGainDial = startup.chan2FreqGainDial = 50;
    startup.timeBaseSetting = 100;
    // The zero lines come back as the Position dials show them, as from a file.
    startup.chan1TimeOffset = offsetFromDial(kDisplayRows, dialFromOffset(kDisplayRows, startup.chan1TimeOffset));
    startup.chan2TimeOffset = offsetFromDial(kDisplayRows, dialFromOffset(kDisplayRows, startup.chan2TimeOffset));
    ConfigValues now = captureConfiguration(s());
    now.waveDeviceId = startup.waveDeviceId;
    EXPECT_EQ(now, captureConfiguration(startup));
    EXPECT_EQ(send("CHAN1:GAIN?;:CHAN2:DISP?;:ACQ:SRAT?"), "50;0;11025");
}

TEST_F(RemoteControlTest, RefusedCommandsChangeNothing)
{
    const struct {
        const char* line;
        int error;
    } cases[] = {
        {"CHAN3:GAIN 5", scpi::code::kSuffixOutOfRange},
        {"CHAN1:GAIN 101", scpi::code::kDataOutOfRange},
        {"CHAN1:RANG 5", scpi::code::kIllegalParameterValue},
        {"ACQ:SRAT 12345", scpi::code::kIllegalParameterValue},
        {"MARK1:POS 100", scpi::code::kSettingsConflict},  // marker 1 is off
        {"TRIG:SOUR CH3", scpi::code::kDataOutOfRange},
        {"DISP:TYPE XY", scpi::code::kIllegalParameterValue},
        {"WAV:DATA?", scpi::code::kDataStale},  // nothing recorded yet
        {"DISP:DATA? BMP", scpi::code::kIllegalParameterValue},
        {"RECORD a.wav", scpi::code::kIllegalParameterValue},  // a file name is a quoted string
    };
    const ConfigValues before = captureConfiguration(s());
    for (const auto& k : cases) {
        EXPECT_EQ(send(k.line), "") << k.line;
        EXPECT_EQ(errors(), std::vector<int>{k.error}) << k.line;
    }
    EXPECT_EQ(captureConfiguration(s()), before);
}

TEST_F(RemoteControlTest, GeneratorAndSweepCommandsShowInTheirWindows)
{
    Outputs outputs;
    form->generatorPanel().setPlaybackService(outputs.service());
    form->controls().optionsMenu.Generator1->trigger();
    form->controls().measureMenu.ResponseSweep1->trigger();
    const GeneratorWindow& g = *form->generatorPanel().generatorWindow();
    const SweepWindow& w = *form->generatorPanel().sweepWindow();
    const auto sweepBox = [&w](const char* name) {
        for (const QDoubleSpinBox* box : w.findChildren<QDoubleSpinBox*>())
            if (box->accessibleName() == QString::fromUtf8(name))
                return box->value();
        return -1.0;
    };
    const Case cases[] = {
        {"SOUR:FUNC SQU", "SOUR:FUNC?", "SQU", [&] { return g.waveformBox()->currentIndex() == 1; }},
        {"SOURCE:FUNCTION IMD19", "SOUR:FUNC?", "IMD19", [&] { return g.waveformBox()->currentIndex() == 7; }},
        {"SOUR:FUNC imd60", "SOUR:FUNC?", "IMD60", [&] { return g.waveformBox()->currentIndex() == 6; }},
        {"SOUR:FREQ 1234.567", "SOUR:FREQ?", "1234.57",
         [&] { return std::abs(g.frequencyBox()->value() - 1234.57) < 1e-9; }},
        {"SOUR:VOLT:LEV -12.5", "SOUR:LEV?", "-12.5", [&] { return g.levelBox()->value() == -12.5; }},
        {"SOUR:CHAN RIGH;INV ON", "SOUR:CHAN?;INV?", "RIGH;1",
         [&] { return g.channelsBox()->currentIndex() == 1 && g.invertBox()->isChecked(); }},
        {"OUTP ON", "OUTP?", "1", [&] { return g.outputSwitch()->isChecked() && outputs.opened == 1; }},
        {"OUTP:STAT OFF", "OUTP?", "0", [&] { return !g.outputSwitch()->isChecked(); }},
        {"SWE:STAR 1000;STOP 2000;STEP 1;LEV -6;CHAN CH1", "SWE:STAR?;STOP?;STEP?;LEV?;CHAN?", "1000;2000;1;-6;CH1",
         [&] { return sweepBox("Sweep start") == 1000 && sweepBox("Sweep level") == -6; }},
        {"SWE:RUN", "SWE:STAT?", "1,0,2",
         [&] { return !w.startButton()->isEnabled() && form->generatorPanel().generator().on(); }},
    };
    expectShown(cases);
    EXPECT_EQ(s().features.generator.waveform, SynthWaveform::TwoToneLow);

    // The plan stays while the sweep runs; silence read at both steps ends it.
    EXPECT_EQ(send("SWE:STEP 3;:SWE:RUN"), "");
    EXPECT_EQ(errors(), (std::vector<int>{scpi::code::kSettingsConflict, scpi::code::kSettingsConflict}));
    std::vector<std::uint8_t> silence(2 * 4096, 0);
    const RecordedBlock block{silence.data(), static_cast<std::uint32_t>(silence.size()), 1, s().sampleRate, true};
    for (int i = 0; i < 1000 && form->generatorPanel().generator().sweeping(); ++i)
        form->generatorPanel().generator().takeBlock(block);
    EXPECT_EQ(send("SWE:STAT?"), "0,2,2");
    EXPECT_EQ(send("SWE:DATA?"), "1000,9.91E37,9.91E37,9.91E37,9.91E37,2000,9.91E37,9.91E37,9.91E37,9.91E37");
    EXPECT_FALSE(form->generatorPanel().generator().on()) << "off again, as before the sweep";

    // A sweep refused leaves no rows of the one before it to read.
    EXPECT_EQ(send("SWE:STAR 3000;STOP 2000;:SWE:RUN"), "");
    EXPECT_EQ(errors(), std::vector<int>{scpi::code::kSettingsConflict});
    EXPECT_EQ(send("SWE:DATA?;STAT?"), ";0,0,0");
    EXPECT_EQ(w.table()->rowCount(), 0);
}

TEST_F(RemoteControlTest, RefusedGeneratorCommandsSayWhy)
{
    // No output device: neither the output nor a sweep can play.
    const struct {
        const char* line;
        int error;
        const char* why;  // in the error's message
    } cases[] = {
        {"SOUR:FREQ 100000", scpi::code::kDataOutOfRange, "100000"},  // over 0.45 x any rate
        {"SOUR:LEV 0.5", scpi::code::kDataOutOfRange, "0.5"},
        {"SOUR:FUNC IMD20", scpi::code::kIllegalParameterValue, "IMD20"},
        {"SOUR:CHAN MIDDLE", scpi::code::kIllegalParameterValue, "MIDDLE"},
        {"SWE:STEP 2.5", scpi::code::kDataOutOfRange, "whole"},
        {"OUTP ON", scpi::code::kSettingsConflict, "No output device"},
        {"SWE:STAR 3000;STOP 2000;:SWE:RUN", scpi::code::kSettingsConflict, "no steps"},
        {"SWE:TYPE CHIRP", scpi::code::kIllegalParameterValue, "CHIRP"},
        {"SWE:TIME 31", scpi::code::kDataOutOfRange, "31"},
        {"SWE:REF CH3", scpi::code::kIllegalParameterValue, "CH3"},
        {"SWE:SMO 0.2", scpi::code::kDataOutOfRange, "1/48"},
        {"SWE:HARM? 2.5", scpi::code::kDataOutOfRange, "whole"},
        {"SWE:IMP?", scpi::code::kSettingsConflict, "no log sweep"},
        {"SWE:SAVE \"../up.txt\"", scpi::code::kFileNameError, "plain name ending in .txt"},
        {"SWE:SAVE \"sweep.wav\"", scpi::code::kFileNameError, "plain name ending in .txt"},
        {"SWE:LOAD \"missing.txt\"", scpi::code::kFileNameNotFound, "missing.txt"},
        {"SWE:TYPE LOG;REF SAV;:SWE:RUN;:SWE:TYPE STEP;REF NONE", scpi::code::kSettingsConflict, "No saved reference"},
    };
    const SynthSettings before = s().features.generator;
    for (const auto& k : cases) {
        EXPECT_EQ(send(k.line), "") << k.line;
        const std::string error = session().errors().pop();
        EXPECT_EQ(std::stoi(error), k.error) << k.line;
        EXPECT_NE(error.find(k.why), std::string::npos) << error;
        EXPECT_EQ(errors(), std::vector<int>{}) << k.line;
    }
    EXPECT_EQ(s().features.generator, before);
    EXPECT_FALSE(form->generatorPanel().generator().on());
}

TEST_F(RemoteControlTest, WaveformOfAHeldPictureIsItsBlockAsRecorded)
{
    keepBlock();
    const std::string answer = session().handleLine("STOP;WAV:SOUR CH1;DATA?");
    ASSERT_EQ(answer.substr(0, 6), "#42048");
    ASSERT_EQ(answer.size(), 6u + 2048u + 1u);
    for (int i = 0; i < kBlockSamples; i += 341) {
        const auto lo = static_cast<std::uint8_t>(answer[static_cast<std::size_t>(6 + 2 * i)]);
        const auto hi = static_cast<std::uint8_t>(answer[static_cast<std::size_t>(7 + 2 * i)]);
        EXPECT_EQ(static_cast<std::int16_t>(lo | (hi << 8)), i - 512) << i;
    }
    EXPECT_EQ(send("WAV:PRE?"), "1024,4.535147392E-05,9.91E37,3.051850948E-05,22050,CH1");
    const std::string png = session().handleLine("DISP:DATA?");
    EXPECT_NE(png.find("PNG"), std::string::npos);
}

// The time base over the record: the Time/Div menu's steps, mode, sweep,
// position and holdoff by script; DIGitize holds a span of frames recorded
// after it, and WAVeform:DATA? sends all of that span's samples, or every
// n-th, in each format, as the preamble describes them.
TEST_F(RemoteControlTest, TimeBaseCommandsDigitizeASpanAndSendItWhole)
{
    const DisplayMenu& menu = form->controls().displayMenu;
    const auto checked = [&](double perDiv) {
        for (QAction* item : menu.TimeDivs)
            if (std::abs(item->data().toDouble() - perDiv) < perDiv * 1e-9)
                return item->isChecked();
        return false;
    };
    // Frame n carries n: its low 15 bits on channel 1 (the frame's second
    // value), the rest on channel 2.
    device.setFrameSource([](std::uint64_t n) -> std::array<std::int16_t, 2> {
        return {static_cast<std::int16_t>(n >> 15),
                static_cast<std::int16_t>(static_cast<std::int64_t>(n & 0x7fff) - 16384)};
    });
    form->controls().optionsMenu.Line1->trigger();
    form->controls().timeBase.HiSampleRateRadioBtn->click();
    const Case cases[] = {
        {"TIM:SCAL 9ms", "TIM:SCAL?", "0.01", [&] { return checked(0.01) && !menu.TimeDial1->isChecked(); }},
        {"TIM:SCAL 3E-3", "TIM:SCAL?", "0.002", [&] { return s().features.timePerDiv == 2e-3; }},
        {"TIM:SCAL MIN", "TIM:SCAL?", "5E-05", [&] { return checked(50e-6); }},
        {"TIM:MODE ROLL", "TIM:MODE?", "ROLL", [&] { return menu.Roll1->isChecked(); }},
        {"TIM:POS 0.25;:TRIG:HOLD 5 ms", "TIM:POS?;:TRIG:HOLD?", "0.25;0.005",
         [&] { return s().features.triggerPosition == 0.25 && s().features.holdoffSeconds == 0.005; }},
        {"TRIG:SWE NORM", "TRIG:SWE?", "NORM", [&] { return menu.SweepNormal1->isChecked(); }},
        {"TRIG:SWE SING", "TRIG:SWE?;SING?", "SING;1", [&] { return s().singleSweep == 1; }},
        {"TRIG:SWE AUTO;:TIM:SCAL DEF;MODE MAIN;:TIM:POS 0", "TRIG:SWE?;:SING?", "AUTO;0",
         [&] { return menu.TimeDial1->isChecked() && s().features.timePerDiv == 0.0; }},
    };
    expectShown(cases);
    EXPECT_EQ(send("TIM:SCAL 1us;:TIM:SCAL?"), "0.00116") << "the block picture's";
    EXPECT_EQ(errors(), std::vector<int>{scpi::code::kDataOutOfRange}) << "below the shortest step 44100 Hz offers";

    ASSERT_EQ(send("TIM:SCAL 10 ms;:TRIG:STAT OFF"), "");
    std::uint64_t frames = 0;
    const auto record = [&](std::uint64_t n) {
        for (std::uint64_t k = 0; k < n; k += 512) {
            device.advanceFrames(512);
            QCoreApplication::processEvents();
        }
        frames += n;
    };
    record(44100);
    ASSERT_EQ(send("DIGitize"), "");
    const std::uint64_t commanded = frames;
    record(8192);
    ASSERT_EQ(s().displayHold, 1) << "the span is held once recorded";
    record(4096);
    EXPECT_EQ(send("ACQ:POIN?;:WAV:SOUR CH1;FORM REAL;POIN MAX;POIN?"), "4410;4410");
    // A block's floats, after its header (#517640).
    const auto valuesOf = [](const std::string& block) {
        std::vector<double> v((block.size() - 8) / 4);
        for (std::size_t i = 0; i < v.size(); ++i) {
            std::uint32_t bits = 0;
            for (std::size_t b = 0; b < 4; ++b)
                bits |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(block[7 + 4 * i + b])) << (8 * b);
            v[i] = std::bit_cast<float>(bits);
        }
        return v;
    };
    const std::string low = session().handleLine("WAV:DATA?");
    ASSERT_EQ(low.substr(0, 7), "#517640");
    const std::string high = session().handleLine("WAV:SOUR CH2;DATA?");
    const std::vector<double> lows = valuesOf(low), highs = valuesOf(high);
    ASSERT_EQ(highs.size(), 4410u);
    const auto frameAt = [&](std::size_t i) {
        return static_cast<std::int64_t>(std::lround(highs[i] * kFullScaleCode)) * 32768 +
               std::lround(lows[i] * kFullScaleCode) + 16384;
    };
    EXPECT_GE(frameAt(0), static_cast<std::int64_t>(commanded)) << "recorded after DIGitize";
    for (std::size_t i = 1; i < lows.size(); ++i)
        ASSERT_EQ(frameAt(i), frameAt(0) + static_cast<std::int64_t>(i)) << "no frame missing at " << i;

    // At most 1000 points: every fifth frame, 882 of them, in 16-bit codes and as text.
    EXPECT_EQ(send("WAV:SOUR CH1;POIN 1000;FORM WORD;POIN?;PRE?"),
              "882;882,0.0001133786848,9.91E37,3.051850948E-05,44100,CH1");
    const std::string words = session().handleLine("WAV:DATA?");
    ASSERT_EQ(words.substr(0, 6), "#41764");
    EXPECT_EQ(static_cast<std::int16_t>(static_cast<std::uint8_t>(words[6 + 2]) |
                                        static_cast<std::uint8_t>(words[7 + 2]) << 8),
              std::lround(lows[5] * kFullScaleCode));
    const std::string text = send("WAV:FORM ASC;FORM?;DATA?");
    EXPECT_EQ(text.substr(0, 4), "ASC;");
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 881);
    EXPECT_EQ(send("WAV:PRE?").substr(0, 29), "882,0.0001133786848,9.91E37,1");
    EXPECT_EQ(errors(), std::vector<int>{});
}

// The analyser's commands work its menu items, refuse a start above the
// stop, and send the levels and frequencies shown: a 1 kHz tone at half of
// full scale reads -6.02 dBFS at its bin and in its third-octave band, and
// A-weighted on the strip (A is 0 dB at 1 kHz); its noise and SNR are those
// of its rounding to codes.
TEST_F(RemoteControlTest, SpectrumCommandsWorkTheAnalysersItemsAndSendWhatItShows)
{
    const DisplayMenu& menu = form->controls().displayMenu;
    const auto& a = s().features.analyser;
    device.setFrameSource([](std::uint64_t n) -> std::array<std::int16_t, 2> {
        const auto v = static_cast<std::int16_t>(std::lround(16384 * std::sin(2 * M_PI * 1000.0 * n / 44100.0)));
        return {v, v};
    });
    form->controls().optionsMenu.Line1->trigger();
    form->controls().timeBase.HiSampleRateRadioBtn->click();
    ASSERT_EQ(send("CHAN1:DISP ON"), "");
    form->measure().setRemoteReading(true);  // as a connected client has it
    const Case cases[] = {
        {"DISP:TYPE SPECTROGRAM", "DISP:TYPE?", "SPECTROGRAM",
         [&] { return menu.Spectrogram1->isChecked() && a.spectrogram; }},
        {"DISP:TYPE FREQ;:SPECTRUM:LENG 60000", "SPECTRUM:LENG?", "65536",
         [&] { return !a.spectrogram && menu.SpectrumLengths[6]->isChecked(); }},
        {"SPECTRUM:WIND FLAT", "SPECTRUM:WIND?", "FLAT", [&] { return menu.SpectrumWindows[4]->isChecked(); }},
        {"SPECTRUM:FREQ:SCAL LOG;STAR 100;STOP 10 kHz", "SPECTRUM:FREQ:SCAL?;STAR?;STOP?", "LOG;100;10000",
         [&] { return menu.FrequencyLog1->isChecked(); }},
        {"SPECTRUM:UNIT DBFSHZ", "SPECTRUM:UNIT?", "DBFSHZ", [&] { return menu.LevelUnits[3]->isChecked(); }},
        {"SPECTRUM:BAND OCT3;:SPECTRUM:WEIG A", "SPECTRUM:BAND?;WEIG?", "OCT3;A",
         [&] { return menu.OctaveBands[2]->isChecked() && menu.Weightings[1]->isChecked(); }},
        {"SPECTRUM:UNIT DBFS;BAND NONE", "SPECTRUM:UNIT?;BAND?", "DBFS;NONE", [&] { return a.unit == kDbfsUnit; }},
    };
    expectShown(cases);
    EXPECT_EQ(send("SPECTRUM:FREQ:STAR 20000;STAR?"), "100");
    EXPECT_EQ(errors(), std::vector<int>{scpi::code::kSettingsConflict}) << "a start above the stop";

    for (int k = 0; k < 200 && !s().analyser.valid; ++k) {
        device.advanceFrames(1024);
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(s().analyser.valid);
    // The floats of a block after its header.
    const auto floatsOf = [](const std::string& block) {
        if (block.size() < 3 || block[0] != '#')
            return std::vector<float>{};
        const std::size_t digits = static_cast<std::size_t>(block[1] - '0');
        std::vector<float> v((block.size() - 2 - digits) / 4);
        for (std::size_t i = 0; i < v.size(); ++i) {
            std::uint32_t bits = 0;
            for (std::size_t b = 0; b < 4; ++b)
                bits |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(block[2 + digits + 4 * i + b])) << (8 * b);
            v[i] = std::bit_cast<float>(bits);
        }
        return v;
    };
    const std::vector<float> hz = floatsOf(session().handleLine("SPECTRUM:FREQ:DATA? CH1"));
    const std::vector<float> levels = floatsOf(session().handleLine("SPECTRUM:DATA? CH1"));
    ASSERT_EQ(hz.size(), levels.size());
    const double bin = 44100.0 / 65536.0;
    ASSERT_EQ(hz.size(), static_cast<std::size_t>(std::floor(10000.0 / bin) - std::ceil(100.0 / bin) + 1));
    const auto peak = std::max_element(levels.begin(), levels.end()) - levels.begin();
    EXPECT_NEAR(hz[static_cast<std::size_t>(peak)], 1000.0, bin);
    EXPECT_NEAR(levels[static_cast<std::size_t>(peak)], -6.02, 0.05);
    // Export Data writes the same points.
    std::string whyNot;
    const std::string csv = composeDisplayCsv(s(), whyNot);
    EXPECT_EQ(csv.substr(0, csv.find('\r')),
              "Frequency (Hz),\"Channel 1 level (dBFS, 65536 points, flat top window)\"");
    EXPECT_EQ(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), hz.size() + 1);
    ASSERT_EQ(send("SPECTRUM:BAND OCT3"), "");
    const std::vector<float> centres = floatsOf(session().handleLine("SPECTRUM:FREQ:DATA?"));
    const std::vector<float> bands = floatsOf(session().handleLine("SPECTRUM:DATA?"));
    const auto band =
        std::find_if(centres.begin(), centres.end(), [](float f) { return std::abs(f - 1000.0f) < 0.01f; });
    ASSERT_NE(band, centres.end());
    EXPECT_NEAR(bands[static_cast<std::size_t>(band - centres.begin())], -6.02, 0.1);
    const std::string weighted = send("MEAS:LEV:WEIG? CH1");
    EXPECT_NEAR(std::stod(weighted), -6.02, 0.1) << weighted;
    // The tone's noise is its rounding to codes, 1/12 of a code squared in
    // mean square: a sine's amplitude squared of 2/12, 92.08 dB below the
    // tone's 16384^2; the tone lies too far above -60 dBFS for a dynamic
    // range.
    const double rounding = 2.0 / 12.0;
    const std::string noise = send("MEAS:NOIS? CH1");
    EXPECT_NEAR(std::stod(noise), 10.0 * std::log10(rounding / (kFullScaleCode * kFullScaleCode)), 1.0) << noise;
    const std::string snr = send("MEAS:SNR? CH1");
    EXPECT_NEAR(std::stod(snr), 10.0 * std::log10(16384.0 * 16384.0 / rounding), 1.0) << snr;
    EXPECT_EQ(send("MEAS:DRAN? CH1"), "9.91E37");
    EXPECT_EQ(errors(), std::vector<int>{});
    // *RST goes back to the block's spectrum, where the analyser's data is
    // refused, and says why.
    ASSERT_EQ(send("*RST;:DISP:TYPE FREQ;:CHAN1:DISP ON"), "");
    EXPECT_TRUE(menu.SpectrumLengths[0]->isChecked() && menu.FrequencyLinear1->isChecked());
    EXPECT_EQ(send("SPECTRUM:DATA?"), "");
    EXPECT_EQ(errors(), std::vector<int>{scpi::code::kSettingsConflict});
}

// MEASure:IMD? answers the strip's intermodulation in % (or dB) and its
// method: channel 1 records the 60 Hz + 7 kHz pair through y = x + 0.01 x^2,
// whose sidebands at 7 kHz +- 60 Hz are each 0.01 x 0.4 x 0.1 of full scale
// against the 7 kHz tone's 0.1: 0.8 % SMPTE; channel 2's sine is no pair.
TEST_F(RemoteControlTest, IntermodulationAnswersTheReadingAndItsMethod)
{
    device.setFrameSource([](std::uint64_t n) -> std::array<std::int16_t, 2> {
        const double t = static_cast<double>(n) / 44100.0;
        const double x = 0.4 * std::cos(2 * M_PI * 60.0 * t) + 0.1 * std::cos(2 * M_PI * 7000.0 * t);
        return {static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * M_PI * 1000.0 * t))),
                static_cast<std::int16_t>(std::lround(kFullScaleCode * (x + 0.01 * x * x)))};
    });
    form->controls().optionsMenu.Line1->trigger();
    form->controls().timeBase.HiSampleRateRadioBtn->click();
    ASSERT_EQ(send("CHAN1:DISP ON;:CHAN2:DISP ON"), "");
    form->measure().setRemoteReading(true);  // as a connected client has it
    for (int k = 0; k < 100; ++k) {          // two seconds: a reading of a full record
        device.advanceFrames(1024);
        QCoreApplication::processEvents();
    }
    const std::string imd = send("MEAS:IMD? CH1");
    ASSERT_EQ(imd.substr(imd.find(',')), ",SMPTE") << imd;
    EXPECT_NEAR(std::stod(imd), 0.8, 0.01) << imd;
    const std::string db = send("MEAS:IMD:DB?");
    EXPECT_NEAR(std::stod(db), 20.0 * std::log10(0.008), 0.1) << db;
    EXPECT_EQ(send("MEAS:IMD? CH2"), "9.91E37,NONE");
    EXPECT_EQ(errors(), std::vector<int>{});
}

TEST_F(RemoteControlTest, TheServerKeepsItsLimitsAndSaysSoInTheStatusBar)
{
    RemoteServer& server = remoteServerOf(*form);
    EXPECT_FALSE(server.listening());
    EXPECT_TRUE(server.statusText().isEmpty());
    const std::uint16_t port = listen();
    keepBlock();
    s().displayHold = 1;

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < RemoteServer::kMaxClients + 1; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(clients.back()->waitForConnected(5000));
    }
    ASSERT_TRUE(waitFor([&] { return server.clientCount() == RemoteServer::kMaxClients; }));
    QTcpSocket& extra = *clients.back();
    ASSERT_TRUE(waitFor([&] { return extra.state() == QAbstractSocket::UnconnectedState || extra.canReadLine(); }));
    EXPECT_TRUE(extra.readLine().startsWith("-350"));
    EXPECT_EQ(server.statusText(), QStringLiteral("Remote :%1, 4 clients").arg(port));

    // An overlong line and garbage: errors, and the connection still answers.
    QTcpSocket& one = *clients.front();
    one.write(QByteArray(70000, 'A') + "\n");
    one.write(QByteArray("\x00\xff\x01garbage\x7f;;::\n", 16));
    one.write("SYST:ERR?;ERR?;ERR?\n*IDN?\n");
    ASSERT_TRUE(waitFor([&] { return one.bytesAvailable() > 0 && one.canReadLine(); }));
    EXPECT_EQ(one.readLine(),
              "-223,\"Too much data;line over 65536 bytes\";-101,\"Invalid character;byte 0\";0,\"No error\"\n");
    ASSERT_TRUE(waitFor([&] { return one.canReadLine(); }));
    EXPECT_TRUE(one.readLine().startsWith("Varmolen,Varmolen,0,"));

    // A client that asks and never reads is dropped once its answers pass 16 MiB.
    clients.clear();
    ASSERT_TRUE(waitFor([&] { return server.clientCount() == 0; }));
    const int raw = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(raw, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_TRUE(waitFor([&] { return server.clientCount() == 1; }));
    std::string lines;
    for (int i = 0; i < 1000; ++i)
        lines += "WAV:DATA?\n";
    bool dropped = false;
    for (int round = 0; round < 60 && !dropped; ++round) {
        ::send(raw, lines.data(), lines.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        dropped = waitFor([&] { return server.clientCount() == 0; }, 500);
    }
    EXPECT_TRUE(dropped);
    ::close(raw);
    EXPECT_EQ(server.statusText(), QStringLiteral("Remote :%1, 0 clients").arg(port));

    // Off: nothing listens.
    s().features.remoteEnabled = false;
    QString whyNot;
    EXPECT_TRUE(server.apply(whyNot));
    EXPECT_FALSE(server.listening());
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_FALSE(late.waitForConnected(2000));
}

TEST_F(RemoteControlTest, TheOptionsDialogSwitchesItAndWarnsOfOpenAddresses)
{
    QTcpServer probe;  // a port nothing else uses
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const int port = probe.serverPort();
    probe.close();
    RemoteServer& server = remoteServerOf(*form);
    bool warned = false;
    form->remoteControl().runDialog = [&](RemoteDialog& dialog) {
        EXPECT_EQ(dialog.addressEdit()->text(), QStringLiteral("127.0.0.1"));
        EXPECT_FALSE(dialog.warningLabel()->isVisibleTo(&dialog));
        dialog.addressEdit()->setText(QStringLiteral("0.0.0.0"));
        warned = dialog.warningLabel()->isVisibleTo(&dialog);
        dialog.addressEdit()->setText(QStringLiteral("::1"));
        dialog.enabledBox()->setChecked(true);
        dialog.portBox()->setValue(port);
        return int(QDialog::Accepted);
    };
    form->controls().optionsMenu.RemoteControl1->trigger();
    EXPECT_TRUE(warned);
    EXPECT_TRUE(server.listening());
    EXPECT_EQ(server.port(), port);
    EXPECT_TRUE(s().features.remoteEnabled);
    EXPECT_EQ(s().features.remoteListen, "::1");
    EXPECT_TRUE(form->host().recordedMessages().empty());
}

}  // namespace
}  // namespace varmolen::test
