// Measure > Response Sweep...: the response sweep's window (not modal):
// the plan (kind, start, stop, steps per octave or length, level, channel,
// reference, smoothing), Start, Cancel, a progress bar; for a stepped sweep
// the plot and a table of the rows that the accessibility bus reads, and
// Export CSV; for a log sweep its view (window/LogSweepView.h). Start runs GeneratorPanel::startSweep, which hands
// the buffers the run loop completes to GeneratorControl while the sweep runs.
#pragma once

#include <QWidget>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QFormLayout;
class QTableWidget;

namespace varmolen {

class GeneratorControl;
class LogSweepView;
class SweepPlot;
class GeneratorPanel;
struct InstrumentSettings;
class QtHost;

class SweepWindow : public QWidget {
public:
    // A window of its own over `owner`; it reads the sweep's plan from the
    // settings, starts it through the generator panel and reports through
    // the host.
    SweepWindow(QWidget& owner, const InstrumentSettings& settings, QtHost& host, GeneratorPanel& panel,
                GeneratorControl& generator);

    // The plan's controls from the feature settings.
    void load();
    // Starts a sweep with the plan the controls hold (as Start does).
    void startSweep();
    void cancelSweep();
    // Writes the rows to `path` as CSV; false with the reason.
    bool exportCsv(const QString& path, QString& whyNot) const;
    // The rows, the plot and the progress from the generator's sweep.
    void showRows();

    QPushButton* startButton() const { return start_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* exportButton() const { return export_; }
    QTableWidget* table() const { return table_; }
    QProgressBar* progress() const { return progress_; }
    // Why Start is refused as the plan stands; hidden when it is not.
    QLabel* planProblem() const { return problem_; }
    SweepPlot* plot() const { return plot_; }
    LogSweepView* logView() const { return logView_; }
    QComboBox* typeBox() const { return type_; }
    QComboBox* referenceBox() const { return reference_; }
    QComboBox* smoothingBox() const { return smoothing_; }
    QDoubleSpinBox* secondsBox() const { return seconds_; }

private:
    void chooseExportFile();
    // Start only while no sweep runs and the plan's Start lies below its Stop.
    void enableStart();
    // The controls of the kind chosen shown, the other kind's hidden.
    void showKind();
    // The kind, length, reference and smoothing into the settings.
    void keepOptions();

    const InstrumentSettings& settings_;
    QtHost& host_;
    GeneratorPanel& panel_;
    GeneratorControl& generator_;
    QDoubleSpinBox* startHz_ = nullptr;
    QDoubleSpinBox* stopHz_ = nullptr;
    QSpinBox* steps_ = nullptr;
    QDoubleSpinBox* level_ = nullptr;
    QComboBox* channel_ = nullptr;
    QComboBox* type_ = nullptr;
    QDoubleSpinBox* seconds_ = nullptr;
    QComboBox* reference_ = nullptr;
    QComboBox* smoothing_ = nullptr;
    QFormLayout* planForm_ = nullptr;
    LogSweepView* logView_ = nullptr;
    const void* shownLog_ = nullptr;  // the log sweep result the view shows
    QLabel* problem_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* export_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTableWidget* table_ = nullptr;
    SweepPlot* plot_ = nullptr;
};

}  // namespace varmolen
