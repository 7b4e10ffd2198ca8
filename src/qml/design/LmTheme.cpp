#include "qml/design/LmTheme.h"

#include <QJSEngine>

namespace lumora {

LmTheme* LmTheme::instance() {
    static LmTheme* theme = new LmTheme; // one scheme for every engine of the process
    return theme;
}

LmTheme* LmTheme::create(QQmlEngine*, QJSEngine*) {
    QJSEngine::setObjectOwnership(instance(), QJSEngine::CppOwnership);
    return instance();
}

void LmTheme::setScheme(const QString& scheme) {
    if (scheme == m_scheme)
        return;
    m_scheme = scheme;
    Q_EMIT schemeChanged();
}

} // namespace lumora
