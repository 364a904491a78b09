// Measure > Response Sweep...: the stepped-sine sweep's window (not modal):
// the plan (start, stop, steps per octave, level, channel), Start, Cancel,
// a progress bar, the plot and a table of the rows that the accessibility
// bus reads, and Export CSV. Start runs GeneratorPanel::startSweep, which hands
// the buffers the run loop completes to GeneratorControl while the sweep runs.
#pragma once

#include <QWidget>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace varmolen {

class GeneratorControl;
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

private:
    void chooseExportFile();
    // Start only while no sweep runs and the plan's Start lies below its Stop.
    void enableStart();

    const InstrumentSettings& settings_;
    QtHost& host_;
    GeneratorPanel& panel_;
    GeneratorControl& generator_;
    QDoubleSpinBox* startHz_ = nullptr;
    QDoubleSpinBox* stopHz_ = nullptr;
    QSpinBox* steps_ = nullptr;
    QDoubleSpinBox* level_ = nullptr;
    QComboBox* channel_ = nullptr;
    QLabel* problem_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* export_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTableWidget* table_ = nullptr;
    SweepPlot* plot_ = nullptr;
};

}  // namespace varmolen
