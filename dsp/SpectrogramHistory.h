// The spectrogram's memory: the newest rows of levels across the display's
// columns, one row each time the analyser takes a new transform, each with
// the time of the newest frame it was taken from. A ring of fixed size: only
// reset allocates. Rows come in time order (the analyser clears the history
// when the record's time starts again).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varmolen {

class SpectrogramHistory {
public:
    // Room for `rows` rows of `columns` levels (dB) each, empty. The only
    // call that allocates; columns and rows at least 1.
    void reset(int columns, int rows);
    // Forgets every row, keeping the room.
    void clear();

    int columns() const { return columns_; }
    int capacity() const { return capacity_; }
    int size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // Appends a row of columns() levels taken from frames ending at
    // `seconds` (of the record); the oldest row makes room when full.
    void append(const float* levels, double seconds);

    // The row `ago` rows before the newest (0: the newest), ago < size(),
    // and its time.
    const float* row(int ago) const;
    double seconds(int ago) const;
    // The row whose time is nearest to `seconds` at or before it, as `ago`
    // (the newest when `seconds` is later than every row); -1 when no row is
    // that old or the history is empty.
    int rowAt(double seconds) const;

private:
    // Where the row `ago` rows before the newest lives in the ring.
    std::size_t slotOf(int ago) const;

    std::vector<float> levels_;
    std::vector<double> times_;
    int columns_ = 0;
    int capacity_ = 0;
    int size_ = 0;
    int newest_ = -1;  // slot of the newest row
};

}  // namespace varmolen
