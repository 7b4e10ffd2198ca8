#include "app/PanelPlacement.h"

#include <algorithm>

namespace lumora {

QPoint panelPosition(const QRect& icon, const QSize& panel, const QRect& screen, bool rightToLeft) {
    constexpr int gap = 4;
    QPoint at;
    if (icon.isValid() && !icon.isEmpty()) {
        at.setX(icon.center().x() - panel.width() / 2);
        const bool iconInUpperHalf = icon.center().y() < screen.center().y();
        at.setY(iconInUpperHalf ? icon.bottom() + 1 + gap : icon.top() - gap - panel.height());
    } else {
        at.setX(rightToLeft ? screen.left() + gap : screen.right() + 1 - gap - panel.width());
        at.setY(screen.top() + gap);
    }
    // A panel larger than the screen keeps its top-left corner visible.
    at.setX(std::max(screen.left(), std::min(at.x(), screen.right() + 1 - panel.width())));
    at.setY(std::max(screen.top(), std::min(at.y(), screen.bottom() + 1 - panel.height())));
    return at;
}

} // namespace lumora
