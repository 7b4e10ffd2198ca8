#include "AppState.h"

#include "APIClient.h"
#include "APIConfig.h"
#include "AppearanceManager.h"
#include "AuthService.h"
#include "LanguageManager.h"
#include "LocalMeshService.h"

namespace lumora {

AppState::AppState(QObject* parent)
    : QObject(parent)
    , m_auth(new AuthService(new APIClient(nullptr, this), this))
    , m_language(new LanguageManager(this))
    , m_appearance(new AppearanceManager(this))
    , m_mesh(new LocalMeshService(this)) {}

AppState::AppState(AuthService* auth, LanguageManager* language, AppearanceManager* appearance,
                   LocalMeshService* mesh, QObject* parent)
    : QObject(parent)
    , m_auth(auth)
    , m_language(language)
    , m_appearance(appearance)
    , m_mesh(mesh) {}

void AppState::setSelectedConversation(std::optional<ConversationDTO> conversation) {
    if (conversation == m_selectedConversation)
        return;
    m_selectedConversation = std::move(conversation);
    Q_EMIT selectedConversationChanged();
}

void AppState::setPath(QList<AppDestination> path) {
    if (path == m_path)
        return;
    m_path = std::move(path);
    Q_EMIT pathChanged();
}

void AppState::setShowAdmin(bool show) {
    if (show == m_showAdmin)
        return;
    m_showAdmin = show;
    Q_EMIT showAdminChanged();
}

QCoro::Task<> AppState::bootstrap() {
    QPointer<AppState> self(this);
    auto restoring = m_auth->bootstrap();
    co_await restoring;
    if (self)
        syncMeshWithConnectivity();
}

void AppState::beginBootstrap() {
    bootstrap();
}

QString AppState::serviceBaseURL() const {
    return APIConfig::baseURL().toString();
}

InboxViewModel* AppState::createInboxModel(QObject* owner) const {
    return new InboxViewModel(m_auth->api(), owner);
}

ChatViewModel* AppState::createChatModel(QObject* owner) const {
    if (!m_selectedConversation)
        return nullptr;
    return new ChatViewModel(m_auth->api(), *m_selectedConversation, owner);
}

void AppState::openConversationAt(InboxViewModel* inbox, int row) {
    if (inbox && row >= 0 && row < inbox->count())
        openConversation(inbox->conversations().at(row));
}

void AppState::syncMeshWithConnectivity() {
    if (m_appearance->connectivity() == ConnectivityMode::localMesh)
        m_mesh->start();
    else
        m_mesh->stop();
}

void AppState::openConversation(const ConversationDTO& conversation) {
    setSelectedConversation(conversation);
    setPath({AppDestination::chat(conversation)});
}

} // namespace lumora
