// The measurement strip under the status bar: one row per enabled channel,
// led by a swatch of the channel's trace colour, in the panel's label colour
// on its navy. Each reading is a label of its own whose text is the reading
// alone and whose accessible description says what it is ("Channel 1 RMS"),
// so that a screen reader speaks the reading as the label's name; the
// intermodulation cell's caption and descriptions name the method it was
// read by ("IMD (SMPTE)", "Channel 1 IMD (SMPTE)"). Read-only: nothing in it
// takes the focus.
#pragma once

#include <QFrame>

#include <array>
#include <cstdint>
#include <string>

class QLabel;

namespace varmolen {

struct TimeRowTexts;
struct ToneRowTexts;

class MeasureStrip : public QFrame {
public:
    static constexpr int kRowHeight = 48;
    static constexpr int kHeight = 2 * kRowHeight + 8;

    explicit MeasureStrip(QWidget* parent);

    // Shows channel 1 or 2: hidden when not enabled, otherwise the TIME
    // readings or the FREQUENCY readings (whichever is given). A text that
    // did not change is not set again.
    void showChannel(int channel, bool enabled, std::int32_t colourWord, const TimeRowTexts* time,
                     const ToneRowTexts* tone);

    // The reading label of a channel by its name within the row
    // ("Frequency", "RmsDb", "Thd", ...); nullptr for an unknown name.
    QLabel* reading(int channel, const char* name) const;

private:
    struct Row;
    void build(Row& row, int channel);

    struct Cell {
        QLabel* caption = nullptr;
        QLabel* value = nullptr;
        QLabel* second = nullptr;  // dBFS or dB; hidden while empty
    };
    struct Row {
        QWidget* frame = nullptr;
        QFrame* swatch = nullptr;
        std::int32_t swatchColour = -1;
        QWidget* timeCells = nullptr;
        QWidget* toneCells = nullptr;
        std::array<Cell, 8> time{};
        std::array<Cell, 8> tone{};
        bool overloadLit = false;
        std::string imdMethod;  // what the IMD cell's caption and descriptions name
    };
    std::array<Row, 2> rows_{};
};

}  // namespace varmolen
