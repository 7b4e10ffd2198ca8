#include "LmTypography.h"

#include <cmath>

namespace lumora {

QStringList LmTypography::families() {
    return {QStringLiteral("Noto Sans"), QStringLiteral("Noto Sans Arabic"),
            QStringLiteral("Noto Color Emoji")};
}

QFont LmTypography::font(qreal pixelSize, int weight) {
    QFont font;
    font.setFamilies(families());
    font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    font.setWeight(QFont::Weight(weight));
    return font;
}

} // namespace lumora
