#include "panel/CalibrateDialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

#include "display/MeasurementReadouts.h"
#include "dsp/Calibration.h"

namespace varmolen {

std::optional<double> parseVolts(const QString& text)
{
    QString t = text.trimmed();
    double scale = 1.0;
    if (t.endsWith(QLatin1String("mV"), Qt::CaseInsensitive)) {
        scale = 0.001;
        t.chop(2);
    } else if (t.endsWith(QLatin1Char('V'), Qt::CaseInsensitive)) {
        t.chop(1);
    }
    t = t.trimmed();
    bool ok = false;
    double v = QLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok)
        return std::nullopt;
    return v * scale;
}

CalibrateDialog::CalibrateDialog(QWidget* parent, RmsSource rms) : QDialog(parent), rms_(std::move(rms))
{
    setObjectName(QStringLiteral("CalibrateDialog"));
    setWindowTitle(QStringLiteral("Calibrate"));
    auto* layout = new QVBoxLayout(this);
    for (int ch = 1; ch <= 2; ++ch) {
        Channel& c = channels[static_cast<std::size_t>(ch - 1)];
        auto* group = new QGroupBox(QStringLiteral("Channel %1").arg(ch), this);
        auto* grid = new QGridLayout(group);
        c.none = new QRadioButton(QStringLiteral("Not calibrated: read % and dBFS"), group);
        c.fullScale = new QRadioButton(QStringLiteral("Full scale ="), group);
        c.fullScaleVolts = new QLineEdit(group);
        c.measure = new QRadioButton(QStringLiteral("Measure: the applied RMS voltage is"), group);
        c.appliedVolts = new QLineEdit(group);
        c.reading = new QLabel(group);
        c.fullScaleVolts->setAccessibleName(QStringLiteral("Channel %1 full scale in volts").arg(ch));
        c.appliedVolts->setAccessibleName(QStringLiteral("Channel %1 applied RMS voltage").arg(ch));
        c.reading->setAccessibleDescription(QStringLiteral("Channel %1 RMS reading now").arg(ch));
        auto* choice = new QButtonGroup(group);
        for (QRadioButton* b : {c.none, c.fullScale, c.measure})
            choice->addButton(b);
        grid->addWidget(c.none, 0, 0, 1, 3);
        grid->addWidget(c.fullScale, 1, 0);
        grid->addWidget(c.fullScaleVolts, 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("V, the peak voltage that reads full scale (32767)"), group), 1, 2);
        grid->addWidget(c.measure, 2, 0);
        grid->addWidget(c.appliedVolts, 2, 1);
        grid->addWidget(c.reading, 2, 2);
        // Typing into a field chooses its way of calibrating.
        connect(c.fullScaleVolts, &QLineEdit::textEdited, c.fullScale, [b = c.fullScale] { b->setChecked(true); });
        connect(c.appliedVolts, &QLineEdit::textEdited, c.measure, [b = c.measure] { b->setChecked(true); });
        layout->addWidget(group);
    }
    message = new QLabel(this);
    message->setObjectName(QStringLiteral("CalibrateMessage"));
    message->setStyleSheet(QStringLiteral("color: #c00000;"));
    message->setWordWrap(true);
    layout->addWidget(message);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CalibrateDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CalibrateDialog::reject);
    layout->addWidget(buttons);
}

void CalibrateDialog::load(const std::array<double, 2>& fullScaleVolts)
{
    accepted_ = fullScaleVolts;
    for (std::size_t i = 0; i < 2; ++i) {
        Channel& c = channels[i];
        const double v = fullScaleVolts[i];
        const bool calibrated = channelVolts(0.0, v).has_value();
        (calibrated ? c.fullScale : c.none)->setChecked(true);
        c.fullScaleVolts->setText(calibrated ? QLocale().toString(v, 'g', 6) : QString());
        c.appliedVolts->clear();
    }
    message->clear();
}

void CalibrateDialog::showReadings(const std::array<QString, 2>& texts)
{
    for (std::size_t i = 0; i < 2; ++i)
        if (channels[i].reading->text() != texts[i])
            channels[i].reading->setText(texts[i]);
}

std::optional<double> CalibrateDialog::fullScaleOf(int channel, QString& problem) const
{
    const Channel& c = channels[static_cast<std::size_t>(channel - 1)];
    const QString who = QStringLiteral("Channel %1: ").arg(channel);
    if (c.none->isChecked())
        return 0.0;
    if (c.fullScale->isChecked()) {
        const std::optional<double> v = parseVolts(c.fullScaleVolts->text());
        if (!v) {
            problem = who + QStringLiteral("type the full scale in volts, for example 1.5.");
            return std::nullopt;
        }
        problem = QString::fromStdString(fullScaleProblem(channel, *v));
        return problem.isEmpty() ? v : std::nullopt;
    }
    if (c.measure->isChecked()) {
        const std::optional<double> applied = parseVolts(c.appliedVolts->text());
        if (!applied) {
            problem = who + QStringLiteral("type the applied RMS voltage, for example 0.775.");
            return std::nullopt;
        }
        if (!(*applied > 0.0) || !std::isfinite(*applied)) {
            problem = who + QStringLiteral("the applied RMS voltage must be more than 0 V.");
            return std::nullopt;
        }
        const std::optional<double> rms = rms_ ? rms_(channel) : std::nullopt;
        if (!rms || !(*rms > 0.0)) {
            problem = who + QStringLiteral(
                                "there is no reading to calibrate against; switch the channel on "
                                "and apply the voltage to its input.");
            return std::nullopt;
        }
        const double fullScale = fullScaleFromApplied(*applied, *rms);
        problem = QString::fromStdString(fullScaleProblem(channel, fullScale));
        if (!problem.isEmpty()) {
            problem +=
                QStringLiteral(" The reading makes it %1.").arg(QString::fromStdString(formatVolts(fullScale, '.')));
            return std::nullopt;
        }
        return fullScale;
    }
    problem = who + QStringLiteral("choose a way to calibrate.");
    return std::nullopt;
}

void CalibrateDialog::accept()
{
    std::array<double, 2> result{};
    for (int ch = 1; ch <= 2; ++ch) {
        QString problem;
        const std::optional<double> v = fullScaleOf(ch, problem);
        if (!v) {
            message->setText(problem);
            return;
        }
        result[static_cast<std::size_t>(ch - 1)] = *v;
    }
    message->clear();
    accepted_ = result;
    QDialog::accept();
}

}  // namespace varmolen
