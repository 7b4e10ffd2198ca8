#include "core/session/AppState.h"

#include "core/api/APIClient.h"
#include "core/api/APIConfig.h"
#include "core/mesh/LocalMeshService.h"
#include "core/session/AuthService.h"
#include "core/settings/AppearanceManager.h"
#include "core/settings/LanguageManager.h"
#include "core/settings/TextCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>

namespace lumora {

AppState::AppState(QObject* parent)
    : QObject(parent)
    , m_auth(new AuthService(new APIClient(nullptr, this), this))
    , m_language(new LanguageManager(this))
    , m_appearance(new AppearanceManager(this))
    , m_mesh(new LocalMeshService(this))
    , m_inbox(new InboxViewModel(m_auth->api(), this))
    , m_switcher(new ConversationSwitcher(m_inbox, this))
    , m_watch(new InboxWatch(m_inbox, this))
    , m_notifier(new MessageNotifier(new DesktopNotifications(QDBusConnection::sessionBus(), this), this)) {
    wire();
}

AppState::AppState(AuthService* auth, LanguageManager* language, AppearanceManager* appearance,
                   LocalMeshService* mesh, QObject* parent)
    : AppState(auth, language, appearance, mesh, QDBusConnection::sessionBus(), parent) {}

AppState::AppState(AuthService* auth, LanguageManager* language, AppearanceManager* appearance,
                   LocalMeshService* mesh, const QDBusConnection& desktopBus, QObject* parent)
    : QObject(parent)
    , m_auth(auth)
    , m_language(language)
    , m_appearance(appearance)
    , m_mesh(mesh)
    , m_inbox(new InboxViewModel(auth->api(), this))
    , m_switcher(new ConversationSwitcher(m_inbox, this))
    , m_watch(new InboxWatch(m_inbox, this))
    , m_notifier(new MessageNotifier(new DesktopNotifications(desktopBus, this), this))
    , m_launcher(desktopBus) {
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
        syncWatch();
    });
    connect(m_auth, &AuthService::credentialsLoaded, this, [this] {
        syncWatch();
        if (ChatViewModel* open = chatModel())
            open->startLoad(); // opened while the token was still being read, and refused without it
    });

    // What arrives while the user is away reaches them as a notification and as the counts.
    m_notifier->setEnabled(m_appearance->notifications());
    m_notifier->setOnScreen([this](const QString& id) { return isOnScreen(id); });
    connect(m_appearance, &AppearanceManager::notificationsChanged, this,
            [this] { m_notifier->setEnabled(m_appearance->notifications()); });
    connect(m_watch, &InboxWatch::arrived, this,
            [this](const QList<Arrival>& arrivals) { m_notifier->tell(arrivals); });
    connect(m_watch, &InboxWatch::unreadChanged, this, [this] {
        m_launcher.set(m_watch->unread().messages);
        Q_EMIT unreadChanged();
    });
    connect(m_language, &LanguageManager::languageChanged, this, &AppState::unreadChanged);
    connect(m_language, &LanguageManager::languageChanged, this, &AppState::refreshDateTexts);
    // A start shows the last session's screens from the store while the service checks it.
    m_auth->setStoredUser(&LocalStore::storedUser);
    connect(m_inbox, &InboxViewModel::loadFinished, m_auth, [auth = m_auth](bool answered) {
        if (answered)
            auth->serviceReached();
    });
    m_midnight.setSingleShot(true);
    m_midnight.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_midnight, &QTimer::timeout, this, [this] {
        refreshDateTexts();
        scheduleMidnight();
    });
    scheduleMidnight();
    connect(m_notifier, &MessageNotifier::activated, this, [this](const QString& id) {
        if (const auto conversation = inboxConversation(id))
            openConversation(*conversation);
        Q_EMIT showRequested();
    });
    connect(m_notifier, &MessageNotifier::replied, this,
            [this](const QString& id, const QString& text) { reply(id, text); });
}

AppState::~AppState() {
    closeStore();
}

void AppState::syncWatch() {
    // It compares senders with the user, so it waits until the service said who that is.
    // A session shown from the store waits for its token from the keychain.
    if (m_auth->isAuthenticated() && m_auth->hasCurrentUser() && m_auth->api()->hasAccessToken()) {
        m_notifier->setCurrentUserId(m_auth->currentUserId());
        m_watch->start();
    } else {
        m_watch->stop();
        m_notifier->withdrawAll();
    }
}

bool AppState::isOnScreen(const QString& conversationId) const {
    return m_windowActive && m_selectedConversation && m_selectedConversation->id == conversationId;
}

void AppState::setWindowActive(bool active) {
    m_windowActive = active;
    if (active && m_selectedConversation)
        m_notifier->withdraw(m_selectedConversation->id);
}

int AppState::unreadCount() const {
    return int(std::min<std::int64_t>(m_watch->unread().messages, INT_MAX));
}

QString AppState::unreadSummary() const {
    const UnreadTotals& unread = m_watch->unread();
    if (unread.messages <= 0)
        return catalogueText("Lumora");
    return catalogueText("tray.unreadSummary")
        .arg(catalogueText("tray.unreadMessages", unreadCount()),
             catalogueText("tray.inConversations", unread.conversations));
}

void AppState::followCurrentUser() {
    if (m_auth->hasCurrentUser()) {
        // What one user read or wrote never shows up for another one, nor for another service.
        const QString owner = m_auth->api()->tokenOrigin() + QLatin1Char(' ') + m_auth->currentUserId();
        if (owner != m_owner) {
            closeConversation();
            for (ChatViewModel* model : std::as_const(m_chatModels))
                discard(model);
            m_chatModels.clear();
            closeStore();
            m_inbox->clear();
            m_watch->stop(); // the next list is another user's history
            if (!m_owner.isEmpty())
                AttachmentFiles::clearCache(); // the files the last one received
            m_owner = owner;
        }
        if (!m_store)
            openStore(m_auth->api()->tokenOrigin(), m_auth->currentUserId());
        if (m_store)
            m_store->saveSession(m_auth->api()->tokenOrigin(), *m_auth->currentUser());
    }
    syncWatch();
    // The models speak as the signed-in user: titles name the other side, sends go as them.
    m_inbox->setCurrentUserId(m_auth->currentUserId());
    for (ChatViewModel* model : std::as_const(m_chatModels))
        model->setCurrentUserId(m_auth->currentUserId());
}

void AppState::refreshDateTexts() {
    m_inbox->refreshLocaleTexts();
    for (ChatViewModel* model : std::as_const(m_chatModels))
        model->refreshLocaleTexts();
}

void AppState::scheduleMidnight() {
    const QDateTime now = QDateTime::currentDateTime();
    // A second past, so the new day has begun whatever the timer's slack.
    m_midnight.start(std::max<qint64>(1000, now.msecsTo(QDateTime(now.date().addDays(1), QTime(0, 0, 1)))));
}

void AppState::forgetOnSignOut() {
    selectTab(Tab::Inbox); // the next session starts where a session starts
    // A session that the service ended (expiry, another address) keeps what the user wrote, and the
    // open conversation, for the same user's return; a sign-out keeps nothing.
    const bool keepWriting = m_auth->sessionEndedByService();
    if (!keepWriting) {
        closeConversation();
        m_inbox->clear();
        AttachmentFiles::clearCache();
    }
    for (auto it = m_chatModels.begin(); it != m_chatModels.end();) {
        ChatViewModel* model = it.value();
        model->disappear();
        if (keepWriting && holdsWriting(model)) {
            ++it;
            continue;
        }
        discard(model);
        it = m_chatModels.erase(it);
    }
    if (!keepWriting && m_store) {
        const QString path = m_store->path();
        closeStore();
        LocalStore::remove(path);
    } else if (m_store) {
        m_store->clearSession(); // the next start shows sign-in, not a shell it cannot confirm
    }
}

void AppState::openStore(const QString& origin, const QString& userId) {
    const QString path = LocalStore::pathFor(origin, userId);
    // Another user's data never reaches this one's screens: gone before their first.
    const QFileInfo mine(path);
    for (const QFileInfo& other :
         mine.dir().entryInfoList({QStringLiteral("store-*.sqlite*")}, QDir::Files | QDir::Hidden))
        if (!other.fileName().startsWith(mine.fileName()))
            QFile::remove(other.filePath());
    QString failure;
    m_store = LocalStore::open(path, &failure);
    if (!m_store)
        qWarning("Lumora keeps nothing on this computer for now: %s", qUtf8Printable(failure));
    m_inbox->setStore(m_store.get());
    for (ChatViewModel* model : std::as_const(m_chatModels))
        model->setStore(m_store.get());
}

void AppState::closeStore() {
    for (ChatViewModel* model : std::as_const(m_chatModels))
        model->setStore(nullptr); // a draft waiting to be saved is saved now
    m_inbox->setStore(nullptr);
    m_store.reset();
}

void AppState::discard(ChatViewModel* model) {
    model->setStore(nullptr);
    model->deleteLater();
}

void AppState::setSelectedConversation(std::optional<ConversationDTO> conversation) {
    if (conversation == m_selectedConversation)
        return;
    if (m_selectedConversation)
        release(m_selectedConversation->id);
    m_selectedConversation = std::move(conversation);
    if (m_selectedConversation)
        m_notifier->withdraw(m_selectedConversation->id); // read now
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
    return m_selectedConversation ? modelFor(*m_selectedConversation) : nullptr;
}

ChatViewModel* AppState::modelFor(const ConversationDTO& conversation) {
    ChatViewModel*& model = m_chatModels[conversation.id];
    if (!model) {
        model = new ChatViewModel(m_auth->api(), conversation, this);
        model->setCurrentUserId(m_auth->currentUserId());
        model->setStore(m_store.get());
        // Reading marks the conversation read on the service: the counts follow without waiting a tick.
        connect(model, &ChatViewModel::isLoadingChanged, m_watch, [model, watch = m_watch] {
            if (!model->isLoading() && !model->error())
                watch->askNow();
        });
    }
    return model;
}

std::optional<ConversationDTO> AppState::inboxConversation(const QString& id) const {
    for (const ConversationDTO& conversation : m_inbox->conversations()) {
        if (conversation.id == id)
            return conversation;
    }
    return std::nullopt;
}

QCoro::Task<> AppState::reply(QString conversationId, QString text) {
    const auto conversation = inboxConversation(conversationId);
    if (!conversation || !m_auth->hasCurrentUser())
        co_return;
    QPointer<AppState> self(this);
    auto sending = modelFor(*conversation)->sendText(m_auth->currentUserId(), std::move(text));
    co_await sending;
    if (!self)
        co_return;
    m_notifier->withdraw(conversationId); // answered
    // Kept while the reply is not delivered, like a chat the user leaves.
    if (!m_selectedConversation || m_selectedConversation->id != conversationId)
        release(conversationId);
}

void AppState::release(const QString& conversationId) {
    ChatViewModel* model = m_chatModels.value(conversationId);
    if (!model)
        return;
    model->disappear();
    if (holdsWriting(model))
        return;
    m_chatModels.remove(conversationId);
    discard(model);
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
