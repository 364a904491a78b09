// Display > Size and Display > Axis Labels: the display at the instrument's
// own 513 x 343, at twice that, or filling the room the panel leaves in a
// window with a resizable border; the labelled axes around it. The bitmap is
// drawn at the display's own resolution in device pixels; markers, cursor
// and readouts keep their columns at every size (display/DisplayScale.h).
// At Large the window stays inside the screen it is on: where the screen
// has no room for it, the display takes the largest size that fits, and
// the menu says so.
#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <cmath>

#include "display/DisplayPass.h"
#include "panel/AxisLabelBand.h"
#include "panel/FrontPanel.h"
#include "panel/widgets/PaintBox.h"
#include "window/MeasureControls.h"
#include "window/Varmolen2.h"
#include "window/Menus.h"

namespace varmolen {

namespace {

void chooseSize(TScopeForm& form, std::int32_t size)
{
    form.state().features.displaySize = size;
    form.applyDisplaySize();
}

QMargins labelMargins(const FeatureSettings& f) { return axisLabelsShown(f) ? AxisLabelBand::margins() : QMargins(); }

// The border the window manager has put round `window`: none is known
// before the window is first shown.
QMargins frameOf(const QWidget& window)
{
    const QWindow* handle = window.windowHandle();
    return handle != nullptr ? handle->frameMargins() : QMargins();
}

// Moves a shown window whose frame reaches past its screen's room for
// windows back inside it, as far as it fits there.
void keepInsideScreen(QWidget& window)
{
    const QScreen* where = window.screen();
    if (where == nullptr || !window.isVisible())
        return;
    const QRect room = where->availableGeometry();
    const QRect frame = window.frameGeometry();
    if (room.contains(frame))
        return;
    const int x = std::max(room.left(), std::min(frame.left(), room.right() + 1 - frame.width()));
    const int y = std::max(room.top(), std::min(frame.top(), room.bottom() + 1 - frame.height()));
    window.move(x, y);
}

}  // namespace

void MenuCommands::SizeNormal1Click(QObject* /*sender*/) { chooseSize(window_, kNormalDisplaySize); }
void MenuCommands::SizeLarge1Click(QObject* /*sender*/) { chooseSize(window_, kLargeDisplaySize); }
void MenuCommands::SizeFit1Click(QObject* /*sender*/) { chooseSize(window_, kFitDisplaySize); }

void MenuCommands::AxisLabels1Click(QObject* /*sender*/)
{
    settings_.features.axisLabels = controls_.displayMenu.AxisLabels1->isChecked() ? kAxisLabelsOn : kAxisLabelsOff;
    window_.applyDisplaySize();
}

void TScopeForm::applyDisplaySize() { layOutDisplay(true); }

void TScopeForm::layOutDisplay(bool keepOnScreen)
{
    watchScreen();
    FeatureSettings& f = state().features;
    if (f.displaySize < kNormalDisplaySize || f.displaySize > kFitDisplaySize)
        f.displaySize = kNormalDisplaySize;
    const DisplayMenu& menu = controls_.displayMenu;
    (f.displaySize == kLargeDisplaySize ? menu.SizeLarge1
     : f.displaySize == kFitDisplaySize ? menu.SizeFit1
                                        : menu.SizeNormal1)
        ->setChecked(true);
    menu.AxisLabels1->setChecked(axisLabelsShown(f));
    const QMargins labels = labelMargins(f);
    const bool fit = f.displaySize == kFitDisplaySize;
    bool reduced = false;

    sizing_ = true;
    // Only a window whose display fits it has a resizable border.
    const bool wasVisible = isVisible();
    const Qt::WindowFlags before = windowFlags();
    setWindowFlag(Qt::WindowMaximizeButtonHint, fit);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, !fit);
    if (windowFlags() != before && wasVisible)
        show();
    QWidget* central = centralWidget();
    if (fit) {
        layOutFrontPanel(controls_, central, displayBox_, labels, false);
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        const QSize least = minimumSizeHint();
        setMinimumSize(least);
        if (f.fitWidth > 0 && f.fitHeight > 0)
            resize(std::max(f.fitWidth, least.width()), std::max(f.fitHeight, least.height()));
        else
            resize(std::max(width(), least.width()), std::max(height(), least.height()));
    } else {
        QSize box = displayBoxSize(f.displaySize);
        layOutFrontPanel(controls_, central, box, labels, true);
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (f.displaySize == kLargeDisplaySize) {
            // Everything around the display keeps its size whatever the
            // box: the window less the box at Large is what the screen must
            // hold beside the display.
            fittedFrame_ = frameOf(*this);
            const QScreen* where = screen();
            if (where != nullptr) {
                const LargeBoxFit fitted =
                    fitLargeDisplayBox(where->availableGeometry().size(), fittedFrame_, sizeHint() - box);
                reduced = fitted.reduced;
                if (fitted.box != box) {
                    box = fitted.box;
                    layOutFrontPanel(controls_, central, box, labels, true);
                }
            }
        }
        adjustSize();
        setFixedSize(sizeHint());
        sizeDisplay(box);
    }
    sizing_ = false;
    menu.SizeLarge1->setText(largeSizeCaption(reduced));
    if (keepOnScreen && f.displaySize == kLargeDisplaySize)
        keepInsideScreen(*this);
    if (fit) {
        central->installEventFilter(this);
        fitDisplayToPanel();
    } else {
        central->removeEventFilter(this);
    }
    if (measure_)
        measure_->windowSized();
}

bool TScopeForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize && !sizing_ &&
        state().features.displaySize == kFitDisplaySize) {
        fitDisplayToPanel();
        if (measure_)
            measure_->windowSized();
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TScopeForm::event(QEvent* event)
{
    const bool done = QMainWindow::event(event);
    switch (event->type()) {
        case QEvent::Show:
            watchScreen();
            [[fallthrough]];
        case QEvent::Move:
            // The window manager's frame is known once it has shown and
            // placed the window.
            if (frameOf(*this) != fittedFrame_)
                refitLarge(true);
            break;
        case QEvent::ContentsRectChange:
            // The measurement strip came or went below the status bar: once
            // the window has taken its new height, it must still fit.
            refitLargeSoon(true);
            break;
        default:
            break;
    }
    return done;
}

void TScopeForm::watchScreen()
{
    QWindow* handle = windowHandle();
    if (handle != nullptr && handle != watchedWindow_) {
        watchedWindow_ = handle;
        // A window dragged onto another screen takes the size that fits
        // there; where it is placed stays the user's. The platform may
        // still be moving the window when it says so.
        connect(handle, &QWindow::screenChanged, this, [this] {
            watchScreen();
            refitLargeSoon(false);
        });
    }
    QScreen* where = screen();
    if (where != watchedScreen_) {
        disconnect(roomWatch_);
        watchedScreen_ = where;
        if (where != nullptr)
            roomWatch_ = connect(where, &QScreen::availableGeometryChanged, this, [this] { refitLarge(true); });
    }
}

void TScopeForm::refitLarge(bool keepOnScreen)
{
    if (state().features.displaySize == kLargeDisplaySize && !sizing_ && !closing_)
        layOutDisplay(keepOnScreen);
}

void TScopeForm::refitLargeSoon(bool keepOnScreen)
{
    refitKeepsOnScreen_ = refitKeepsOnScreen_ || keepOnScreen;
    if (refitPending_)
        return;
    refitPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            const bool keep = refitKeepsOnScreen_;
            refitPending_ = false;
            refitKeepsOnScreen_ = false;
            refitLarge(keep);
        },
        Qt::QueuedConnection);
}

void TScopeForm::fitDisplayToPanel()
{
    FeatureSettings& f = state().features;
    const QMargins labels = labelMargins(f);
    const QSize box = displayBoxForPanel(centralWidget()->size(), labels);
    // The window's own size, without the measurement strip's margin, which
    // the strip adds again when it is shown at the next start.
    if (!isMaximized() && !isFullScreen()) {
        f.fitWidth = width();
        f.fitHeight = height() - contentsMargins().bottom();
    }
    sizing_ = true;
    layOutFrontPanel(controls_, centralWidget(), box, labels, false);
    sizing_ = false;
    sizeDisplay(box);
}

void TScopeForm::sizeDisplay(QSize box)
{
    // The bitmap in device pixels: sharp on a screen with more pixels than points.
    const qreal ratio = std::max<qreal>(1.0, devicePixelRatioF());
    const int width = static_cast<int>(std::lround(box.width() * ratio));
    const int height = static_cast<int>(std::lround(box.height() * ratio));
    displayBox_ = box;
    Raster& bitmap = *displayBitmap_;
    if (bitmap.width() != width || bitmap.height() != height) {
        bitmap.resize(width, height);
        InstrumentState& s = state();
        if (s.keptBlocks[0].valid == 1 || s.keptBlocks[1].valid == 1) {
            showPicture(runRedrawPass(s, s, s, bitmap));
        } else {
            // No block drawn yet: the start picture, as the window opens.
            bitmap.setPenWidth(1);
            bitmap.setPenColor(colour::kWhite);
            bitmap.setBrushColor(colour::kWhite);
            bitmap.Rectangle(0, 0, 512, s.clearHeight);
            showPicture(spectrumBoxShowsHint_);
        }
    }
    refreshAxisLabels();
}

void TScopeForm::refreshAxisLabels()
{
    AxisLabelBand* band = controls_.screen.AxisLabels;
    if (band == nullptr || band->isHidden())
        return;
    band->refresh(state(), decimalSeparator());
}

}  // namespace varmolen
