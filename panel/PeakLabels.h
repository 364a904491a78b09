// The strip's peak frequency beside the tallest peak of the FREQUENCY
// display: one small tag per channel, a child of the display's paint box,
// drawn by the toolkit over the bitmap, which stays exactly as the display
// drew it (saved, copied and exported without the tags). A tag takes no
// mouse input and no focus, so the markers are dragged through it, and shows
// only while the measurement strip does, in the FREQUENCY display. Its text
// is drawn once into an image of its own whenever it changes: the display
// repaints the rows under it at every block, and a tag then costs one copy of
// that small image.
#pragma once

#include <QString>

#include <array>

class QWidget;

namespace varmolen {

class Raster;
struct InstrumentSettings;
struct InstrumentView;
class PeakTag;

class PeakLabels {
public:
    // Gap between the drawn peak and its tag, in pixels.
    static constexpr int kGap = 4;

    explicit PeakLabels(QWidget* display);

    // Channel 1 or 2: shows `text` beside the peak the display drew for a
    // tone at `hz` in the channel's colour, or hides the tag when `shown` is
    // false, the peak lies off the display or is not drawn.
    void place(const InstrumentSettings& s, const InstrumentView& view, const Raster& picture, int channel, bool shown,
               double hz, const QString& text);
    void hideAll();

    // Channel 1 or 2's tag and the text it shows; nullptr for another channel.
    QWidget* label(int channel) const;
    QString text(int channel) const;

private:
    std::array<PeakTag*, 2> tags_{};
};

}  // namespace varmolen
