#include "app/TrayBadge.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace lumora {

QString badgeText(std::int64_t count) {
    if (count <= 0)
        return QString();
    return count > 99 ? QStringLiteral("99+") : QString::number(count);
}

QImage withUnreadBadge(QImage icon, std::int64_t count) {
    const QString text = badgeText(count);
    if (text.isEmpty() || icon.isNull())
        return icon;
    icon = icon.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const qreal side = std::min(icon.width(), icon.height());
    // Small icons give the badge a larger share, or the digits would be under 7 px.
    const qreal height = std::round(side * (side <= 24 ? 0.66 : 0.5));
    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(6, int(height * 0.8)));
    // Narrower until it fits the icon's width ("99+" at 16 px).
    qreal textWidth = QFontMetricsF(font).horizontalAdvance(text);
    while (textWidth + height * 0.4 > side && font.pixelSize() > 6) {
        font.setPixelSize(font.pixelSize() - 1);
        textWidth = QFontMetricsF(font).horizontalAdvance(text);
    }
    const qreal width = std::min(side, std::max(height, textWidth + height * 0.4));
    const QRectF badge(icon.width() - width, icon.height() - height, width, height);

    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(QPen(Qt::white, std::max(1.0, side / 24)));
    painter.setBrush(QColor(0xd9, 0x30, 0x25));
    painter.drawRoundedRect(badge.adjusted(0.5, 0.5, -0.5, -0.5), height / 2, height / 2);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, text);
    return icon;
}

} // namespace lumora
