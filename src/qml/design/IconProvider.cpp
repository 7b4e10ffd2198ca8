#include "qml/design/IconProvider.h"

#include "qml/design/IconTable.h"

#include <QColor>
#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

namespace lumora {

IconProvider::IconProvider()
    : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage IconProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    const qsizetype slash = id.lastIndexOf(QLatin1Char('/'));
    const QString symbol = id.left(slash);
    QColor colour(QLatin1Char('#') + id.mid(slash + 1));
    if (!colour.isValid())
        colour = Qt::black;

    const QSize target = requestedSize.isValid() && !requestedSize.isEmpty() ? requestedSize : QSize(24, 24);
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QFile file(iconResource(symbol));
    if (file.open(QIODevice::ReadOnly)) {
        QByteArray svg = file.readAll();
        svg.replace("currentColor", colour.name(QColor::HexRgb).toLatin1());
        QSvgRenderer renderer(svg);
        QPainter painter(&image);
        painter.setOpacity(colour.alphaF());
        renderer.render(&painter);
    }
    if (size)
        *size = target;
    return image;
}

} // namespace lumora
