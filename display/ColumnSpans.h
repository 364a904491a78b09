// Lays pixel column spans into a bitmap row by row: column x covers the
// rows top[x] to bottom[x]. Each row is written as the runs of columns its
// spans cover, kept from row to row by the columns whose spans begin or end
// there, so a band costs the stores of its pixels and a look at each
// column's two ends rather than a test of every pixel of every row.
#pragma once

#include <cstdint>
#include <vector>

namespace varmolen {

class ColumnSpans {
public:
    // Room for a bitmap of `width` x `height` pixels; the only call that allocates.
    void resize(int width, int height);
    // In `pixels` (`width` a row, `height` rows, as resized) the rows top[x]
    // to bottom[x] of each column x below `columns` get `word` (clipped to
    // the bitmap; none where top[x] > bottom[x]). Returns whether any pixel did.
    bool fill(std::uint32_t* pixels, const int* top, const int* bottom, int columns, std::uint32_t word);

private:
    int width_ = 0;
    int height_ = 0;
    // Per row, the first of a chain of columns whose spans begin there, and
    // of those whose spans ended on the row before (-1: none); per column,
    // the next in its chain. Every chain is empty between two fills.
    std::vector<int> beginsAt_;
    std::vector<int> endedBefore_;
    std::vector<int> nextBegin_;
    std::vector<int> nextEnd_;
    std::vector<std::uint32_t> penRow_;   // a row of the word being laid
    std::vector<std::uint64_t> covered_;  // a bit a column: covered on the row being laid
};

}  // namespace varmolen
