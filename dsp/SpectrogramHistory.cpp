#include "dsp/SpectrogramHistory.h"

#include <algorithm>

namespace varmolen {

void SpectrogramHistory::reset(int columns, int rows)
{
    columns_ = std::max(columns, 1);
    capacity_ = std::max(rows, 1);
    levels_.assign(static_cast<std::size_t>(capacity_) * static_cast<std::size_t>(columns_), 0.0f);
    times_.assign(static_cast<std::size_t>(capacity_), 0.0);
    clear();
}

void SpectrogramHistory::clear()
{
    size_ = 0;
    newest_ = -1;
}

void SpectrogramHistory::append(const float* levels, double seconds)
{
    if (capacity_ == 0)
        return;  // never reset: no room
    newest_ = newest_ + 1 == capacity_ ? 0 : newest_ + 1;
    const auto slot = static_cast<std::size_t>(newest_);
    std::copy(levels, levels + columns_, levels_.begin() + static_cast<std::ptrdiff_t>(slot * columns_));
    times_[slot] = seconds;
    size_ = std::min(size_ + 1, capacity_);
}

std::size_t SpectrogramHistory::slotOf(int ago) const
{
    const int slot = newest_ - ago;
    return static_cast<std::size_t>(slot < 0 ? slot + capacity_ : slot);
}

const float* SpectrogramHistory::row(int ago) const
{
    return levels_.data() + slotOf(ago) * static_cast<std::size_t>(columns_);
}

double SpectrogramHistory::seconds(int ago) const { return times_[slotOf(ago)]; }

int SpectrogramHistory::rowAt(double seconds) const
{
    // Times fall from the newest row to the oldest: the first row at or
    // before `seconds`, by halving.
    int lo = 0;
    int hi = size_;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (this->seconds(mid) <= seconds)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo < size_ ? lo : -1;
}

}  // namespace varmolen
