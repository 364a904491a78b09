// The dotted frame a panel control draws round itself while it has the
// keyboard focus, the same on the dial, the rocker and the lever switch, so
// the control the keys work shows the same way wherever it is.
#pragma once

class QPainter;
class QWidget;

namespace varmolen {

// Paints the frame along the edge of `control` with `p` (a painter on the
// control) when the control has the focus; paints nothing otherwise. Call it
// last in a paint event: it leaves the painter drawing without antialiasing,
// a dotted pen and no brush.
void paintFocusFrame(QPainter& p, const QWidget& control);

}  // namespace varmolen
