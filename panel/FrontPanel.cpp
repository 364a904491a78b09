#include "panel/FrontPanel.h"

#include <QAction>
#include <QColor>
#include <QActionGroup>
#include <QFrame>
#include <QGroupBox>
#include <QPixmap>
#include <QPainter>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

#include <cstring>

#include "window/Varmolen2.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/PanelAccessibility.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"
#include "panel/widgets/TrackBar.h"

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
constexpr int kRightX = kImageX + kImageWidth + kMargin;   // 711
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
// caption do not say it (see SpokenName), and what its tooltip says it does.
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

Dial* makeDial(QWidget* parent, const char* name, const char* caption, float minimum, float maximum,
               float start, int digitalSteps, int x, int y)
{
    auto* dial = new Dial(parent);
    NameControl(dial, name);
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
    NameControl(rocker, name);
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
    NameControl(toggle, name);
    toggle->setLabels(QString::fromUtf8(checkedLabel), QString::fromUtf8(uncheckedLabel));
    toggle->setChecked(checked);
    toggle->setGeometry(x, y, 48, 100);
    return toggle;
}

QSlider* makeTrackBar(QWidget* parent, const char* name, int x, int y)
{
    auto* bar = new TrackBar(parent);
    NameControl(bar, name);
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

void buildChannel(TScopeForm& form, QWidget* central, int channel)
{
    const bool one = channel == 1;
    const int x = one ? kMargin : kRightX;
    QGroupBox* group = makeGroup(central, one ? "Chan1Group" : "Chan2Group", one ? "Channel 1" : "Channel 2", x,
                                 4, kColumnWidth, kStripY + kStripHeight - 4);
    Dial* gain = makeDial(group, one ? "Chan1GainDial" : "Chan2GainDial", "Gain", 0.0f, 100.0f, 50.0f, 0, 30, 20);
    // The track bar starts on the range in force (1), not on "Gnd".
    QSlider* range = makeTrackBar(group, one ? "Chan1GainTrackBar" : "Chan2GainTrackBar", 20, 148);
    range->setValue(1);
    Dial* offset = makeDial(group, one ? "Chan1OffsetDial" : "Chan2OffsetDial", "Position", 0.0f, 100.0f,
                            one ? 75.0f : 25.0f, 0, 30, 190);
    RockerSwitch* enable = makeRocker(group, one ? "Chan1EnbSwitch" : "Chan2EnbSwitch", "Enable", true, 18, 312);
    RockerSwitch* marker = makeRocker(group, one ? "Mkr1Switch" : "Mkr2Switch", one ? "Mkr1" : "Mkr2", false, 92, 312);
    if (one) {
        form.Chan1Group = group;
        form.Chan1GainDial = gain;
        form.Chan1GainTrackBar = range;
        form.Chan1OffsetDial = offset;
        form.Chan1EnbSwitch = enable;
        form.Mkr1Switch = marker;
    } else {
        form.Chan2Group = group;
        form.Chan2GainDial = gain;
        form.Chan2GainTrackBar = range;
        form.Chan2OffsetDial = offset;
        form.Chan2EnbSwitch = enable;
        form.Mkr2Switch = marker;
    }
}

QLabel* makeStripLabel(QWidget* parent, const char* name, const char* shows, const char* text, Qt::Alignment align,
                       int x, int w)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    NameLabel(label, name, shows);
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
    NameControl(led, name);
    led->setCaption(QString::fromUtf8(caption));
    led->setColors(on, QColor(128, 128, 128));
    led->setChecked(false);
    led->setGeometry(x, y, 90, 20);
    return led;
}

QRadioButton* makeRadio(QWidget* parent, const char* name, const char* caption, bool checked, int x, int y)
{
    auto* radio = new QRadioButton(QString::fromUtf8(caption), parent);
    NameControl(radio, name);
    radio->setChecked(checked);
    radio->setGeometry(x, y, 100, 22);
    return radio;
}

}  // namespace

QColor ColourOf(std::int32_t word)
{
    const auto w = static_cast<std::uint32_t>(word);
    return QColor(static_cast<int>(w & 0xFFu), static_cast<int>((w >> 8) & 0xFFu), static_cast<int>((w >> 16) & 0xFFu));
}

std::int32_t BackgroundColour(std::int32_t scheme)
{
    switch (scheme) {
    case 2:
        return colour::black;
    case 3:
        return colour::teal;
    default:
        return colour::white;
    }
}

QIcon ColourSwatch(std::int32_t word)
{
    QPixmap square(14, 14);
    square.fill(ColourOf(word));
    QPainter frame(&square);
    frame.setPen(QColor(64, 64, 64));  // so that white shows on a light menu
    frame.drawRect(0, 0, 13, 13);
    frame.end();
    return QIcon(square);
}

void NameControl(QWidget* control, const char* name)
{
    control->setObjectName(QString::fromUtf8(name));
    if (const ControlWords* words = wordsFor(name)) {
        if (words->spokenName != nullptr)
            control->setAccessibleName(QString::fromUtf8(words->spokenName));
        if (words->tip != nullptr)
            control->setToolTip(QString::fromUtf8(words->tip));
    }
}

void NameLabel(QWidget* label, const char* name, const char* shows)
{
    label->setObjectName(QString::fromUtf8(name));
    label->setAccessibleName(QString());
    label->setAccessibleDescription(QString::fromUtf8(shows));
}

void BuildFrontPanel(TScopeForm& form, QWidget* central)
{
    central->setObjectName(QStringLiteral("ScopePanel"));
    central->setAttribute(Qt::WA_StyledBackground, true);
    central->setStyleSheet(QString::fromUtf8(kPanelStyle));
    central->setFixedSize(kPanelWidth, kPanelHeight);

    // The display and the strip of labels under it.
    form.ImagePanel = new QFrame(central);
    form.ImagePanel->setObjectName(QStringLiteral("ImagePanel"));
    form.ImagePanel->setGeometry(kImageX, kImageY, kImageWidth, kImageHeight);
    form.SpectrumBox = new TPaintBox(form.displayBitmap(), form.ImagePanel);
    NameControl(form.SpectrumBox, "SpectrumBox");
    form.SpectrumBox->setAccessibleDescription(
        QStringLiteral("Left and Right move the selected marker, with Shift ten columns; "
                       "M or Space selects the other marker"));
    form.SpectrumBox->setGeometry(2, 2, Raster::kWidth, Raster::kHeight);
    // While the display has the keyboard its frame lights up; the picture
    // inside stays as it is.
    QFrame* frame = form.ImagePanel;
    QObject::connect(form.SpectrumBox, &TPaintBox::keyboardFocusChanged, frame, [frame](bool focused) {
        frame->setProperty("keyboardFocus", focused);
        frame->style()->unpolish(frame);
        frame->style()->polish(frame);
        frame->update();
    });

    form.ScopeStatusPanel = new QFrame(central);
    form.ScopeStatusPanel->setObjectName(QStringLiteral("ScopeStatusPanel"));
    form.ScopeStatusPanel->setGeometry(kImageX, kStripY, kImageWidth, kStripHeight);
    form.ScopeStatusPanel->setAutoFillBackground(true);
    form.ScopeStatusPanel->setStyleSheet(QStringLiteral("QFrame#ScopeStatusPanel { background-color: #ffffff; }"));
    form.LoFreqLabel =
        makeStripLabel(form.ScopeStatusPanel, "LoFreqLabel", "Display left end", "0", Qt::AlignLeft, 6, 120);
    form.MarkerLabel = makeStripLabel(form.ScopeStatusPanel, "MarkerLabel", "Marker difference",
                                      "Marker Difference = ?", Qt::AlignHCenter, 130, kImageWidth - 260);
    form.HiFreqLabel = makeStripLabel(form.ScopeStatusPanel, "HiFreqLabel", "Display right end", "5512",
                                      Qt::AlignRight, kImageWidth - 126, 120);

    buildChannel(form, central, 1);
    buildChannel(form, central, 2);

    // Trace group under Channel 1.
    form.TraceGroup = makeGroup(central, "TraceGroup", "Trace", kMargin, kRow1Y, kColumnWidth, kRowHeight);
    form.AddChanSw = makeRocker(form.TraceGroup, "AddChanSw", "Add", false, 18, 40);
    form.TraceModeSw = makeRocker(form.TraceGroup, "TraceModeSw", "XY", false, 92, 40);

    // Trigger group: five toggles and the threshold dial.
    form.TriggerGroup = makeGroup(central, "TriggerGroup", "Trigger", kImageX, kRow1Y, kLowerWidth, kRowHeight);
    // The trigger starts off (the state's value), so its switch shows "OFF".
    form.TriggerEnableSwitch = makeToggle(form.TriggerGroup, "TriggerEnableSwitch", "ON", "OFF", false, 24, 26);
    form.TrigSlopeSw = makeToggle(form.TriggerGroup, "TrigSlopeSw", "+", "-", true, 104, 26);
    form.ChannelSw = makeToggle(form.TriggerGroup, "ChannelSw", "Ch 1", "Ch 2", true, 184, 26);
    form.ChopSw = makeToggle(form.TriggerGroup, "ChopSw", "Chop", "Alt", true, 264, 26);
    form.SineSquareSw = makeToggle(form.TriggerGroup, "SineSquareSw", "Sin", "Sqv", true, 344, 26);
    form.ThresholdDial = makeDial(form.TriggerGroup, "ThresholdDial", "Threshold", -50.0f, 50.0f, 0.0f, 100, 450, 12);
    // The trigger lamp: lit while the trace on the display was triggered,
    // dark while it runs free, is a kept earlier trace, or the trigger is off.
    form.TrigdLED = makeLamp(form.TriggerGroup, "TrigdLED", "Trig'd", QColor(0, 255, 0), 578, 28);

    // Display group: Hold, Single, Exp.
    constexpr int kDisplayWidth = 250;
    form.DisplayGroup = makeGroup(central, "DisplayGroup", "Display", kImageX, kRow2Y, kDisplayWidth, kRowHeight);
    form.DisplayHoldSw = makeRocker(form.DisplayGroup, "DisplayHoldSw", "Hold", true, 14, 40);
    form.SingleDisplaySw = makeRocker(form.DisplayGroup, "SingleDisplaySw", "Single", true, 94, 40);
    form.ExpandSw = makeRocker(form.DisplayGroup, "ExpandSw", "Exp", false, 174, 40);

    // Time Base group: the time dial, the "Uncal." lamp and the sample rates.
    form.TimeBaseGroup = makeGroup(central, "TimeBaseGroup", "Time Base", kImageX + kDisplayWidth + kMargin, kRow2Y,
                                   kLowerWidth - kDisplayWidth - kMargin, kRowHeight);
    form.TimeBaseDial = makeDial(form.TimeBaseGroup, "TimeBaseDial", "Time", 0.000001f, 100.0f, 100.0f, 100, 16, 18);
    form.TimeBaseDial->resize(110, 118);
    form.UncalLED = makeLamp(form.TimeBaseGroup, "UncalLED", "Uncal.", QColor(255, 0, 0), 150, 28);
    // The rate in force at start-up is 11025 Hz, so "46.44 ms" shows checked.
    form.LowSampleRateRadioBtn = makeRadio(form.TimeBaseGroup, "LowSampleRateRadioBtn", "46.44 ms", true, 270, 28);
    form.MidSampleRateRadioBtn = makeRadio(form.TimeBaseGroup, "MidSampleRateRadioBtn", "23.22 ms", false, 270, 60);
    form.HiSampleRateRadioBtn = makeRadio(form.TimeBaseGroup, "HiSampleRateRadioBtn", "11.61 ms", false, 270, 92);

    // Input Device group under the Trace group: the name of the device
    // acquisition records from, and once, in yellow, that no sound input was
    // found when the built-in generator stands in.
    form.InputGroup = makeGroup(central, "InputGroup", "Input Device", kMargin, kRow2Y, kColumnWidth, kRowHeight);
    form.InputDeviceLabel = new QLabel(form.InputGroup);
    NameLabel(form.InputDeviceLabel, "InputDeviceLabel", "Input device");
    form.InputDeviceLabel->setWordWrap(true);
    form.InputDeviceLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    form.InputDeviceLabel->setGeometry(12, 24, kColumnWidth - 24, 50);
    form.InputNoticeLabel = new QLabel(form.InputGroup);
    NameLabel(form.InputNoticeLabel, "InputNoticeLabel", "Input notice");
    form.InputNoticeLabel->setWordWrap(true);
    form.InputNoticeLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    form.InputNoticeLabel->setGeometry(12, 76, kColumnWidth - 24, 58);
    form.InputNoticeLabel->setStyleSheet(QStringLiteral("color: #ffd400;"));
    form.InputNoticeLabel->hide();
    form.InputNoticeTimer = new QTimer(&form);
    form.InputNoticeTimer->setObjectName(QStringLiteral("InputNoticeTimer"));
    form.InputNoticeTimer->setSingleShot(true);
    form.InputNoticeTimer->setInterval(TScopeForm::kInputNoticeMs);
    QObject::connect(form.InputNoticeTimer, &QTimer::timeout, form.InputNoticeLabel, &QLabel::hide);

    // Start and stop exist for the program's own use but lie outside the visible area.
    form.StartBtn = new QPushButton(QStringLiteral("Start"), central);
    form.StartBtn->setObjectName(QStringLiteral("StartBtn"));
    form.StartBtn->setGeometry(kPanelWidth + 20, 20, 75, 25);
    form.StartBtn->setFocusPolicy(Qt::NoFocus);
    form.StopBtn = new QPushButton(QStringLiteral("Stop"), central);
    form.StopBtn->setObjectName(QStringLiteral("StopBtn"));
    form.StopBtn->setGeometry(kPanelWidth + 20, 50, 75, 25);
    form.StopBtn->setFocusPolicy(Qt::NoFocus);

    // Keyboard order: channel 1, trace, display box, channel 2, trigger, display, time base.
    QWidget* const order[] = {form.Chan1GainDial,   form.Chan1GainTrackBar,  form.Chan1OffsetDial,
                              form.Chan1EnbSwitch,  form.Mkr1Switch,         form.AddChanSw,
                              form.TraceModeSw,     form.SpectrumBox,        form.Chan2GainDial,
                              form.Chan2GainTrackBar,
                              form.Chan2OffsetDial, form.Chan2EnbSwitch,     form.Mkr2Switch,
                              form.TriggerEnableSwitch, form.TrigSlopeSw,    form.ChannelSw,
                              form.ChopSw,          form.SineSquareSw,       form.ThresholdDial,
                              form.DisplayHoldSw,   form.SingleDisplaySw,    form.ExpandSw,
                              form.TimeBaseDial,    form.LowSampleRateRadioBtn, form.MidSampleRateRadioBtn,
                              form.HiSampleRateRadioBtn};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    // Status bar: five panels; the last one takes the rest of the width.
    form.StatusBar1 = new QStatusBar(&form);
    form.StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    form.StatusBar1->setSizeGripEnabled(false);
    const char* const starts[] = {"Display = ", "Cursor = ", "Threshold = ", "Input = ", "1/Mkr = "};
    const char* const shows[] = {"Display type", "Cursor", "Threshold", "Input", "Marker reciprocal"};
    const int widths[] = {175, 175, 125, 150, 50};
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(QString::fromUtf8(starts[i]), form.StatusBar1);
        NameLabel(panel, QStringLiteral("StatusPanel%1").arg(i).toUtf8().constData(), shows[i]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setMinimumWidth(widths[i]);
        if (i < 4)
            panel->setFixedWidth(widths[i]);
        form.StatusBar1->addWidget(panel, i == 4 ? 1 : 0);
    }
    // The elapsed time of a WAV recording, at the right end while one runs.
    form.RecordingPanel = new QLabel(form.StatusBar1);
    NameLabel(form.RecordingPanel, "RecordingPanel", "Recording time");
    form.RecordingPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // It paints its own ground: the second that changes repaints it alone.
    form.RecordingPanel->setAutoFillBackground(true);
    form.StatusBar1->addPermanentWidget(form.RecordingPanel);
    form.RecordingPanel->hide();
    form.setStatusBar(form.StatusBar1);
}

void BuildMenus(TScopeForm& form)
{
    QMenuBar* bar = form.menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto menu = [](QWidget* parent, const char* name, const char* title) {
        auto* m = new QMenu(QString::fromUtf8(title), parent);
        m->setObjectName(QString::fromUtf8(name));
        return m;
    };
    auto item = [&form](QMenu* m, const char* name, const char* caption, bool checkable = false,
                        bool checked = false) {
        QAction* a = m->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromUtf8(name));
        a->setParent(&form);
        if (checkable) {
            a->setCheckable(true);
            a->setChecked(checked);
        }
        return a;
    };

    form.File1 = menu(bar, "File1", "&File");
    form.SaveForm1 = item(form.File1, "SaveForm1", "Save Form");
    form.SaveBitmap1 = item(form.File1, "SaveBitmap1", "Save Bitmap");
    form.File1->addSeparator();
    form.CopyForm1 = item(form.File1, "CopyForm1", "Copy Form");
    form.CopyBitmap1 = item(form.File1, "CopyBitmap1", "Copy Bitmap");
    form.File1->addSeparator();
    form.PrintForm1 = item(form.File1, "PrintForm1", "Print Form");
    form.File1->addSeparator();
    form.ExportData1 = item(form.File1, "ExportData1", "Export Data...");
    form.RecordWav1 = item(form.File1, "RecordWav1", "Record WAV...");
    form.StopRecording1 = item(form.File1, "StopRecording1", "Stop Recording");
    form.StopRecording1->setEnabled(false);
    form.File1->addSeparator();
    form.Quit1 = item(form.File1, "Quit1", "Quit");
    bar->addMenu(form.File1);

    form.Options1 = menu(bar, "Options1", "&Options");
    form.SelectSoundCard = menu(form.Options1, "SelectSoundCard", "Sound Card");
    form.SelectCard = item(form.SelectSoundCard, "SelectCard", "Select");
    form.Options1->addMenu(form.SelectSoundCard);
    form.Input1 = menu(form.Options1, "Input1", "Input");
    form.Mic1 = item(form.Input1, "Mic1", "Microphone", true, true);
    form.Line1 = item(form.Input1, "Line1", "Line", true, false);
    form.Options1->addMenu(form.Input1);
    bar->addMenu(form.Options1);

    form.Display1 = menu(bar, "Display1", "&Display");
    form.Type1 = menu(form.Display1, "Type1", "Type");
    form.Time1 = item(form.Type1, "Time1", "Time", true, true);
    form.FFT1 = item(form.Type1, "FFT1", "Frequency", true, false);
    form.Display1->addMenu(form.Type1);
    form.Grid1 = menu(form.Display1, "Grid1", "Grid");
    form.Enable1 = item(form.Grid1, "Enable1", "Enable", true, true);
    form.Disable1 = item(form.Grid1, "Disable1", "Disable", true, false);
    form.Display1->addMenu(form.Grid1);
    form.BackgroundColor1 = menu(form.Display1, "BackgroundColor1", "Background Color");
    form.White1 = item(form.BackgroundColor1, "White1", "White");
    form.Teal1 = item(form.BackgroundColor1, "Teal1", "Teal");
    form.Black1 = item(form.BackgroundColor1, "Black1", "Black");
    form.Display1->addMenu(form.BackgroundColor1);
    form.Channel1TraceColor1 = menu(form.Display1, "Channel1TraceColor1", "Channel 1 Color");
    form.Black2 = item(form.Channel1TraceColor1, "Black2", "Black");
    form.Red1 = item(form.Channel1TraceColor1, "Red1", "Red");
    form.Blue1 = item(form.Channel1TraceColor1, "Blue1", "Blue");
    form.Lime1 = item(form.Channel1TraceColor1, "Lime1", "Teal");
    form.Lime2 = item(form.Channel1TraceColor1, "Lime2", "Lime");
    form.Yellow1 = item(form.Channel1TraceColor1, "Yellow1", "Yellow");
    form.White2 = item(form.Channel1TraceColor1, "White2", "White");
    form.Display1->addMenu(form.Channel1TraceColor1);
    form.Chan2TraceColor1 = menu(form.Display1, "Chan2TraceColor1", "Channel 2 Color");
    form.Black3 = item(form.Chan2TraceColor1, "Black3", "Black");
    form.Red2 = item(form.Chan2TraceColor1, "Red2", "Red");
    form.Blue2 = item(form.Chan2TraceColor1, "Blue2", "Blue");
    form.Teal2 = item(form.Chan2TraceColor1, "Teal2", "Teal");
    form.Lime3 = item(form.Chan2TraceColor1, "Lime3", "Lime");
    form.Yellow2 = item(form.Chan2TraceColor1, "Yellow2", "Yellow");
    form.White3 = item(form.Chan2TraceColor1, "White3", "White");
    form.Display1->addMenu(form.Chan2TraceColor1);
    form.Spectrum1 = menu(form.Display1, "Spectrum1", "Spectrum");
    form.AverageOff1 = item(form.Spectrum1, "AverageOff1", "Average Off", true, true);
    form.Average4 = item(form.Spectrum1, "Average4", "Average 4", true, false);
    form.Average16 = item(form.Spectrum1, "Average16", "Average 16", true, false);
    form.Average64 = item(form.Spectrum1, "Average64", "Average 64", true, false);
    form.Spectrum1->addSeparator();
    form.PeakHold1 = item(form.Spectrum1, "PeakHold1", "Peak Hold", true, false);
    form.Spectrum1->addSeparator();
    form.SpectrumReset1 = item(form.Spectrum1, "SpectrumReset1", "Reset");
    form.Display1->addMenu(form.Spectrum1);
    bar->addMenu(form.Display1);

    form.Help1 = menu(bar, "Help1", "&Help");
    form.HelpFile1 = item(form.Help1, "HelpFile1", "Help File");
    form.Help1->addSeparator();
    form.About1 = item(form.Help1, "About1", "About");
    bar->addMenu(form.Help1);

    auto* averages = new QActionGroup(&form);
    averages->setExclusive(true);
    for (QAction* a : {form.AverageOff1, form.Average4, form.Average16, form.Average64})
        averages->addAction(a);

    // Every colour item shows its colour.
    const std::pair<QAction*, std::int32_t> swatches[] = {
        {form.White1, colour::white}, {form.Teal1, colour::teal},     {form.Black1, colour::black},
        {form.Black2, colour::black}, {form.Red1, colour::red},       {form.Blue1, colour::blue},
        {form.Lime1, colour::teal},   {form.Lime2, colour::lime},     {form.Yellow1, colour::yellow},
        {form.White2, colour::white}, {form.Black3, colour::black},   {form.Red2, colour::red},
        {form.Blue2, colour::blue},   {form.Teal2, colour::teal},     {form.Lime3, colour::lime},
        {form.Yellow2, colour::yellow}, {form.White3, colour::white},
    };
    for (const auto& [action, word] : swatches)
        action->setIcon(ColourSwatch(word));

    // Each pair of exclusive choices keeps exactly one check mark.
    for (auto pair : {std::pair{form.Mic1, form.Line1}, std::pair{form.Time1, form.FFT1},
                      std::pair{form.Enable1, form.Disable1}}) {
        auto* group = new QActionGroup(&form);
        group->setExclusive(true);
        group->addAction(pair.first);
        group->addAction(pair.second);
    }
}

}  // namespace varmolen
