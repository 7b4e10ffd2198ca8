#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

namespace lumora {

// The colour scheme in effect in every window, "light" or "dark". The application sets it from the
// appearance preference; the palette's scheme tokens (LmColor.foreground, …) follow it, so no
// control reads the preference itself.
class LmTheme : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString scheme READ scheme NOTIFY schemeChanged)

public:
    static LmTheme* instance();
    static LmTheme* create(QQmlEngine*, QJSEngine*);

    QString scheme() const { return m_scheme; }
    void setScheme(const QString& scheme);

Q_SIGNALS:
    void schemeChanged();

private:
    LmTheme() = default; // QML must take the one instance from `create`

    QString m_scheme = QStringLiteral("light");
};

} // namespace lumora
