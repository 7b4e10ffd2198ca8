#include "qml/state/QmlTypes.h"

#include "qml/design/LmTheme.h"

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

void followPreferences(AppState* state, QQmlEngine* engine) {
    LanguageManager* language = state->language();
    auto applyLanguage = [language, engine] {
        language->applyTextTable();
        QGuiApplication::setLayoutDirection(language->layoutDirection());
        engine->retranslate();
    };
    applyLanguage();
    QObject::connect(language, &LanguageManager::languageChanged, engine, applyLanguage);

    AppearanceManager* appearance = state->appearance();
    auto applyScheme = [appearance] { LmTheme::instance()->setScheme(appearance->colorScheme()); };
    applyScheme();
    QObject::connect(appearance, &AppearanceManager::colorSchemeChanged, LmTheme::instance(), applyScheme);
}

} // namespace lumora
