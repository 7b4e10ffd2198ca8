#include "core/session/AppState.h"

#include "core/api/APIClient.h"
#include "core/api/APIConfig.h"
#include "core/mesh/LocalMeshService.h"
#include "core/session/AuthService.h"
#include "core/settings/AppearanceManager.h"
#include "core/settings/LanguageManager.h"

namespace lumora {

AppState::AppState(QObject* parent)
    : QObject(parent)
    , m_auth(new AuthService(new APIClient(nullptr, this), this))
    , m_language(new LanguageManager(this))
    , m_appearance(new AppearanceManager(this))
    , m_mesh(new LocalMeshService(this))
    , m_inbox(new InboxViewModel(m_auth->api(), this)) {
    wire();
}

AppState::AppState(AuthService* auth, LanguageManager* language, AppearanceManager* appearance,
                   LocalMeshService* mesh, QObject* parent)
    : QObject(parent)
    , m_auth(auth)
    , m_language(language)
    , m_appearance(appearance)
    , m_mesh(mesh)
    , m_inbox(new InboxViewModel(auth->api(), this)) {
    wire();
}

namespace {

// Something the user wrote and has not seen delivered: a draft, a chosen file, an unsent message.
bool holdsWriting(const ChatViewModel* model) {
    return !model->draft().isEmpty() || model->pendingAttachmentName().has_value() ||
           !model->unsentMessages().isEmpty();
}

} // namespace

void AppState::wire() {
    connect(m_appearance, &AppearanceManager::connectivityChanged, this, &AppState::syncMeshWithConnectivity);
    // The mesh's status line is kept as catalogue keys: a new language is a new text.
    connect(m_language, &LanguageManager::languageChanged, m_mesh, &LocalMeshService::statusMessageChanged);
    connect(m_auth, &AuthService::currentUserChanged, this, &AppState::followCurrentUser);
    connect(m_auth, &AuthService::isAuthenticatedChanged, this, [this] {
        if (!m_auth->isAuthenticated())
            forgetOnSignOut();
    });
}

void AppState::followCurrentUser() {
    if (m_auth->hasCurrentUser()) {
        // What one user read or wrote never shows up for another one, nor for another service.
        const QString owner = m_auth->api()->tokenOrigin() + QLatin1Char(' ') + m_auth->currentUserId();
        if (owner != m_owner) {
            closeConversation();
            for (ChatViewModel* model : std::as_const(m_chatModels))
                model->deleteLater();
            m_chatModels.clear();
            m_inbox->clear();
            m_owner = owner;
        }
    }
    // The models speak as the signed-in user: titles name the other side, sends go as them.
    m_inbox->setCurrentUserId(m_auth->currentUserId());
    for (ChatViewModel* model : std::as_const(m_chatModels))
        model->setCurrentUserId(m_auth->currentUserId());
}

void AppState::forgetOnSignOut() {
    selectTab(Tab::Inbox); // the next session starts where a session starts
    // A session that the service ended (expiry, another address) keeps what the user wrote, and the
    // open conversation, for the same user's return; a sign-out keeps nothing.
    const bool keepWriting = m_auth->sessionEndedByService();
    if (!keepWriting) {
        closeConversation();
        m_inbox->clear();
    }
    for (auto it = m_chatModels.begin(); it != m_chatModels.end();) {
        ChatViewModel* model = it.value();
        model->disappear();
        if (keepWriting && holdsWriting(model)) {
            ++it;
            continue;
        }
        model->deleteLater();
        it = m_chatModels.erase(it);
    }
}

void AppState::setSelectedConversation(std::optional<ConversationDTO> conversation) {
    if (conversation == m_selectedConversation)
        return;
    if (m_selectedConversation)
        release(m_selectedConversation->id);
    m_selectedConversation = std::move(conversation);
    Q_EMIT selectedConversationChanged();
}

void AppState::selectTab(Tab tab) {
    if (tab != Tab::Inbox)
        closeConversation();
    if (tab == m_tab)
        return;
    m_tab = tab;
    Q_EMIT tabChanged();
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

QString AppState::serviceBaseURL() const {
    return APIConfig::baseURL().toString();
}

QString AppState::defaultServiceBaseURL() const {
    return APIConfig::defaultBaseURL().toString();
}

QString AppState::productionServiceBaseURL() const {
    return APIConfig::productionBaseURL().toString();
}

void AppState::setServiceBaseURL(const QString& text) {
    APIConfig::setBaseURL(text);
    m_auth->checkServiceAddress();
}

bool AppState::isInsecureServiceURL(const QString& text) const {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() && !APIConfig::carriesCredentialsSafely(url);
}

ChatViewModel* AppState::chatModel() {
    if (!m_selectedConversation)
        return nullptr;
    ChatViewModel*& model = m_chatModels[m_selectedConversation->id];
    if (!model) {
        model = new ChatViewModel(m_auth->api(), *m_selectedConversation, this);
        model->setCurrentUserId(m_auth->currentUserId());
    }
    return model;
}

void AppState::release(const QString& conversationId) {
    ChatViewModel* model = m_chatModels.value(conversationId);
    if (!model)
        return;
    model->disappear();
    if (holdsWriting(model))
        return;
    m_chatModels.remove(conversationId);
    model->deleteLater();
}

void AppState::openConversationAt(int row) {
    if (row >= 0 && row < m_inbox->count())
        openConversation(m_inbox->conversations().at(row));
}

void AppState::syncMeshWithConnectivity() {
    if (m_appearance->connectivity() == ConnectivityMode::LocalMesh)
        m_mesh->start();
    else
        m_mesh->stop();
}

void AppState::openConversation(const ConversationDTO& conversation) {
    selectTab(Tab::Inbox);
    setSelectedConversation(conversation);
}

} // namespace lumora
