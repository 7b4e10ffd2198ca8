#pragma once

#include <QFont>
#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace lumora {

// The type scale. Every token is the application's font family list (so Arabic and colour emoji
// resolve to Noto rather than whatever fontconfig tries first) at a fixed pixel size and weight.
class LmTypography : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QFont brandDisplay READ brandDisplay CONSTANT)
    Q_PROPERTY(QFont title READ title CONSTANT)
    Q_PROPERTY(QFont headline READ headline CONSTANT)
    Q_PROPERTY(QFont body READ body CONSTANT)
    Q_PROPERTY(QFont callout READ callout CONSTANT)
    Q_PROPERTY(QFont caption READ caption CONSTANT)
    Q_PROPERTY(QFont micro READ micro CONSTANT)

public:
    using QObject::QObject;

    static QStringList families();
    Q_INVOKABLE static QFont font(qreal pixelSize, int weight = QFont::Normal);

    // One line of `font`'s first family, rounded up: what fields, rows and tabs are sized by, so a
    // fallback font with a taller line (Arabic) does not make one of them taller than its neighbours.
    Q_INVOKABLE static int lineHeight(const QFont& font);
    Q_INVOKABLE static qreal lineSpacing(const QFont& font);
    // The tallest line any of the font's families needs: room enough that no glyph is cut.
    Q_INVOKABLE static int tallestLineHeight(const QFont& font);

    static QFont brandDisplay() { return font(28, QFont::DemiBold); }
    static QFont title() { return font(18, QFont::DemiBold); }
    static QFont headline() { return font(15, QFont::DemiBold); }
    static QFont body() { return font(13, QFont::Normal); }
    static QFont callout() { return font(12, QFont::Medium); }
    static QFont caption() { return font(11, QFont::Normal); }
    static QFont micro() { return font(10, QFont::Medium); }
};

} // namespace lumora
