// The log sweep's part of the sweep window: the magnitude over frequency,
// below it the phase, the group delay, the harmonic responses or the
// impulse response, the last sweep and every kept measurement overlaid in
// colours of their own with a legend; the list of kept measurements (named,
// shown or hidden) and their buttons; the path's delay; and a table of the
// last sweep's points that the accessibility bus reads.
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace varmolen {

class GeneratorPanel;
class QtHost;
class ResponseChart;
struct InstrumentSettings;

class LogSweepView : public QWidget {
public:
    LogSweepView(QWidget* parent, const InstrumentSettings& settings, QtHost& host, GeneratorPanel& panel);

    // The curves, the list and the table afresh.
    void showResult();

    ResponseChart* magnitudeChart() const { return magnitude_; }
    ResponseChart* lowerChart() const { return lower_; }
    QComboBox* lowerView() const { return lowerView_; }
    QListWidget* keptList() const { return kept_; }
    QTableWidget* table() const { return table_; }
    QLabel* delay() const { return delay_; }
    QPushButton* keepButton() const { return keep_; }

private:
    void showCurves();
    void showList();
    void keep();
    void remove();
    void save();
    void load();
    void useAsReference();
    void exportImpulse();
    // The kept measurement the list has selected: -1 for the last sweep or none.
    int selectedKept() const;

    const InstrumentSettings& settings_;
    QtHost& host_;
    GeneratorPanel& panel_;
    ResponseChart* magnitude_ = nullptr;
    ResponseChart* lower_ = nullptr;
    QComboBox* lowerView_ = nullptr;
    QListWidget* kept_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* delay_ = nullptr;
    QPushButton* keep_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* reference_ = nullptr;
    QPushButton* impulse_ = nullptr;
    bool listing_ = false;  // the list is being filled: its changes are not the user's
};

}  // namespace varmolen
