#include "window/LogSweepView.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "acquisition/GeneratorControl.h"
#include "display/MeasurementReadouts.h"
#include "panel/ResponseChart.h"
#include "state/InstrumentSettings.h"
#include "window/GeneratorPanel.h"
#include "window/QtHost.h"

namespace varmolen {

namespace {

const char* const kCaption = "Response Sweep";
// The impulse response is shown from its start for this long.
constexpr double kImpulseShownSeconds = 0.05;

QString fixed(double value, int decimals) { return QString::fromStdString(fixedText(value, decimals, '.')); }

// A curve of one of the response's columns.
ChartCurve responseCurve(const QString& name, const QColor& colour, const std::vector<ResponsePoint>& points,
                         double ResponsePoint::*column)
{
    ChartCurve c;
    c.name = name;
    c.colour = colour;
    for (const ResponsePoint& p : points) {
        c.x.push_back(p.hz);
        c.y.push_back(p.*column);
    }
    return c;
}

// The phase drawn within -180 to 180 degrees, the line broken where it wraps.
void wrapPhase(ChartCurve& c)
{
    std::vector<double> x, y;
    for (std::size_t i = 0; i < c.y.size(); ++i) {
        const double v = std::remainder(c.y[i], 360.0);
        if (!y.empty() && std::isfinite(y.back()) && std::abs(v - y.back()) > 180.0) {
            x.push_back(c.x[i]);
            y.push_back(std::nan(""));
        }
        x.push_back(c.x[i]);
        y.push_back(v);
    }
    c.x = std::move(x);
    c.y = std::move(y);
}

}  // namespace

LogSweepView::LogSweepView(QWidget* parent, const InstrumentSettings& settings, QtHost& host, GeneratorPanel& panel)
    : QWidget(parent), settings_(settings), host_(host), panel_(panel)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    delay_ = new QLabel(this);
    delay_->setAccessibleName(QStringLiteral("Sweep delay"));
    layout->addWidget(delay_);
    magnitude_ = new ResponseChart(QStringLiteral("Magnitude plot"), this);
    layout->addWidget(magnitude_, 2);
    auto* lowerRow = new QHBoxLayout;
    lowerView_ = new QComboBox(this);
    lowerView_->addItems({QStringLiteral("Phase"), QStringLiteral("Group delay"),
                          QStringLiteral("Distortion (H2 to H5)"), QStringLiteral("Impulse response")});
    lowerView_->setAccessibleName(QStringLiteral("Lower plot"));
    lowerRow->addWidget(new QLabel(QStringLiteral("Lower plot"), this));
    lowerRow->addWidget(lowerView_);
    lowerRow->addStretch(1);
    layout->addLayout(lowerRow);
    lower_ = new ResponseChart(QStringLiteral("Lower plot"), this);
    layout->addWidget(lower_, 2);

    auto* keptRow = new QHBoxLayout;
    kept_ = new QListWidget(this);
    kept_->setAccessibleName(QStringLiteral("Kept measurements"));
    kept_->setMaximumHeight(90);
    keptRow->addWidget(kept_, 1);
    auto* buttons = new QVBoxLayout;
    keep_ = new QPushButton(QStringLiteral("Keep"), this);
    remove_ = new QPushButton(QStringLiteral("Remove"), this);
    save_ = new QPushButton(QStringLiteral("Save..."), this);
    load_ = new QPushButton(QStringLiteral("Load..."), this);
    reference_ = new QPushButton(QStringLiteral("Use as Reference"), this);
    impulse_ = new QPushButton(QStringLiteral("Export Impulse..."), this);
    for (QPushButton* b : {keep_, remove_, save_, load_, reference_, impulse_}) {
        b->setAccessibleName(b->text().remove(QStringLiteral("...")));
        buttons->addWidget(b);
    }
    keptRow->addLayout(buttons);
    layout->addLayout(keptRow);

    table_ = new QTableWidget(0, 4, this);
    table_->setAccessibleName(QStringLiteral("Log sweep results"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Frequency (Hz)"), QStringLiteral("Magnitude (dB)"),
                                       QStringLiteral("Phase (degrees)"), QStringLiteral("Group delay (ms)")});
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setMaximumHeight(120);
    layout->addWidget(table_, 1);

    connect(lowerView_, &QComboBox::currentIndexChanged, this, [this] { showCurves(); });
    connect(kept_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (listing_)
            return;
        const int row = kept_->row(item) - 1;
        std::vector<KeptSweep>& kept = panel_.keptSweeps();
        if (row < 0 || row >= static_cast<int>(kept.size()))
            return;
        kept[static_cast<std::size_t>(row)].shown = item->checkState() == Qt::Checked;
        const std::string name = item->text().trimmed().toStdString();
        if (!name.empty())
            kept[static_cast<std::size_t>(row)].response.name = name;
        showCurves();
    });
    connect(kept_, &QListWidget::currentRowChanged, this, [this] {
        remove_->setEnabled(selectedKept() >= 0);
        reference_->setEnabled(selectedKept() >= 0);
    });
    connect(keep_, &QPushButton::clicked, this, [this] { keep(); });
    connect(remove_, &QPushButton::clicked, this, [this] { remove(); });
    connect(save_, &QPushButton::clicked, this, [this] { save(); });
    connect(load_, &QPushButton::clicked, this, [this] { load(); });
    connect(reference_, &QPushButton::clicked, this, [this] { useAsReference(); });
    connect(impulse_, &QPushButton::clicked, this, [this] { exportImpulse(); });
    showResult();
}

int LogSweepView::selectedKept() const
{
    const int row = kept_->currentRow() - 1;
    return row >= 0 && row < static_cast<int>(panel_.keptSweeps().size()) ? row : -1;
}

void LogSweepView::showResult()
{
    const std::shared_ptr<const LogSweepResult> r = panel_.generator().logSweepResult();
    if (r && r->valid)
        delay_->setText(QStringLiteral("Delay removed from the phase: %1 ms").arg(fixed(1000.0 * r->delaySeconds, 3)));
    else if (r)
        delay_->setText(QStringLiteral("The last log sweep failed: ") + QString::fromStdString(r->whyNot));
    else
        delay_->setText(QStringLiteral("No log sweep measured yet."));
    const bool measured = r && r->valid;
    keep_->setEnabled(measured);
    impulse_->setEnabled(measured && !r->impulse.empty());

    table_->setRowCount(0);
    if (measured) {
        const std::vector<ResponsePoint> points = smoothResponse(r->points, settings_.features.sweepSmoothing);
        table_->setRowCount(static_cast<int>(points.size()));
        for (std::size_t i = 0; i < points.size(); ++i) {
            const ResponsePoint& p = points[i];
            const QString texts[] = {fixed(p.hz, 2), fixed(p.magnitudeDb, 2), fixed(p.phaseDeg, 1),
                                     fixed(p.groupDelayMs, 3)};
            for (int c = 0; c < 4; ++c)
                table_->setItem(static_cast<int>(i), c, new QTableWidgetItem(texts[c]));
        }
    }
    showList();
    showCurves();
}

void LogSweepView::showList()
{
    listing_ = true;
    const int current = kept_->currentRow();
    kept_->clear();
    auto* last = new QListWidgetItem(QStringLiteral("Last sweep"), kept_);
    last->setForeground(chartColour(0));
    for (const KeptSweep& k : panel_.keptSweeps()) {
        auto* item = new QListWidgetItem(QString::fromStdString(k.response.name), kept_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
        item->setCheckState(k.shown ? Qt::Checked : Qt::Unchecked);
        item->setForeground(chartColour(k.colour));
        if (!k.file.isEmpty())
            item->setToolTip(k.file);
    }
    kept_->setCurrentRow(std::clamp(current, 0, kept_->count() - 1));
    listing_ = false;
    remove_->setEnabled(selectedKept() >= 0);
    reference_->setEnabled(selectedKept() >= 0);
}

void LogSweepView::showCurves()
{
    const std::shared_ptr<const LogSweepResult> r = panel_.generator().logSweepResult();
    const bool measured = r && r->valid;
    const int smoothing = settings_.features.sweepSmoothing;
    // The measurements drawn: the last sweep first, then each kept one shown.
    struct Drawn {
        QString name;
        QColor colour;
        std::vector<ResponsePoint> points;
    };
    std::vector<Drawn> drawn;
    if (measured)
        drawn.push_back({QStringLiteral("Last sweep"), chartColour(0), smoothResponse(r->points, smoothing)});
    for (const KeptSweep& k : panel_.keptSweeps())
        if (k.shown)
            drawn.push_back({QString::fromStdString(k.response.name), chartColour(k.colour),
                             smoothResponse(k.response.points, smoothing)});
    const SweepPlan& plan = settings_.features.sweep;
    double low = measured ? r->plan.startHz : plan.startHz, high = measured ? r->plan.stopHz : plan.stopHz;
    for (const Drawn& d : drawn)
        if (!d.points.empty()) {
            low = std::min(low, d.points.front().hz);
            high = std::max(high, d.points.back().hz);
        }
    const auto frequencyAxes = [low, high](const QString& title, double step) {
        ChartAxes axes;
        axes.xTitle = QStringLiteral("Frequency (Hz)");
        axes.yTitle = title;
        axes.xLow = low;
        axes.xHigh = high;
        axes.yStep = step;
        return axes;
    };
    std::vector<ChartCurve> curves;
    for (const Drawn& d : drawn)
        curves.push_back(responseCurve(d.name, d.colour, d.points, &ResponsePoint::magnitudeDb));
    magnitude_->show(frequencyAxes(QStringLiteral("Magnitude (dB)"), 6.0), std::move(curves));

    curves.clear();
    const int view = lowerView_->currentIndex();
    if (view == 0 || view == 1) {
        for (const Drawn& d : drawn) {
            curves.push_back(responseCurve(d.name, d.colour, d.points,
                                           view == 0 ? &ResponsePoint::phaseDeg : &ResponsePoint::groupDelayMs));
            if (view == 0)
                wrapPhase(curves.back());
        }
        ChartAxes axes = frequencyAxes(
            view == 0 ? QStringLiteral("Phase (degrees)") : QStringLiteral("Group delay (ms)"), view == 0 ? 45.0 : 1.0);
        if (view == 0)
            axes.yRange = std::pair(-180.0, 180.0);
        lower_->show(axes, std::move(curves));
    } else if (view == 2) {
        // The last sweep's harmonic responses, each relative to the fundamental.
        if (measured)
            for (std::size_t k = 0; k < r->harmonics.size(); ++k) {
                ChartCurve c;
                c.name = QStringLiteral("H%1").arg(k + 2);
                c.colour = chartColour(static_cast<int>(k));
                for (const HarmonicPoint& h : r->harmonics[k]) {
                    c.x.push_back(h.hz);
                    c.y.push_back(h.levelDb);
                }
                curves.push_back(std::move(c));
            }
        lower_->show(frequencyAxes(QStringLiteral("Harmonic level (dB below the fundamental)"), 20.0),
                     std::move(curves));
    } else {
        // The impulse response's start, time zero at the delay, relative to its peak.
        ChartCurve c;
        c.name = QStringLiteral("Impulse response");
        c.colour = chartColour(0);
        double peak = 0.0;
        if (measured)
            for (const float v : r->impulse)
                peak = std::max(peak, static_cast<double>(std::abs(v)));
        const double start = measured ? r->impulseStartSeconds : 0.0;
        if (measured && peak > 0.0) {
            const std::size_t shown =
                std::min(r->impulse.size(), static_cast<std::size_t>(kImpulseShownSeconds * r->rate));
            for (std::size_t i = 0; i < shown; ++i) {
                c.x.push_back(1000.0 * (start + static_cast<double>(i) / r->rate));
                c.y.push_back(r->impulse[i] / peak);
            }
            curves.push_back(std::move(c));
        }
        ChartAxes axes;
        axes.xTitle = QStringLiteral("Time after the delay (ms)");
        axes.yTitle = QStringLiteral("Relative to the peak");
        axes.logX = false;
        axes.xLow = 1000.0 * start;
        axes.xHigh = 1000.0 * (start + kImpulseShownSeconds);
        axes.yRange = std::pair(-1.0, 1.0);
        axes.yStep = 0.25;
        lower_->show(axes, std::move(curves));
    }
}

void LogSweepView::keep()
{
    std::string whyNot;
    const std::string name = "Sweep " + std::to_string(panel_.keptSweeps().size() + 1);
    if (!panel_.keepLastSweep(name, whyNot))
        host_.showMessage(whyNot, kCaption);
    showList();
    showCurves();
    kept_->setCurrentRow(kept_->count() - 1);
}

void LogSweepView::remove()
{
    const int row = selectedKept();
    if (row < 0)
        return;
    std::vector<KeptSweep>& kept = panel_.keptSweeps();
    kept.erase(kept.begin() + row);
    showList();
    showCurves();
}

void LogSweepView::save()
{
    SavedResponse response;
    std::string whyNot;
    const int row = selectedKept();
    if (row >= 0)
        response = panel_.keptSweeps()[static_cast<std::size_t>(row)].response;
    else if (!panel_.lastLogSweep(response, whyNot)) {
        host_.showMessage(whyNot, kCaption);
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Measurement"), QString(),
                                                      QStringLiteral("Saved measurements (*.txt)"));
    if (path.isEmpty())
        return;
    if (!panel_.saveSweep(response, path, whyNot)) {
        host_.showMessage("The measurement could not be written to " + path.toStdString() + ": " + whyNot, kCaption);
        return;
    }
    if (row >= 0)
        panel_.keptSweeps()[static_cast<std::size_t>(row)].file = path;
    showList();
}

void LogSweepView::load()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Load Measurement"), QString(),
                                                      QStringLiteral("Saved measurements (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    std::string whyNot;
    if (!panel_.loadSweep(path, false, whyNot))
        host_.showMessage("The measurement " + path.toStdString() + " cannot be read: " + whyNot, kCaption);
    showList();
    showCurves();
}

void LogSweepView::useAsReference()
{
    const int row = selectedKept();
    if (row < 0)
        return;
    const KeptSweep& k = panel_.keptSweeps()[static_cast<std::size_t>(row)];
    if (k.file.isEmpty()) {
        host_.showMessage("Save " + k.response.name + " first: the reference is read from its file at each sweep.",
                          kCaption);
        return;
    }
    panel_.setSweepCalibration(QFileInfo(k.file).absoluteFilePath().toStdString());
    host_.showMessage("A log sweep with the reference Saved is now divided by " + k.response.name + ".", kCaption);
}

void LogSweepView::exportImpulse()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Impulse Response"), QString(),
                                                      QStringLiteral("WAV files (*.wav)"));
    if (path.isEmpty())
        return;
    std::string whyNot;
    if (!panel_.exportImpulse(path, whyNot))
        host_.showMessage("The impulse response could not be written to " + path.toStdString() + ": " + whyNot,
                          kCaption);
}

}  // namespace varmolen
