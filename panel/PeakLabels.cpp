#include "panel/PeakLabels.h"

#include <QFont>
#include <QLabel>
#include <QPalette>

#include <algorithm>

#include "app/InstrumentState.h"
#include "display/PeakMark.h"
#include "display/Raster.h"

namespace varmolen {

namespace {

QColor colourOf(std::uint32_t word)
{
    return QColor(static_cast<int>(word & 0xFFu), static_cast<int>((word >> 8) & 0xFFu),
                  static_cast<int>((word >> 16) & 0xFFu));
}

// The display's background colour word, as the display pass clears it.
std::uint32_t backgroundOf(const InstrumentState& s)
{
    switch (s.backgroundScheme) {
    case 2:
        return static_cast<std::uint32_t>(colour::black);
    case 3:
        return static_cast<std::uint32_t>(colour::teal);
    default:
        return static_cast<std::uint32_t>(colour::white);
    }
}

}  // namespace

PeakLabels::PeakLabels(QWidget* display)
{
    for (int channel = 1; channel <= 2; ++channel) {
        auto* label = new QLabel(display);
        label->setObjectName(QStringLiteral("Chan%1PeakLabel").arg(channel));
        label->setAccessibleDescription(QStringLiteral("Channel %1 peak frequency").arg(channel));
        label->setTextFormat(Qt::PlainText);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setFocusPolicy(Qt::NoFocus);
        label->setAutoFillBackground(true);
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        label->setMargin(1);
        QFont f = label->font();
        f.setPointSizeF(f.pointSizeF() * 0.85);
        label->setFont(f);
        label->hide();
        labels_[static_cast<std::size_t>(channel - 1)] = label;
    }
}

QLabel* PeakLabels::label(int channel) const
{
    return channel == 1 || channel == 2 ? labels_[static_cast<std::size_t>(channel - 1)] : nullptr;
}

void PeakLabels::hideAll()
{
    for (QLabel* label : labels_)
        label->hide();
}

void PeakLabels::place(const InstrumentState& s, const Raster& picture, int channel, bool shown, double hz,
                       const QString& text)
{
    QLabel* label = this->label(channel);
    if (label == nullptr)
        return;
    const auto colour = static_cast<std::uint32_t>(channel == 1 ? s.chan1Color : s.chan2Color) & 0xFFFFFFu;
    const std::optional<DrawnPeak> peak =
        shown ? FindDrawnPeak(s, picture, hz, colour) : std::optional<DrawnPeak>{};
    if (!peak) {
        label->hide();
        return;
    }
    if (label->text() != text)
        label->setText(text);
    // The channel's colour on the display's ground, as its trace is drawn.
    const QColor ink = colourOf(colour);
    const QColor ground = colourOf(backgroundOf(s));
    QPalette p = label->palette();
    if (p.color(QPalette::WindowText) != ink || p.color(QPalette::Window) != ground) {
        p.setColor(QPalette::WindowText, ink);
        p.setColor(QPalette::Window, ground);
        label->setPalette(p);
    }
    const QSize size = label->sizeHint();
    // Right of the peak, its middle on the peak's top; left of it where the
    // display ends first. Always inside the display.
    int x = peak->column + kGap;
    if (x + size.width() > Raster::kWidth)
        x = peak->column - kGap - size.width();
    int y = std::clamp(peak->row - size.height() / 2, 0, Raster::kHeight - size.height());
    // The other channel's label, where they would overlap, keeps its place.
    if (channel == 2) {
        const QLabel* other = labels_[0];
        const QRect mine(x, y, size.width(), size.height());
        if (other->isVisible() && other->geometry().intersects(mine))
            y = other->geometry().bottom() + 2 + size.height() <= Raster::kHeight ? other->geometry().bottom() + 2
                                                                                 : other->geometry().top() - 2 -
                                                                                       size.height();
    }
    label->setGeometry(x, y, size.width(), size.height());
    label->show();
}

}  // namespace varmolen
