#include "display/ColumnSpans.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace varmolen {

namespace {

constexpr int kBits = 64;

// The first column from `x` on whose bit is `set`, or `columns` when none is.
int nextWith(const std::vector<std::uint64_t>& bits, int x, int columns, bool set)
{
    if (x >= columns)
        return columns;
    auto w = static_cast<std::size_t>(x / kBits);
    std::uint64_t word = (set ? bits[w] : ~bits[w]) & (~std::uint64_t{0} << (x % kBits));
    while (word == 0) {
        if (++w == bits.size())
            return columns;
        word = set ? bits[w] : ~bits[w];
    }
    return std::min(columns, static_cast<int>(w) * kBits + __builtin_ctzll(word));
}

}  // namespace

void ColumnSpans::resize(int width, int height)
{
    width_ = width;
    height_ = height;
    beginsAt_.assign(static_cast<std::size_t>(height) + 1, -1);
    endedBefore_.assign(static_cast<std::size_t>(height) + 1, -1);
    nextBegin_.assign(static_cast<std::size_t>(width), -1);
    nextEnd_.assign(static_cast<std::size_t>(width), -1);
    penRow_.assign(static_cast<std::size_t>(width), 0);
    covered_.assign(static_cast<std::size_t>(width + kBits - 1) / kBits, 0);
}

bool ColumnSpans::fill(std::uint32_t* pixels, const int* top, const int* bottom, int columns, std::uint32_t word)
{
    columns = std::min(columns, width_);
    int first = height_;
    int last = -1;
    for (int x = 0; x < columns; ++x) {
        const int from = std::max(top[x], 0);
        const int to = std::min(bottom[x], height_ - 1);
        if (from > to)
            continue;
        const auto column = static_cast<std::size_t>(x);
        nextBegin_[column] = std::exchange(beginsAt_[static_cast<std::size_t>(from)], x);
        nextEnd_[column] = std::exchange(endedBefore_[static_cast<std::size_t>(to) + 1], x);
        first = std::min(first, from);
        last = std::max(last, to);
    }
    if (first > last)
        return false;
    std::fill(covered_.begin(), covered_.end(), 0);
    // Runs are copied from a row of the word: the library's block copy
    // stores several pixels at once, a word loop one.
    std::fill(penRow_.begin(), penRow_.end(), word);
    const auto bit = [](int x) { return std::uint64_t{1} << (x % kBits); };
    for (int y = first; y <= last; ++y) {
        const auto at = static_cast<std::size_t>(y);
        for (int x = std::exchange(beginsAt_[at], -1); x >= 0; x = nextBegin_[static_cast<std::size_t>(x)])
            covered_[static_cast<std::size_t>(x / kBits)] |= bit(x);
        for (int x = std::exchange(endedBefore_[at], -1); x >= 0; x = nextEnd_[static_cast<std::size_t>(x)])
            covered_[static_cast<std::size_t>(x / kBits)] &= ~bit(x);
        std::uint32_t* const row = pixels + at * static_cast<std::size_t>(width_);
        for (int x = nextWith(covered_, 0, columns, true); x < columns;) {
            const int end = nextWith(covered_, x, columns, false);
            std::memcpy(row + x, penRow_.data(), static_cast<std::size_t>(end - x) * sizeof(std::uint32_t));
            x = nextWith(covered_, end, columns, true);
        }
    }
    endedBefore_[static_cast<std::size_t>(last) + 1] = -1;
    return true;
}

}  // namespace varmolen
