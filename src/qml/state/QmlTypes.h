#pragma once

#include "core/session/AppState.h"

#include <QPointer>
#include <QQmlEngine>
#include <QtQml/qqmlregistration.h>

// How the core's objects appear in the QML module: the process's one AppState as the singleton
// `AppState`, the objects it owns as named types that QML reads but never creates.
namespace lumora {

struct AppStateQml {
    Q_GADGET
    QML_FOREIGN(lumora::AppState)
    QML_NAMED_ELEMENT(AppState)
    QML_SINGLETON

public:
    // The entry point hands over its AppState before the first window loads.
    static void provide(AppState* state);
    static AppState* create(QQmlEngine* qml, QJSEngine* js);

private:
    static inline QPointer<AppState> s_state;
};

struct AuthServiceQml {
    Q_GADGET
    QML_FOREIGN(lumora::AuthService)
    QML_NAMED_ELEMENT(AuthService)
    QML_UNCREATABLE("Owned by AppState")
};

struct LanguageManagerQml {
    Q_GADGET
    QML_FOREIGN(lumora::LanguageManager)
    QML_NAMED_ELEMENT(LanguageManager)
    QML_UNCREATABLE("Owned by AppState")
};

struct AppearanceManagerQml {
    Q_GADGET
    QML_FOREIGN(lumora::AppearanceManager)
    QML_NAMED_ELEMENT(AppearanceManager)
    QML_UNCREATABLE("Owned by AppState")
};

struct LocalMeshServiceQml {
    Q_GADGET
    QML_FOREIGN(lumora::LocalMeshService)
    QML_NAMED_ELEMENT(LocalMeshService)
    QML_UNCREATABLE("Owned by AppState")
};

struct InboxViewModelQml {
    Q_GADGET
    QML_FOREIGN(lumora::InboxViewModel)
    QML_NAMED_ELEMENT(InboxViewModel)
    QML_UNCREATABLE("Owned by AppState")
};

struct ConversationSwitcherQml {
    Q_GADGET
    QML_FOREIGN(lumora::ConversationSwitcher)
    QML_NAMED_ELEMENT(ConversationSwitcher)
    QML_UNCREATABLE("Owned by AppState")
};

struct ChatViewModelQml {
    Q_GADGET
    QML_FOREIGN(lumora::ChatViewModel)
    QML_NAMED_ELEMENT(ChatViewModel)
    QML_UNCREATABLE("Owned by AppState")
};

// Keeps the interface of `engine` in the chosen language (the catalogue, the default locale, the
// layout direction, every qsTrId binding) and colour scheme (LmTheme, which the palette follows), now and on
// each change.
void followPreferences(AppState* state, QQmlEngine* engine);

} // namespace lumora
