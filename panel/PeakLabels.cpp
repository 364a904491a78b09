#include "panel/PeakLabels.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <optional>

#include "state/InstrumentState.h"
#include "display/PeakMark.h"
#include "display/Raster.h"
#include "panel/FrontPanel.h"

namespace varmolen {

// A framed text in the channel's colour on the display's ground, kept as an image.
class PeakTag : public QWidget {
public:
    explicit PeakTag(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        // Deliberately not an opaque widget, although it paints every pixel:
        // the toolkit cuts opaque children out of the display's repaint, and
        // a display clipped to a region with holes is drawn span by span on
        // the toolkit's thread pool, which cost more than the whole strip.
        // As it is, the display copies its rows as a plain rectangle and the
        // tag paints itself over them. Where the display sends its rows to
        // the X server itself, they go round the tag, which the toolkit
        // repaints only when it changes: that needs every pixel painted.
        setFocusPolicy(Qt::NoFocus);
        QFont f = font();
        f.setPointSizeF(f.pointSizeF() * 0.85);
        setFont(f);
    }

    const QString& text() const { return text_; }

    // Draws the image again only when the text or a colour changed.
    void show(const QString& text, const QColor& ink, const QColor& ground)
    {
        if (text != text_ || ink != ink_ || ground != ground_ || image_.isNull()) {
            text_ = text;
            ink_ = ink;
            ground_ = ground;
            const QFontMetrics metrics(font());
            const QSize size(metrics.horizontalAdvance(text) + 6, metrics.height() + 2);
            image_ = QImage(size, QImage::Format_RGB32);
            image_.fill(ground);
            QPainter p(&image_);
            p.setPen(ink);
            p.setFont(font());
            p.drawRect(0, 0, size.width() - 1, size.height() - 1);
            p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, text);
            resize(size);
            update();
        }
        QWidget::show();
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(this);
        p.drawImage(event->rect().topLeft(), image_, event->rect());
    }

private:
    QString text_;
    QColor ink_;
    QColor ground_;
    QImage image_;
};

PeakLabels::PeakLabels(QWidget* display)
{
    for (int channel = 1; channel <= 2; ++channel) {
        auto* tag = new PeakTag(display);
        tag->setObjectName(QStringLiteral("Chan%1PeakLabel").arg(channel));
        tag->setAccessibleName(QStringLiteral("Channel %1 peak frequency").arg(channel));
        tag->hide();
        tags_[static_cast<std::size_t>(channel - 1)] = tag;
    }
}

QWidget* PeakLabels::label(int channel) const
{
    return channel == 1 || channel == 2 ? tags_[static_cast<std::size_t>(channel - 1)] : nullptr;
}

QString PeakLabels::text(int channel) const
{
    return channel == 1 || channel == 2 ? tags_[static_cast<std::size_t>(channel - 1)]->text() : QString();
}

void PeakLabels::hideAll()
{
    for (PeakTag* tag : tags_)
        tag->hide();
}

void PeakLabels::place(const InstrumentSettings& s, const InstrumentView& view, const Raster& picture, int channel,
                       bool shown, double hz, const QString& text)
{
    if (channel != 1 && channel != 2)
        return;
    PeakTag* tag = tags_[static_cast<std::size_t>(channel - 1)];
    const auto colour = static_cast<std::uint32_t>(channelSettings(s, channel).color()) & 0xFFFFFFu;
    const std::optional<DrawnPeak> peak =
        shown ? findDrawnPeak(s, view, picture, hz, colour) : std::optional<DrawnPeak>{};
    if (!peak) {
        tag->hide();
        return;
    }
    tag->show(text, colourOf(static_cast<std::int32_t>(colour)), colourOf(backgroundColour(s.backgroundScheme)));
    const QSize size = tag->size();
    // Right of the peak, its middle on the peak's top; left of it where the
    // display ends first. Always inside the display. The bitmap may have more
    // pixels than the box has points (a larger display drawn in device pixels).
    const QWidget* box = tag->parentWidget();
    const int boxWidth = box != nullptr ? box->width() : picture.width();
    const int boxHeight = box != nullptr ? box->height() : picture.height();
    const int peakX = peak->column * boxWidth / std::max(1, picture.width());
    const int peakY = peak->row * boxHeight / std::max(1, picture.height());
    int x = peakX + kGap;
    if (x + size.width() > boxWidth)
        x = peakX - kGap - size.width();
    int y = std::clamp(peakY - size.height() / 2, 0, std::max(0, boxHeight - size.height()));
    // Where channel 2's tag would cover channel 1's, it goes below it (above
    // it at the bottom of the display).
    if (channel == 2) {
        const QRect other = tags_[0]->geometry();
        if (tags_[0]->isVisible() && other.intersects(QRect(x, y, size.width(), size.height())))
            y = other.bottom() + 2 + size.height() <= boxHeight ? other.bottom() + 2 : other.top() - 2 - size.height();
    }
    tag->move(x, y);
}

}  // namespace varmolen
