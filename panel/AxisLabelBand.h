// The labelled axes around the display: a band under the display (and a
// narrow margin either side of it) in the display's own background colour,
// with the time at each grid line or round frequencies at their columns,
// and each shown channel's scale per division in its trace colour. It lies
// behind the display's frame and is shown only while the labels are on; at
// the display's own size with the labels off nothing of it is on screen.
#pragma once

#include <QMargins>
#include <QRect>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "display/AxisTicks.h"
#include "state/InstrumentState.h"

namespace varmolen {

class AxisLabelBand : public QWidget {
    Q_OBJECT
public:
    // The room the labels take around the display, in points.
    static QMargins margins();

    explicit AxisLabelBand(QWidget* parent);

    // Where the display's picture lies, in this widget's coordinates.
    void setDisplayRect(const QRect& box);
    // Forms the labels for the state as it stands; repaints only when they
    // changed (called after every display pass and every change of scale).
    void refresh(const InstrumentState& s, char decimalSeparator);

    // What the band shows, for tests: the ticks with their texts, and the
    // channels' scales.
    const std::vector<AxisTick>& ticks() const { return ticks_; }
    const std::vector<std::string>& scales() const { return scales_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The channels' scales of the analyser's level axis (or its spectrogram's colours).
    void analyserScales(const InstrumentState& s, char decimalSeparator);

private:
    // Everything the texts depend on; the band forms them again only when
    // one of these changed.
    struct Inputs {
        std::int32_t displayType, traceMode, scheme;
        std::uint32_t rate;
        std::int32_t span, marker1, marker2, width;
        std::uint8_t expanded, chan1, chan2;
        std::int32_t gain1, gain2, colour1, colour2;
        double volts1, volts2;
        float spectrumScale;
        char separator;
        double perDiv;  // the time base of a picture of the record, 0 for a block's
        AnalyserSettings analyserSettings;
        std::int32_t analyserLength;
        bool analyserShown;  // the analyser's picture is shown
        bool operator==(const Inputs&) const = default;
    };

    QRect box_;
    bool formed_ = false;
    Inputs inputs_{};
    std::vector<AxisTick> ticks_;
    std::string unit_;
    std::vector<std::string> scales_;
    // Levels beside the display, in the right margin, at their display rows:
    // the analyser's level axis at its divisions, or the spectrogram's colour bar.
    std::vector<std::pair<int, std::string>> sideLabels_;
    std::vector<std::int32_t> scaleColours_;
    std::int32_t background_ = 0xFFFFFF;
    std::int32_t ink_ = 0x0000FF;
};

}  // namespace varmolen
