#include "panel/MeasureStrip.h"

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QString>

#include <string>

#include "display/MeasurementReadouts.h"
#include "panel/FrontPanel.h"

namespace varmolen {

namespace {

constexpr int kSwatchX = 8;
constexpr int kNameX = 26;
constexpr int kCellsX = 66;
constexpr int kLine = 15;  // one text line of the row

// What each cell reads: its caption, the name of its labels within the row
// and their accessible descriptions after "Channel N ".
struct CellPlan {
    const char* caption;
    const char* name;
    const char* description;
    const char* secondName;  // nullptr: one value only
    const char* secondDescription;
    int width;
};

constexpr CellPlan kTimeCells[] = {
    {"Frequency", "Frequency", "frequency", nullptr, nullptr, 104},
    {"Period", "Period", "period", nullptr, nullptr, 96},
    {"Peak-peak", "PeakToPeak", "peak-to-peak", "PeakToPeakDb", "peak-to-peak dBFS", 92},
    {"Maximum", "Maximum", "maximum", "MaximumDb", "maximum dBFS", 92},
    {"Minimum", "Minimum", "minimum", "MinimumDb", "minimum dBFS", 92},
    {"DC mean", "DcMean", "DC mean", "DcMeanDb", "DC mean dBFS", 92},
    {"RMS", "Rms", "RMS", "RmsDb", "RMS dBFS", 92},
    {"Range", "Overload", "overload", nullptr, nullptr, 72},
};

constexpr CellPlan kToneCells[] = {
    {"Peak frequency", "PeakFrequency", "peak frequency", nullptr, nullptr, 116},
    {"Peak level", "PeakLevel", "peak level", "PeakLevelDb", "peak level dBFS", 100},
    {"THD", "Thd", "THD", "ThdDb", "THD dB", 100},
    {"THD+N", "ThdN", "THD+N", "ThdNDb", "THD+N dB", 100},
    {"Weighted level", "WeightedLevel", "weighted level", nullptr, nullptr, 116},
    {"Noise", "Noise", "noise", "NoiseA", "A-weighted noise", 110},
    {"SNR / DR", "Snr", "SNR", "DynamicRange", "dynamic range", 88},
    {"IMD", "Imd", "IMD", "ImdDb", "IMD dB", 92},
};
constexpr std::size_t kImdCell = 7;

// The panel's navy and its label colours, set through palettes: the strip
// repaints some labels four times a second, and style sheets paint slowly.
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kText(0xff, 0xff, 0xff);
const QColor kCaption(0xb8, 0xc4, 0xff);
const QColor kLit(0xff, 0x40, 0x40);
const QColor kRule(0x5a, 0x6a, 0xb8);

void colourText(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    w->setPalette(p);
}

QLabel* valueLabel(QWidget* parent, int channel, const char* name, const char* description, int x, int y, int w)
{
    auto* label = new QLabel(QStringLiteral("?"), parent);
    label->setObjectName(QStringLiteral("Chan%1%2Reading").arg(channel).arg(QLatin1String(name)));
    // The text is the reading; an accessible name would hide it.
    label->setAccessibleName(QString());
    label->setAccessibleDescription(QStringLiteral("Channel %1 %2").arg(channel).arg(QString::fromUtf8(description)));
    label->setGeometry(x, y, w, kLine);
    label->setFocusPolicy(Qt::NoFocus);
    label->setTextFormat(Qt::PlainText);  // no rich-text check at every new reading
    // A reading paints its own navy ground: a new reading repaints the label
    // alone, not the strip and rows beneath it.
    label->setAutoFillBackground(true);
    return label;
}

void setTextIfChanged(QLabel* label, const std::string& text)
{
    const QString t = QString::fromStdString(text);
    if (label->text() != t)
        label->setText(t);
}

}  // namespace

MeasureStrip::MeasureStrip(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("MeasureStrip"));
    QPalette p = palette();
    p.setColor(QPalette::Window, kNavy);
    p.setColor(QPalette::WindowText, kText);
    setPalette(p);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
    // A rule under the status bar, in the colour of the panel's group frames.
    auto* rule = new QWidget(this);
    QPalette rp = rule->palette();
    rp.setColor(QPalette::Window, kRule);
    rule->setPalette(rp);
    rule->setAutoFillBackground(true);
    rule->setGeometry(0, 0, 4000, 1);
    for (int channel = 1; channel <= 2; ++channel)
        build(rows_[static_cast<std::size_t>(channel - 1)], channel);
}

void MeasureStrip::build(Row& row, int channel)
{
    row.frame = new QWidget(this);
    row.frame->setGeometry(0, 4 + (channel - 1) * kRowHeight, 2000, kRowHeight);
    row.swatch = new QFrame(row.frame);
    row.swatch->setObjectName(QStringLiteral("Chan%1Swatch").arg(channel));
    row.swatch->setGeometry(kSwatchX, 4, 12, 12);
    row.swatch->setAutoFillBackground(true);
    row.swatch->setFrameStyle(QFrame::Box | QFrame::Plain);
    colourText(row.swatch, QColor(0xc8, 0xd0, 0xf0));  // its frame
    auto* name = new QLabel(QStringLiteral("CH%1").arg(channel), row.frame);
    name->setGeometry(kNameX, 2, kCellsX - kNameX, kLine);
    name->setAccessibleDescription(QStringLiteral("Channel %1 measurements").arg(channel));

    const auto cells = [&](QWidget*& holder, const CellPlan* plans, std::size_t count, Cell* out) {
        holder = new QWidget(row.frame);
        holder->setGeometry(kCellsX, 0, 2000 - kCellsX, kRowHeight);
        int x = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const CellPlan& plan = plans[i];
            Cell& cell = out[i];
            cell.caption = new QLabel(QString::fromUtf8(plan.caption), holder);
            colourText(cell.caption, kCaption);
            cell.caption->setGeometry(x, 2, plan.width, kLine);
            cell.value = valueLabel(holder, channel, plan.name, plan.description, x, 2 + kLine, plan.width);
            if (plan.secondName != nullptr)
                cell.second =
                    valueLabel(holder, channel, plan.secondName, plan.secondDescription, x, 2 + 2 * kLine, plan.width);
            x += plan.width;
        }
    };
    cells(row.timeCells, kTimeCells, std::size(kTimeCells), row.time.data());
    cells(row.toneCells, kToneCells, std::size(kToneCells), row.tone.data());
    row.toneCells->hide();
}

QLabel* MeasureStrip::reading(int channel, const char* name) const
{
    if (channel != 1 && channel != 2)
        return nullptr;
    return findChild<QLabel*>(QStringLiteral("Chan%1%2Reading").arg(channel).arg(QLatin1String(name)));
}

void MeasureStrip::showChannel(int channel, bool enabled, std::int32_t colourWord, const TimeRowTexts* time,
                               const ToneRowTexts* tone)
{
    if (channel != 1 && channel != 2)
        return;
    Row& row = rows_[static_cast<std::size_t>(channel - 1)];
    row.frame->setVisible(enabled);
    if (!enabled)
        return;
    if (colourWord != row.swatchColour) {
        row.swatchColour = colourWord;
        QPalette p = row.swatch->palette();
        p.setColor(QPalette::Window, colourOf(colourWord));
        row.swatch->setPalette(p);
    }
    row.timeCells->setVisible(time != nullptr);
    row.toneCells->setVisible(time == nullptr && tone != nullptr);

    const auto put = [](Cell& cell, const std::string& value, const std::string* second) {
        setTextIfChanged(cell.value, value);
        if (cell.second != nullptr && second != nullptr) {
            cell.second->setVisible(!second->empty());
            setTextIfChanged(cell.second, *second);
        }
    };
    if (time != nullptr) {
        put(row.time[0], time->frequency, nullptr);
        put(row.time[1], time->period, nullptr);
        put(row.time[2], time->peakToPeak, &time->peakToPeakDb);
        put(row.time[3], time->maximum, &time->maximumDb);
        put(row.time[4], time->minimum, &time->minimumDb);
        put(row.time[5], time->dcMean, &time->dcMeanDb);
        put(row.time[6], time->rms, &time->rmsDb);
        put(row.time[7], time->overload, nullptr);
        const bool lit = time->overload == measure_text::kOverload;
        if (lit != row.overloadLit) {
            row.overloadLit = lit;
            QLabel* mark = row.time[7].value;
            colourText(mark, lit ? kLit : kText);
            QFont f = mark->font();
            f.setBold(lit);
            mark->setFont(f);
        }
    } else if (tone != nullptr) {
        put(row.tone[0], tone->peakFrequency, nullptr);
        put(row.tone[1], tone->peakLevel, &tone->peakLevelDb);
        put(row.tone[2], tone->thd, &tone->thdDb);
        put(row.tone[3], tone->thdN, &tone->thdNDb);
        put(row.tone[4], tone->weighted, nullptr);
        put(row.tone[5], tone->noise, &tone->noiseA);
        put(row.tone[6], tone->snr, &tone->dynamicRange);
        put(row.tone[kImdCell], tone->imd, &tone->imdDb);
        if (tone->imdMethod != row.imdMethod) {
            row.imdMethod = tone->imdMethod;
            const QString named = row.imdMethod.empty()
                                      ? QStringLiteral("IMD")
                                      : QStringLiteral("IMD (%1)").arg(QString::fromStdString(row.imdMethod));
            Cell& cell = row.tone[kImdCell];
            cell.caption->setText(named);
            cell.value->setAccessibleDescription(QStringLiteral("Channel %1 %2").arg(channel).arg(named));
            cell.second->setAccessibleDescription(QStringLiteral("Channel %1 %2 dB").arg(channel).arg(named));
        }
    }
}

}  // namespace varmolen
