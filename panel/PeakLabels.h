// The strip's peak frequency beside the tallest peak of the FREQUENCY
// display: one small label per channel, a child of the display's paint box,
// drawn by the toolkit over the bitmap, which stays exactly as the display
// drew it (saved, copied and exported without the labels). They take no
// mouse input and no focus, so the markers are dragged through them, and
// they show only while the measurement strip does, in the FREQUENCY display.
#pragma once

#include <QString>

#include <array>

class QLabel;
class QWidget;

namespace varmolen {

class Raster;
struct InstrumentState;

class PeakLabels {
public:
    // Gap between the drawn peak and its label, in pixels.
    static constexpr int kGap = 4;

    explicit PeakLabels(QWidget* display);

    // Channel 1 or 2: shows `text` beside the peak the display drew for a
    // tone at `hz` in the channel's colour, or hides the label when `shown`
    // is false, the peak lies off the display or is not drawn.
    void place(const InstrumentState& s, const Raster& picture, int channel, bool shown, double hz,
               const QString& text);
    void hideAll();

    QLabel* label(int channel) const;

private:
    std::array<QLabel*, 2> labels_{};
};

}  // namespace varmolen
