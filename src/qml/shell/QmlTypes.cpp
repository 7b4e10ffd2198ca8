#include "qml/shell/QmlTypes.h"

#include <QGuiApplication>

namespace lumora {

void AppStateQml::provide(AppState* state) {
    s_state = state;
}

AppState* AppStateQml::create(QQmlEngine* qml, QJSEngine*) {
    // Without an entry point (a QML tool loading the module on its own) the engine gets its own state.
    if (!s_state)
        s_state = new AppState(qml);
    QJSEngine::setObjectOwnership(s_state, QJSEngine::CppOwnership);
    return s_state;
}

void followLanguage(AppState* state, QQmlEngine* engine) {
    LanguageManager* language = state->language();
    auto apply = [language, engine] {
        language->applyTextTable();
        QLocale::setDefault(language->effectiveLocale());
        QGuiApplication::setLayoutDirection(language->layoutDirection());
        engine->retranslate();
    };
    apply();
    QObject::connect(language, &LanguageManager::languageChanged, engine, apply);
}

} // namespace lumora
