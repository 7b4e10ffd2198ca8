#pragma once

#include <QQuickImageProvider>

namespace lumora {

// Serves "image://lmicon/<symbol>/<colour>" (colour as QML writes it, without '#'): the symbol's
// icon drawn in that colour. The icons are outlines in `currentColor`, so tinting is a substitution.
class IconProvider : public QQuickImageProvider {
public:
    static constexpr auto name = "lmicon";

    IconProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

} // namespace lumora
