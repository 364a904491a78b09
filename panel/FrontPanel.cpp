#include "panel/FrontPanel.h"

#include <QAction>
#include <QColor>
#include <QComboBox>
#include <QActionGroup>
#include <QFrame>
#include <QGroupBox>
#include <QPixmap>
#include <QPainter>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

#include <cstring>

#include "panel/AxisLabelBand.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/PaintBox.h"
#include "panel/widgets/PanelAccessibility.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"
#include "panel/widgets/TrackBar.h"
#include "state/InstrumentState.h"

namespace varmolen {

namespace {

// Panel geometry. SpectrumBox is exactly 513 x 343; the rest is laid out
// around it in the proportions of the instrument's front panel.
constexpr int kMargin = 8;
constexpr int kColumnWidth = 170;
constexpr int kImageX = kMargin + kColumnWidth + kMargin;  // 186
constexpr int kImageY = 10;
constexpr int kImageWidth = 513 + 4;
constexpr int kImageHeight = 343 + 4;
constexpr int kRightX = kImageX + kImageWidth + kMargin;       // 711
constexpr int kPanelWidth = kRightX + kColumnWidth + kMargin;  // 889
constexpr int kStripY = kImageY + kImageHeight + 4;
constexpr int kStripHeight = 26;
constexpr int kRow1Y = kStripY + kStripHeight + 8;
constexpr int kRowHeight = 140;
constexpr int kRow2Y = kRow1Y + kRowHeight + 6;
constexpr int kPanelHeight = kRow2Y + kRowHeight + 6;
constexpr int kLowerWidth = kPanelWidth - kMargin - kImageX;

const char* const kPanelStyle = R"(
QWidget#ScopePanel { background-color: #000080; }
QGroupBox {
  color: #dfe6ff; font-weight: bold;
  border: 1px solid #5a6ab8; border-radius: 5px;
  margin-top: 9px; padding-top: 6px;
}
QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 10px; padding: 0 4px; }
QLabel { color: #ffffff; }
QToolTip { color: #000000; background-color: #ffffe1; border: 1px solid #000000; padding: 2px; }
QRadioButton { color: #ffffff; }
QRadioButton::indicator { width: 12px; height: 12px; border-radius: 7px; border: 1px solid #c8d0f0; background: #0a1040; }
QRadioButton::indicator:checked { background: qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5, stop:0 #fff6a0, stop:0.55 #ffd400, stop:0.7 #0a1040); }
QRadioButton:focus { outline: 1px dotted #ffffff; }
QSlider::groove:horizontal { height: 4px; background: #1c2a6b; border: 1px solid #7f8fd0; }
QSlider::handle:horizontal { width: 12px; margin: -7px 0; background: #c8ccd8; border: 1px solid #ffffff; border-radius: 2px; }
QSlider:focus { border: 1px dotted #ffffff; }
QFrame#ImagePanel { background-color: #202040; border: 2px inset #8080a0; }
QFrame#ImagePanel[keyboardFocus="true"] { border: 2px solid #c8dcff; }
)";

// What a control is called aloud where its group's title and its printed
// caption do not say it (see spokenName), and what its tooltip says it does.
struct ControlWords {
    const char* object;
    const char* spokenName;  // nullptr: the group's title and the caption
    const char* tip;
};

constexpr ControlWords kControlWords[] = {
    {"Chan1GainDial", nullptr, "How tall channel 1's trace is drawn"},
    {"Chan1GainTrackBar", "Channel 1 Range", "Multiplies channel 1's gain by 0 (Gnd), 1, 10 or 100"},
    {"Chan1OffsetDial", nullptr, "Height of channel 1's zero line"},
    {"Chan1EnbSwitch", nullptr, "Shows channel 1's trace"},
    {"Mkr1Switch", nullptr, "Shows marker 1 on the display"},
    {"Chan2GainDial", nullptr, "How tall channel 2's trace is drawn"},
    {"Chan2GainTrackBar", "Channel 2 Range", "Multiplies channel 2's gain by 0 (Gnd), 1, 10 or 100"},
    {"Chan2OffsetDial", nullptr, "Height of channel 2's zero line"},
    {"Chan2EnbSwitch", nullptr, "Shows channel 2's trace"},
    {"Mkr2Switch", nullptr, "Shows marker 2 on the display"},
    {"AddChanSw", nullptr, "Draws the sum of both channels"},
    {"TraceModeSw", nullptr, "Draws one channel against the other"},
    {"TriggerEnableSwitch", nullptr, "Starts every sweep at a trigger point, or runs free"},
    {"TrigSlopeSw", "Trigger slope", "Triggers on a rising (+) or a falling (-) edge"},
    {"ChannelSw", "Trigger source", "The channel whose signal triggers the sweep"},
    {"ChopSw", "Trigger mode", "Chop: both traces start at the source's trigger; Alt: each its own"},
    {"SineSquareSw", "Trigger detector", "Trigger detector for sine or square waves"},
    {"ThresholdDial", nullptr, "Signal level at which the trigger fires"},
    {"TrigdLED", "Trigger triggered", "Lit while the trace on the display was triggered"},
    {"DisplayHoldSw", nullptr, "Freezes the display"},
    {"SingleDisplaySw", nullptr, "Freezes the display after the next triggered sweep"},
    {"ExpandSw", nullptr, "Stretches the part between the markers over the whole display"},
    {"TimeBaseDial", "Time base", "Stretch of time shown across the display"},
    {"UncalLED", "Time base Uncal.", "Lit while the time base is off its calibrated setting"},
    {"LowSampleRateRadioBtn", "Time base 46.44 ms", "Records 11025 samples a second"},
    {"MidSampleRateRadioBtn", "Time base 23.22 ms", "Records 22050 samples a second"},
    {"HiSampleRateRadioBtn", "Time base 11.61 ms", "Records 44100 samples a second"},
    {"TimeDivBox", "Time per division",
     "Time a division of pictures of the record; Time dial: the picture of one block the dial stretches"},
    {"SpectrumBox", "Display screen", nullptr},
};

const ControlWords* wordsFor(const char* object)
{
    for (const ControlWords& w : kControlWords) {
        if (std::strcmp(w.object, object) == 0)
            return &w;
    }
    return nullptr;
}

Dial* makeDial(QWidget* parent, const char* name, const char* caption, float minimum, float maximum, float start,
               int digitalSteps, int x, int y)
{
    auto* dial = new Dial(parent);
    nameControl(dial, name);
    dial->setCaption(QString::fromUtf8(caption));
    dial->setUnit(QStringLiteral("%"));
    dial->setRange(minimum, maximum);
    dial->setDigitalSteps(digitalSteps);
    dial->setLargeStep(5.0f);
    dial->setScale(5, 2);
    dial->setValue(start);
    dial->setGeometry(x, y, 110, 124);
    return dial;
}

RockerSwitch* makeRocker(QWidget* parent, const char* name, const char* caption, bool withLed, int x, int y)
{
    auto* rocker = new RockerSwitch(parent);
    nameControl(rocker, name);
    rocker->setCaption(QString::fromUtf8(caption));
    if (withLed)
        rocker->setLed(QColor(0, 255, 0), QColor(0, 96, 0));
    rocker->setChecked(false);
    rocker->setGeometry(x, y, 60, 70);
    return rocker;
}

ToggleSwitch* makeToggle(QWidget* parent, const char* name, const char* checkedLabel, const char* uncheckedLabel,
                         bool checked, int x, int y)
{
    auto* toggle = new ToggleSwitch(parent);
    nameControl(toggle, name);
    toggle->setLabels(QString::fromUtf8(checkedLabel), QString::fromUtf8(uncheckedLabel));
    toggle->setChecked(checked);
    toggle->setGeometry(x, y, 48, 100);
    return toggle;
}

QSlider* makeTrackBar(QWidget* parent, const char* name, int x, int y)
{
    auto* bar = new TrackBar(parent);
    nameControl(bar, name);
    const char* const labels[] = {"Gnd", "1", "10", "100"};
    bar->setPositions({labels[0], labels[1], labels[2], labels[3]}, {0.0, 1.0, 10.0, 100.0});
    bar->setPageStep(1);
    bar->setSingleStep(1);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setTickInterval(1);
    bar->setFocusPolicy(Qt::StrongFocus);
    bar->setGeometry(x, y, 130, 24);
    // Tick positions of a 130-pixel slider with a 12-pixel handle: 6 + i * 118 / 3.
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(QString::fromUtf8(labels[i]), parent);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setGeometry(x + 6 + i * 118 / 3 - 15, y + 24, 30, 14);
        QFont f = label->font();
        f.setPointSizeF(f.pointSizeF() * 0.85);
        label->setFont(f);
    }
    return bar;
}

QGroupBox* makeGroup(QWidget* parent, const char* name, const char* title, int x, int y, int w, int h)
{
    auto* group = new QGroupBox(QString::fromUtf8(title), parent);
    group->setObjectName(QString::fromUtf8(name));
    group->setGeometry(x, y, w, h);
    return group;
}

// One channel column, marker switch included; both columns have the same
// layout and differ in their names, captions and start positions.
template <typename Widgets>
Widgets buildChannel(QWidget* central, int channel)
{
    const bool one = channel == 1;
    const int x = one ? kMargin : kRightX;
    QGroupBox* group = makeGroup(central, one ? "Chan1Group" : "Chan2Group", one ? "Channel 1" : "Channel 2", x, 4,
                                 kColumnWidth, kStripY + kStripHeight - 4);
    Dial* gain = makeDial(group, one ? "Chan1GainDial" : "Chan2GainDial", "Gain", 0.0f, 100.0f, 50.0f, 0, 30, 20);
    // The track bar starts on the range in force (1), not on "Gnd".
    QSlider* range = makeTrackBar(group, one ? "Chan1GainTrackBar" : "Chan2GainTrackBar", 20, 148);
    range->setValue(1);
    Dial* offset = makeDial(group, one ? "Chan1OffsetDial" : "Chan2OffsetDial", "Position", 0.0f, 100.0f,
                            one ? 75.0f : 25.0f, 0, 30, 190);
    RockerSwitch* enable = makeRocker(group, one ? "Chan1EnbSwitch" : "Chan2EnbSwitch", "Enable", true, 18, 312);
    RockerSwitch* marker = makeRocker(group, one ? "Mkr1Switch" : "Mkr2Switch", one ? "Mkr1" : "Mkr2", false, 92, 312);
    return {group, gain, range, offset, enable, marker};
}

QLabel* makeStripLabel(QWidget* parent, const char* name, const char* shows, const char* text, Qt::Alignment align,
                       int x, int w)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    nameLabel(label, name, shows);
    label->setAlignment(align | Qt::AlignVCenter);
    label->setGeometry(x, 2, w, kStripHeight - 4);
    // Red on the white scheme in force at start-up.
    label->setStyleSheet(QStringLiteral("color: #ff0000;"));
    return label;
}

// A captioned lamp of the panel, dark at start: lit in `on`, grey when dark.
Led* makeLamp(QWidget* parent, const char* name, const char* caption, const QColor& on, int x, int y)
{
    auto* led = new Led(parent);
    nameControl(led, name);
    led->setCaption(QString::fromUtf8(caption));
    led->setColors(on, QColor(128, 128, 128));
    led->setChecked(false);
    led->setGeometry(x, y, 90, 20);
    return led;
}

QRadioButton* makeRadio(QWidget* parent, const char* name, const char* caption, bool checked, int x, int y)
{
    auto* radio = new QRadioButton(QString::fromUtf8(caption), parent);
    nameControl(radio, name);
    radio->setChecked(checked);
    radio->setGeometry(x, y, 100, 22);
    return radio;
}

}  // namespace

QSize displayBoxSize(std::int32_t displaySize)
{
    if (displaySize == kLargeDisplaySize)
        return {2 * 512 + 1, 2 * 342 + 1};
    return {Raster::kWidth, Raster::kHeight};
}

QSize displayBoxForPanel(QSize panel, QMargins labels)
{
    const int width = panel.width() - (kPanelWidth - Raster::kWidth) - labels.left() - labels.right();
    const int height = panel.height() - (kPanelHeight - Raster::kHeight) - labels.top() - labels.bottom();
    return {std::max(width, static_cast<int>(Raster::kWidth)), std::max(height, static_cast<int>(Raster::kHeight))};
}

LargeBoxFit fitLargeDisplayBox(QSize room, QMargins frame, QSize around)
{
    const QSize large = displayBoxSize(kLargeDisplaySize);
    const QSize normal = displayBoxSize(kNormalDisplaySize);
    // The column and row spans the room leaves the display: a box is its
    // span and one pixel more.
    const int columns = room.width() - frame.left() - frame.right() - around.width() - 1;
    const int rows = room.height() - frame.top() - frame.bottom() - around.height() - 1;
    const int largeColumns = large.width() - 1;
    const int largeRows = large.height() - 1;
    if (columns >= largeColumns && rows >= largeRows)
        return {large, false};
    // Large's shape at the scale the tighter of the two spans allows, in
    // whole pixels rounded down so that the other span fits too.
    int width = columns;
    int height = rows;
    if (columns * largeRows <= rows * largeColumns)
        height = columns * largeRows / largeColumns;
    else
        width = rows * largeColumns / largeRows;
    if (width <= normal.width() - 1 || height <= normal.height() - 1)
        return {normal, true};
    return {{width + 1, height + 1}, true};
}

void layOutFrontPanel(PanelControls& c, QWidget* central, QSize box, QMargins labels, bool fixed)
{
    // What the display and its labels take beyond the display at Normal.
    const int dw = box.width() - Raster::kWidth + labels.left() + labels.right();
    const int dh = box.height() - Raster::kHeight + labels.top() + labels.bottom();
    ScreenWidgets& screen = c.screen;
    screen.ImagePanel->setGeometry(kImageX + labels.left(), kImageY + labels.top(), box.width() + 4, box.height() + 4);
    screen.SpectrumBox->setGeometry(2, 2, box.width(), box.height());
    screen.SpectrumBox->setFixedSize(box);
    screen.AxisLabels->setGeometry(kImageX, kImageY, kImageWidth + dw, kImageHeight + dh);
    screen.AxisLabels->setDisplayRect(QRect(labels.left() + 2, labels.top() + 2, box.width(), box.height()));
    screen.AxisLabels->setVisible(!labels.isNull());
    const int stripWidth = kImageWidth + dw;
    screen.ScopeStatusPanel->setGeometry(kImageX, kStripY + dh, stripWidth, kStripHeight);
    screen.MarkerLabel->setGeometry(130, 2, stripWidth - 260, kStripHeight - 4);
    screen.HiFreqLabel->setGeometry(stripWidth - 126, 2, 120, kStripHeight - 4);

    c.chan2.Chan2Group->move(kRightX + dw, c.chan2.Chan2Group->y());
    c.trace.TraceGroup->move(kMargin, kRow1Y + dh);
    c.input.InputGroup->move(kMargin, kRow2Y + dh);
    c.trigger.TriggerGroup->setGeometry(kImageX, kRow1Y + dh, kLowerWidth + dw, kRowHeight);
    c.display.DisplayGroup->move(kImageX, kRow2Y + dh);
    QWidget* timeBase = c.timeBase.TimeBaseGroup;
    timeBase->setGeometry(timeBase->x(), kRow2Y + dh, kLowerWidth + dw - (timeBase->x() - kImageX), kRowHeight);
    c.run.StartBtn->move(kPanelWidth + dw + 20, c.run.StartBtn->y());
    c.run.StopBtn->move(kPanelWidth + dw + 20, c.run.StopBtn->y());
    if (fixed) {
        central->setFixedSize(kPanelWidth + dw, kPanelHeight + dh);
    } else {
        central->setMinimumSize(kPanelWidth + labels.left() + labels.right(),
                                kPanelHeight + labels.top() + labels.bottom());
        central->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
}

QColor colourOf(std::int32_t word)
{
    const auto w = static_cast<std::uint32_t>(word);
    return QColor(static_cast<int>(w & 0xFFu), static_cast<int>((w >> 8) & 0xFFu), static_cast<int>((w >> 16) & 0xFFu));
}

std::int32_t backgroundColour(std::int32_t scheme)
{
    switch (scheme) {
        case kBlackBackground:
            return colour::kBlack;
        case kTealBackground:
            return colour::kTeal;
        default:
            return colour::kWhite;
    }
}

QIcon colourSwatch(std::int32_t word)
{
    QPixmap square(14, 14);
    square.fill(colourOf(word));
    QPainter frame(&square);
    frame.setPen(QColor(64, 64, 64));  // so that white shows on a light menu
    frame.drawRect(0, 0, 13, 13);
    frame.end();
    return QIcon(square);
}

void nameControl(QWidget* control, const char* name)
{
    control->setObjectName(QString::fromUtf8(name));
    if (const ControlWords* words = wordsFor(name)) {
        if (words->spokenName != nullptr)
            control->setAccessibleName(QString::fromUtf8(words->spokenName));
        if (words->tip != nullptr)
            control->setToolTip(QString::fromUtf8(words->tip));
    }
}

void nameLabel(QWidget* label, const char* name, const char* shows)
{
    label->setObjectName(QString::fromUtf8(name));
    label->setAccessibleName(QString());
    label->setAccessibleDescription(QString::fromUtf8(shows));
}

PanelControls buildFrontPanel(QMainWindow& window, QWidget* central, const Raster& display)
{
    PanelControls c;
    central->setObjectName(QStringLiteral("ScopePanel"));
    central->setAttribute(Qt::WA_StyledBackground, true);
    central->setStyleSheet(QString::fromUtf8(kPanelStyle));
    central->setFixedSize(kPanelWidth, kPanelHeight);

    // The display and the strip of labels under it.
    c.screen.ImagePanel = new QFrame(central);
    c.screen.ImagePanel->setObjectName(QStringLiteral("ImagePanel"));
    c.screen.ImagePanel->setGeometry(kImageX, kImageY, kImageWidth, kImageHeight);
    c.screen.SpectrumBox = new TPaintBox(display, c.screen.ImagePanel);
    nameControl(c.screen.SpectrumBox, "SpectrumBox");
    c.screen.SpectrumBox->setAccessibleDescription(
        QStringLiteral("Left and Right move the selected marker, with Shift ten columns; "
                       "M or Space selects the other marker"));
    c.screen.SpectrumBox->setGeometry(2, 2, Raster::kWidth, Raster::kHeight);
    // While the display has the keyboard its frame lights up; the picture
    // inside stays as it is.
    QFrame* frame = c.screen.ImagePanel;
    QObject::connect(c.screen.SpectrumBox, &TPaintBox::keyboardFocusChanged, frame, [frame](bool focused) {
        frame->setProperty("keyboardFocus", focused);
        frame->style()->unpolish(frame);
        frame->style()->polish(frame);
        frame->update();
    });

    c.screen.ScopeStatusPanel = new QFrame(central);
    c.screen.ScopeStatusPanel->setObjectName(QStringLiteral("ScopeStatusPanel"));
    c.screen.ScopeStatusPanel->setGeometry(kImageX, kStripY, kImageWidth, kStripHeight);
    c.screen.ScopeStatusPanel->setAutoFillBackground(true);
    c.screen.ScopeStatusPanel->setStyleSheet(QStringLiteral("QFrame#ScopeStatusPanel { background-color: #ffffff; }"));
    c.screen.LoFreqLabel =
        makeStripLabel(c.screen.ScopeStatusPanel, "LoFreqLabel", "Display left end", "0", Qt::AlignLeft, 6, 120);
    c.screen.MarkerLabel = makeStripLabel(c.screen.ScopeStatusPanel, "MarkerLabel", "Marker difference",
                                          "Marker Difference = ?", Qt::AlignHCenter, 130, kImageWidth - 260);
    c.screen.HiFreqLabel = makeStripLabel(c.screen.ScopeStatusPanel, "HiFreqLabel", "Display right end", "5512",
                                          Qt::AlignRight, kImageWidth - 126, 120);
    // The labelled axes lie behind the display's frame, hidden until shown.
    c.screen.AxisLabels = new AxisLabelBand(central);
    c.screen.AxisLabels->setGeometry(kImageX, kImageY, kImageWidth, kImageHeight);
    c.screen.AxisLabels->lower();
    c.screen.AxisLabels->hide();

    c.chan1 = buildChannel<Channel1Widgets>(central, 1);
    c.chan2 = buildChannel<Channel2Widgets>(central, 2);

    // Trace group under Channel 1.
    c.trace.TraceGroup = makeGroup(central, "TraceGroup", "Trace", kMargin, kRow1Y, kColumnWidth, kRowHeight);
    c.trace.AddChanSw = makeRocker(c.trace.TraceGroup, "AddChanSw", "Add", false, 18, 40);
    c.trace.TraceModeSw = makeRocker(c.trace.TraceGroup, "TraceModeSw", "XY", false, 92, 40);

    TriggerWidgets& t = c.trigger;
    // Trigger group: five toggles and the threshold dial.
    t.TriggerGroup = makeGroup(central, "TriggerGroup", "Trigger", kImageX, kRow1Y, kLowerWidth, kRowHeight);
    // The trigger starts off (the state's value), so its switch shows "OFF".
    t.TriggerEnableSwitch = makeToggle(t.TriggerGroup, "TriggerEnableSwitch", "ON", "OFF", false, 24, 26);
    t.TrigSlopeSw = makeToggle(t.TriggerGroup, "TrigSlopeSw", "+", "-", true, 104, 26);
    t.ChannelSw = makeToggle(t.TriggerGroup, "ChannelSw", "Ch 1", "Ch 2", true, 184, 26);
    t.ChopSw = makeToggle(t.TriggerGroup, "ChopSw", "Chop", "Alt", true, 264, 26);
    t.SineSquareSw = makeToggle(t.TriggerGroup, "SineSquareSw", "Sin", "Sqv", true, 344, 26);
    t.ThresholdDial = makeDial(t.TriggerGroup, "ThresholdDial", "Threshold", -50.0f, 50.0f, 0.0f, 100, 450, 12);
    // The trigger lamp: lit while the trace on the display was triggered,
    // dark while it runs free, is a kept earlier trace, or the trigger is off.
    t.TrigdLED = makeLamp(t.TriggerGroup, "TrigdLED", "Trig'd", QColor(0, 255, 0), 578, 28);

    DisplayWidgets& d = c.display;
    // Display group: Hold, Single, Exp.
    constexpr int kDisplayWidth = 250;
    d.DisplayGroup = makeGroup(central, "DisplayGroup", "Display", kImageX, kRow2Y, kDisplayWidth, kRowHeight);
    d.DisplayHoldSw = makeRocker(d.DisplayGroup, "DisplayHoldSw", "Hold", true, 14, 40);
    d.SingleDisplaySw = makeRocker(d.DisplayGroup, "SingleDisplaySw", "Single", true, 94, 40);
    d.ExpandSw = makeRocker(d.DisplayGroup, "ExpandSw", "Exp", false, 174, 40);

    TimeBaseWidgets& tb = c.timeBase;
    // Time Base group: the time dial, the "Uncal." lamp and the sample rates.
    tb.TimeBaseGroup = makeGroup(central, "TimeBaseGroup", "Time Base", kImageX + kDisplayWidth + kMargin, kRow2Y,
                                 kLowerWidth - kDisplayWidth - kMargin, kRowHeight);
    tb.TimeBaseDial = makeDial(tb.TimeBaseGroup, "TimeBaseDial", "Time", 0.000001f, 100.0f, 100.0f, 100, 16, 18);
    tb.TimeBaseDial->resize(110, 118);
    tb.UncalLED = makeLamp(tb.TimeBaseGroup, "UncalLED", "Uncal.", QColor(255, 0, 0), 150, 28);
    // The rate in force at start-up is 11025 Hz, so "46.44 ms" shows checked.
    tb.LowSampleRateRadioBtn = makeRadio(tb.TimeBaseGroup, "LowSampleRateRadioBtn", "46.44 ms", true, 270, 28);
    tb.MidSampleRateRadioBtn = makeRadio(tb.TimeBaseGroup, "MidSampleRateRadioBtn", "23.22 ms", false, 270, 60);
    tb.HiSampleRateRadioBtn = makeRadio(tb.TimeBaseGroup, "HiSampleRateRadioBtn", "11.61 ms", false, 270, 92);
    // Between the dial and the rates: the time a division of pictures of the
    // record, or the dial's picture of one block.
    tb.TimeDivLabel = new QLabel(QStringLiteral("Time/Div"), tb.TimeBaseGroup);
    nameLabel(tb.TimeDivLabel, "TimeDivLabel", "Time a division");
    tb.TimeDivLabel->setGeometry(142, 64, 110, 18);
    tb.TimeDivBox = new QComboBox(tb.TimeBaseGroup);
    nameControl(tb.TimeDivBox, "TimeDivBox");
    tb.TimeDivBox->addItem(QStringLiteral("Time dial"), 0.0);
    for (int i = 0; i < kTimeBaseStepCount; ++i) {
        const double step = timeBaseStep(i);
        tb.TimeDivBox->addItem(QString::fromStdString(timeBaseText(step, '.')), step);
    }
    tb.TimeDivBox->setGeometry(140, 84, 116, 26);
    tb.TimeDivLabel->setBuddy(tb.TimeDivBox);

    InputWidgets& in = c.input;
    // Input Device group under the Trace group: the name of the device
    // acquisition records from, and once, in yellow, that no sound input was
    // found when the built-in generator stands in.
    in.InputGroup = makeGroup(central, "InputGroup", "Input Device", kMargin, kRow2Y, kColumnWidth, kRowHeight);
    in.InputDeviceLabel = new QLabel(in.InputGroup);
    nameLabel(in.InputDeviceLabel, "InputDeviceLabel", "Input device");
    in.InputDeviceLabel->setWordWrap(true);
    in.InputDeviceLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    in.InputDeviceLabel->setGeometry(12, 24, kColumnWidth - 24, 50);
    in.InputNoticeLabel = new QLabel(in.InputGroup);
    nameLabel(in.InputNoticeLabel, "InputNoticeLabel", "Input notice");
    in.InputNoticeLabel->setWordWrap(true);
    in.InputNoticeLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    in.InputNoticeLabel->setGeometry(12, 76, kColumnWidth - 24, 58);
    in.InputNoticeLabel->setStyleSheet(QStringLiteral("color: #ffd400;"));
    in.InputNoticeLabel->hide();
    in.InputNoticeTimer = new QTimer(&window);
    in.InputNoticeTimer->setObjectName(QStringLiteral("InputNoticeTimer"));
    in.InputNoticeTimer->setSingleShot(true);
    in.InputNoticeTimer->setInterval(InputWidgets::kNoticeMs);
    QObject::connect(in.InputNoticeTimer, &QTimer::timeout, in.InputNoticeLabel, &QLabel::hide);

    // Start and stop exist for the program's own use but lie outside the visible area.
    c.run.StartBtn = new QPushButton(QStringLiteral("Start"), central);
    c.run.StartBtn->setObjectName(QStringLiteral("StartBtn"));
    c.run.StartBtn->setGeometry(kPanelWidth + 20, 20, 75, 25);
    c.run.StartBtn->setFocusPolicy(Qt::NoFocus);
    c.run.StopBtn = new QPushButton(QStringLiteral("Stop"), central);
    c.run.StopBtn->setObjectName(QStringLiteral("StopBtn"));
    c.run.StopBtn->setGeometry(kPanelWidth + 20, 50, 75, 25);
    c.run.StopBtn->setFocusPolicy(Qt::NoFocus);

    // Keyboard order: channel 1, trace, display box, channel 2, trigger, display, time base.
    QWidget* const order[] = {c.chan1.Chan1GainDial,
                              c.chan1.Chan1GainTrackBar,
                              c.chan1.Chan1OffsetDial,
                              c.chan1.Chan1EnbSwitch,
                              c.chan1.Mkr1Switch,
                              c.trace.AddChanSw,
                              c.trace.TraceModeSw,
                              c.screen.SpectrumBox,
                              c.chan2.Chan2GainDial,
                              c.chan2.Chan2GainTrackBar,
                              c.chan2.Chan2OffsetDial,
                              c.chan2.Chan2EnbSwitch,
                              c.chan2.Mkr2Switch,
                              c.trigger.TriggerEnableSwitch,
                              c.trigger.TrigSlopeSw,
                              c.trigger.ChannelSw,
                              c.trigger.ChopSw,
                              c.trigger.SineSquareSw,
                              c.trigger.ThresholdDial,
                              c.display.DisplayHoldSw,
                              c.display.SingleDisplaySw,
                              c.display.ExpandSw,
                              c.timeBase.TimeBaseDial,
                              c.timeBase.LowSampleRateRadioBtn,
                              c.timeBase.MidSampleRateRadioBtn,
                              c.timeBase.HiSampleRateRadioBtn};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    // Status bar: five panels; the last one takes the rest of the width.
    c.status.StatusBar1 = new QStatusBar(&window);
    c.status.StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    c.status.StatusBar1->setSizeGripEnabled(false);
    const char* const starts[] = {"Display = ", "Cursor = ", "Threshold = ", "Input = ", "1/Mkr = "};
    const char* const shows[] = {"Display type", "Cursor", "Threshold", "Input", "Marker reciprocal"};
    const int widths[] = {175, 175, 125, 150, 50};
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(QString::fromUtf8(starts[i]), c.status.StatusBar1);
        nameLabel(panel, QStringLiteral("StatusPanel%1").arg(i).toUtf8().constData(), shows[i]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setMinimumWidth(widths[i]);
        if (i < 4)
            panel->setFixedWidth(widths[i]);
        c.status.StatusBar1->addWidget(panel, i == 4 ? 1 : 0);
    }
    // The elapsed time of a WAV recording, at the right end while one runs.
    c.status.RecordingPanel = new QLabel(c.status.StatusBar1);
    nameLabel(c.status.RecordingPanel, "RecordingPanel", "Recording time");
    c.status.RecordingPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // It paints its own ground: the second that changes repaints it alone.
    c.status.RecordingPanel->setAutoFillBackground(true);
    c.status.StatusBar1->addPermanentWidget(c.status.RecordingPanel);
    c.status.RecordingPanel->hide();
    window.setStatusBar(c.status.StatusBar1);
    return c;
}

}  // namespace varmolen
