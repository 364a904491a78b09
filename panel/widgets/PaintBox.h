// The widget that shows the display bitmap and passes on what the pointer
// and the keyboard do over it.
#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

#include "display/Raster.h"
#include "panel/widgets/ShmPresenter.h"

namespace varmolen {

// The paint box that shows the display bitmap: it paints an RGB32 view of the
// bitmap's own memory, so a held picture survives every repaint. It takes
// the keyboard by Tab only (a click leaves the focus where it is) and passes
// on the keys that work the markers: Left, Right, M and Space.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    TPaintBox(const Raster& bitmap, QWidget* parent);
    ~TPaintBox() override;

    // Keeps `bitmap` (the one this box shows) in memory shared with the X
    // server when the session has one that can take it, so that a pass's rows
    // go to the screen without a copy (ShmPresenter). The bitmap must not
    // outlive the box.
    void shareWithServer(Raster& bitmap);

    // A display pass has drawn the bitmap and changed `band`'s rows (maybe
    // none): they are sent to the screen, or repainted.
    void showPass(const RowBand& band);

signals:
    // x is the display column under the pointer (the pixel at the display's
    // own size), y the pixel row.
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseMoved(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void keyPressed(int key, Qt::KeyboardModifiers modifiers);
    void keyboardFocusChanged(bool focused);
    // The keyboard came to the display (after keyboardFocusChanged(true)).
    void keyboardEntered();
    void mouseLeft();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int columnAt(int x) const;

    const Raster& bitmap_;
    std::unique_ptr<ShmPresenter> presenter_;
    // The window whose exposures this box watches while it puts rows itself.
    QPointer<QWindow> watched_;
};

}  // namespace varmolen
