#include "window/SweepWindow.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <span>

#include "acquisition/AcquisitionLoop.h"
#include "acquisition/GeneratorControl.h"
#include "display/MeasurementReadouts.h"
#include "panel/SweepPlot.h"
#include "window/GeneratorWindow.h"
#include "persist/ConfigFile.h"
#include "state/InstrumentSettings.h"
#include "window/GeneratorPanel.h"
#include "window/QtHost.h"
#include "window/LogSweepView.h"
#include "dsp/LogSweep.h"

namespace varmolen {

namespace {

// What a number box reads: the text as typed when it is a whole value, else its value.
double typedValue(const QDoubleSpinBox* box)
{
    QString text = box->findChild<QLineEdit*>()->text();
    int at = 0;
    return box->validate(text, at) == QValidator::Acceptable ? box->valueFromText(text) : box->value();
}

// Room for row numbers of more digits than the empty table's.
constexpr int kHeaderSlack = 24;

const char* const kColumns[] = {"Frequency (Hz)", "Level (dBFS)", "Relative (dB)", "THD (%)", "THD+N (%)", "Note"};
constexpr int kColumnCount = 6;

// Fixed-point with a point, never "-0.00".
QString fixed(double value, int decimals) { return QString::fromStdString(fixedText(value, decimals, '.')); }

QString cell(bool valid, double value, int decimals) { return valid ? fixed(value, decimals) : QStringLiteral("-"); }

}  // namespace

SweepWindow::SweepWindow(QWidget& owner, const InstrumentSettings& settings, QtHost& host, GeneratorPanel& panel,
                         GeneratorControl& generator)
    : QWidget(&owner, Qt::Window), settings_(settings), host_(host), panel_(panel), generator_(generator)
{
    setObjectName(QStringLiteral("SweepWindow"));
    setWindowTitle(QStringLiteral("Response Sweep"));
    auto* layout = new QVBoxLayout(this);
    auto* plan = new QFormLayout;
    startHz_ = numberBox(this, kSweepMinHz, kSettingsMaxHz, QStringLiteral(" Hz"), QStringLiteral("Sweep start"));
    stopHz_ = numberBox(this, kSweepMinHz, kSettingsMaxHz, QStringLiteral(" Hz"), QStringLiteral("Sweep stop"));
    steps_ = new QSpinBox(this);
    steps_->setRange(kSweepMinStepsPerOctave, kSweepMaxStepsPerOctave);
    steps_->setAccessibleName(QStringLiteral("Sweep steps per octave"));
    level_ = numberBox(this, kSynthMinDbfs, kSynthMaxDbfs, QStringLiteral(" dBFS"), QStringLiteral("Sweep level"));
    channel_ = new QComboBox(this);
    channel_->addItems({QStringLiteral("Channel 1"), QStringLiteral("Channel 2")});
    channel_->setAccessibleName(QStringLiteral("Sweep channel"));
    type_ = new QComboBox(this);
    type_->addItems({QStringLiteral("Stepped sine"), QStringLiteral("Log sweep")});
    type_->setAccessibleName(QStringLiteral("Sweep type"));
    seconds_ =
        numberBox(this, kLogSweepMinSeconds, kLogSweepMaxSeconds, QStringLiteral(" s"), QStringLiteral("Sweep length"));
    reference_ = new QComboBox(this);
    reference_->addItems({QStringLiteral("None"), QStringLiteral("Channel 2 (the output taken back)"),
                          QStringLiteral("Saved measurement")});
    reference_->setAccessibleName(QStringLiteral("Sweep reference"));
    smoothing_ = new QComboBox(this);
    for (const std::int32_t n : kSweepSmoothings)
        smoothing_->addItem(n == 0 ? QStringLiteral("None") : QStringLiteral("1/%1 octave").arg(n), n);
    smoothing_->setAccessibleName(QStringLiteral("Sweep smoothing"));
    plan->addRow(QStringLiteral("Type"), type_);
    plan->addRow(QStringLiteral("Start"), startHz_);
    plan->addRow(QStringLiteral("Stop"), stopHz_);
    plan->addRow(QStringLiteral("Steps per octave"), steps_);
    plan->addRow(QStringLiteral("Length"), seconds_);
    plan->addRow(QStringLiteral("Level"), level_);
    plan->addRow(QStringLiteral("Measured on"), channel_);
    plan->addRow(QStringLiteral("Reference"), reference_);
    plan->addRow(QStringLiteral("Smoothing"), smoothing_);
    planForm_ = plan;
    layout->addLayout(plan);
    problem_ = new QLabel(QStringLiteral("Start must lie below Stop."), this);
    problem_->setAccessibleName(QStringLiteral("Sweep plan problem"));
    layout->addWidget(problem_);

    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton(QStringLiteral("Start"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    export_ = new QPushButton(QStringLiteral("Export CSV..."), this);
    export_->setAccessibleName(QStringLiteral("Export CSV"));
    progress_ = new QProgressBar(this);
    progress_->setAccessibleName(QStringLiteral("Sweep progress"));
    buttons->addWidget(start_);
    buttons->addWidget(cancel_);
    buttons->addWidget(progress_, 1);
    buttons->addWidget(export_);
    layout->addLayout(buttons);

    plot_ = new SweepPlot(this);
    layout->addWidget(plot_, 1);
    table_ = new QTableWidget(0, kColumnCount, this);
    table_->setAccessibleName(QStringLiteral("Sweep results"));
    QStringList headers;
    for (const char* c : kColumns)
        headers << QString::fromUtf8(c);
    table_->setHorizontalHeaderLabels(headers);
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Stretch);
    // No column narrower than its title: the window is no narrower than
    // the five titles beside the row numbers and a scroll bar.
    int widest = 0;
    for (int c = 0; c < header->count(); ++c)
        widest = std::max(widest, header->sectionSizeHint(c));
    header->setMinimumSectionSize(widest);
    table_->setMinimumWidth(header->count() * widest + table_->verticalHeader()->sizeHint().width() +
                            table_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * table_->frameWidth() +
                            kHeaderSlack);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(table_, 1);
    logView_ = new LogSweepView(this, settings_, host_, panel_);
    layout->addWidget(logView_, 3);

    // The boxes take a typed value when it is complete; Start is judged on
    // what they read as it is typed.
    for (QDoubleSpinBox* box : {startHz_, stopHz_}) {
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { enableStart(); });
        connect(box->findChild<QLineEdit*>(), &QLineEdit::textEdited, this, [this] { enableStart(); });
    }
    connect(type_, &QComboBox::currentIndexChanged, this, [this] {
        keepOptions();
        showKind();
    });
    for (QComboBox* box : {reference_, smoothing_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            keepOptions();
            logView_->showResult();
        });
    connect(seconds_, &QDoubleSpinBox::valueChanged, this, [this] { keepOptions(); });
    connect(start_, &QPushButton::clicked, this, [this] { startSweep(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { cancelSweep(); });
    connect(export_, &QPushButton::clicked, this, [this] { chooseExportFile(); });
    load();
    showRows();
}

void SweepWindow::load()
{
    const SweepPlan& p = settings_.features.sweep;
    startHz_->setValue(p.startHz);
    stopHz_->setValue(p.stopHz);
    steps_->setValue(p.stepsPerOctave);
    level_->setValue(p.levelDbfs);
    channel_->setCurrentIndex(p.channel == 2 ? 1 : 0);
    const FeatureSettings& f = settings_.features;
    const QSignalBlocker typeQuiet(type_), secondsQuiet(seconds_), referenceQuiet(reference_),
        smoothingQuiet(smoothing_);
    type_->setCurrentIndex(f.sweepType == kLogSweep ? 1 : 0);
    seconds_->setValue(f.sweepSeconds);
    reference_->setCurrentIndex(f.sweepReference);
    smoothing_->setCurrentIndex(std::max(0, smoothing_->findData(f.sweepSmoothing)));
    showKind();
}

void SweepWindow::keepOptions()
{
    panel_.setSweepOptions(type_->currentIndex() == 1 ? kLogSweep : kSteppedSweep, seconds_->value(),
                           reference_->currentIndex(), smoothing_->currentData().toInt());
}

void SweepWindow::showKind()
{
    const bool log = type_->currentIndex() == 1;
    planForm_->setRowVisible(steps_, !log);
    for (QWidget* w :
         {static_cast<QWidget*>(seconds_), static_cast<QWidget*>(reference_), static_cast<QWidget*>(smoothing_)})
        planForm_->setRowVisible(w, log);
    plot_->setVisible(!log);
    table_->setVisible(!log);
    export_->setVisible(!log);
    logView_->setVisible(log);
}

void SweepWindow::startSweep()
{
    const SweepPlan plan{.startHz = startHz_->value(),
                         .stopHz = stopHz_->value(),
                         .stepsPerOctave = steps_->value(),
                         .levelDbfs = level_->value(),
                         .channel = channel_->currentIndex() + 1};
    keepOptions();
    std::string whyNot;
    if (!panel_.startSweep(plan, whyNot))
        host_.showMessage(whyNot, "Response Sweep");
    showRows();
}

void SweepWindow::cancelSweep()
{
    generator_.cancelSweep();
    showRows();
}

void SweepWindow::showRows()
{
    const std::vector<SweepRow> rows = generator_.sweepRows();
    const int ref = sweepReferenceRow(rows);
    table_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SweepRow& r = rows[i];
        const std::optional<double> relative = sweepRelativeDb(rows, ref, r);
        const QString texts[] = {
            fixed(r.hz, 2), cell(r.valid, r.levelDbfs, 2), cell(relative.has_value(), relative.value_or(0.0), 2),
            cell(r.valid && r.thdValid, r.thdPercent, 4), cell(r.valid && r.thdNValid, r.thdNPercent, 4),
            // A step read again because its THD+N stood far above its
            // neighbours'; disturbed when it still did.
            r.flagged ? QStringLiteral("disturbed") : (r.remeasured ? QStringLiteral("measured again") : QString())};
        for (int c = 0; c < kColumnCount; ++c)
            table_->setItem(static_cast<int>(i), c, new QTableWidgetItem(texts[c]));
    }
    const int steps = generator_.sweepSteps();
    progress_->setRange(0, std::max(steps, 1));
    progress_->setValue(generator_.sweepStepsDone());
    const SweepPlan& p = settings_.features.sweep;
    plot_->show(p.startHz, p.stopHz, rows);
    // The log sweep's view only when its result is another: it changes once a sweep.
    if (const LogSweepResult* log = generator_.logSweepResult().get(); log != shownLog_) {
        shownLog_ = log;
        logView_->showResult();
    }
    enableStart();
    cancel_->setEnabled(generator_.sweeping());
    export_->setEnabled(!rows.empty() && !generator_.sweeping());
}

void SweepWindow::enableStart()
{
    const bool ordered = typedValue(startHz_) < typedValue(stopHz_);
    problem_->setVisible(!ordered);
    start_->setEnabled(ordered && !generator_.sweeping());
}

bool SweepWindow::exportCsv(const QString& path, QString& whyNot) const
{
    const std::string text = composeSweepCsv(generator_.sweepRows());
    std::string why;
    if (writeFileAtomically(QFile::encodeName(path).toStdString(),
                            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), why))
        return true;
    whyNot = QString::fromStdString(why);
    return false;
}

void SweepWindow::chooseExportFile()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), QString(),
                                                      QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString whyNot;
    if (!exportCsv(path, whyNot))
        host_.showMessage(("The sweep could not be written to " + path + ": " + whyNot).toStdString(),
                          "Response Sweep");
}

}  // namespace varmolen
