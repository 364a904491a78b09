#include "panel/widgets/TrackBar.h"

#include <algorithm>
#include <cmath>

#include "panel/widgets/PanelAccessibility.h"

namespace varmolen {

TrackBar::TrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) { installPanelAccessibility(); }

void TrackBar::setPositions(const QStringList& names, const QList<double>& numbers)
{
    const qsizetype n = std::min(names.size(), numbers.size());
    names_ = names.mid(0, n);
    numbers_ = numbers.mid(0, n);
    setRange(0, std::max<int>(0, static_cast<int>(n) - 1));
}

QString TrackBar::positionName(int position) const
{
    return position >= 0 && position < names_.size() ? names_.at(position) : QString();
}

double TrackBar::positionNumber(int position) const
{
    return position >= 0 && position < numbers_.size() ? numbers_.at(position) : 0.0;
}

int TrackBar::positionNearest(double number) const
{
    int best = 0;
    for (int i = 1; i < numbers_.size(); ++i) {
        if (std::abs(numbers_.at(i) - number) < std::abs(numbers_.at(best) - number))
            best = i;
    }
    return best;
}

}  // namespace varmolen
