#include "qml/design/LmTypography.h"

#include <QFontMetricsF>

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

int LmTypography::lineHeight(const QFont& font) {
    return int(std::ceil(QFontMetricsF(font).height()));
}

qreal LmTypography::lineSpacing(const QFont& font) {
    return QFontMetricsF(font).lineSpacing();
}

int LmTypography::tallestLineHeight(const QFont& font) {
    qreal tallest = 0;
    for (const QString& family : font.families()) {
        QFont one = font;
        one.setFamilies({family});
        tallest = std::max(tallest, QFontMetricsF(one).height());
    }
    return int(std::ceil(tallest));
}

} // namespace lumora
