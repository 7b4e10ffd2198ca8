#pragma once

#include "core/conversations/ChatViewModel.h"
#include "core/conversations/ConversationSwitcher.h"
#include "core/conversations/InboxViewModel.h"
#include "core/conversations/InboxWatch.h"
#include "core/desktop/LauncherCount.h"
#include "core/desktop/MessageNotifier.h"
#include "core/mesh/LocalMeshService.h"
#include "core/session/AuthService.h"
#include "core/settings/AppearanceManager.h"
#include "core/settings/LanguageManager.h"
#include "core/store/LocalStore.h"
#include "wire/WireRecords.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

#include <optional>

namespace lumora {

// The root of the client's object graph: the session, the preferences and the local mesh, plus the
// navigation state of the signed-in shell: the tab, the open conversation, the admin panel. Building it
// touches neither the network nor the secret store; `bootstrap` does that. Started before the first window
// is built, it lets that window open on the shell kept in the local store.
class AppState : public QObject {
    Q_OBJECT
    Q_PROPERTY(lumora::AuthService* auth READ auth CONSTANT)
    Q_PROPERTY(lumora::LanguageManager* language READ language CONSTANT)
    Q_PROPERTY(lumora::AppearanceManager* appearance READ appearance CONSTANT)
    Q_PROPERTY(lumora::LocalMeshService* mesh READ mesh CONSTANT)
    Q_PROPERTY(lumora::InboxViewModel* inbox READ inbox CONSTANT)
    Q_PROPERTY(lumora::ConversationSwitcher* switcher READ switcher CONSTANT)
    Q_PROPERTY(bool showAdmin READ showAdmin WRITE setShowAdmin NOTIFY showAdminChanged)
    Q_PROPERTY(bool hasSelectedConversation READ hasSelectedConversation NOTIFY selectedConversationChanged)
    Q_PROPERTY(Tab tab READ tab NOTIFY tabChanged)
    // The service's unread messages over all conversations, kept fresh by the watch; 0 when signed out.
    Q_PROPERTY(int unreadCount READ unreadCount NOTIFY unreadChanged)
    // "Lumora — 3 unread in 2 conversations", or "Lumora" with nothing unread (the tray's tooltip).
    Q_PROPERTY(QString unreadSummary READ unreadSummary NOTIFY unreadChanged)

public:
    enum class Tab { Inbox, Profile, Settings };
    Q_ENUM(Tab)

    // Builds the whole graph, in order: API client, session, language, appearance, mesh, inbox and its
    // watch, notifications.
    explicit AppState(QObject* parent = nullptr);
    ~AppState() override;
    // Uses the given parts, which must outlive this object (tests).
    AppState(AuthService* auth, LanguageManager* language, AppearanceManager* appearance,
             LocalMeshService* mesh, QObject* parent = nullptr);
    // The same on the given bus for notifications and the launcher count (tests use a private one).
    AppState(AuthService* auth, LanguageManager* language, AppearanceManager* appearance,
             LocalMeshService* mesh, const QDBusConnection& desktopBus, QObject* parent = nullptr);

    AuthService* auth() const { return m_auth; }
    LanguageManager* language() const { return m_language; }
    AppearanceManager* appearance() const { return m_appearance; }
    LocalMeshService* mesh() const { return m_mesh; }
    // The signed-in user's conversations; emptied when another user signs in or the user signs out.
    InboxViewModel* inbox() const { return m_inbox; }
    ConversationSwitcher* switcher() const { return m_switcher; }
    // Runs while a user is signed in.
    InboxWatch* watch() const { return m_watch; }
    int unreadCount() const;
    QString unreadSummary() const;
    // The window showing the panel has the focus: the open conversation is then in front of the user
    // and raises no notification. The program tells this; the core has no windows.
    void setWindowActive(bool active);

    const std::optional<ConversationDTO>& selectedConversation() const { return m_selectedConversation; }
    void setSelectedConversation(std::optional<ConversationDTO> conversation);
    Tab tab() const { return m_tab; }
    // Choosing the inbox keeps an open conversation open; any other tab closes it.
    Q_INVOKABLE void selectTab(lumora::AppState::Tab tab);
    bool showAdmin() const { return m_showAdmin; }
    void setShowAdmin(bool show);

    // Restores the session, then starts or stops the mesh, whatever the restore's outcome.
    QCoro::Task<> bootstrap();
    // Shows the conversation in the inbox tab. The chat model of the one it replaces stops polling
    // and is freed unless it holds something the user wrote and has not seen delivered (a draft, a
    // file, an unsent message), so leaving a chat loses nothing.
    void openConversation(const ConversationDTO& conversation);
    // Sends `text` to the conversation as the composer would, without opening it (a reply typed
    // into a notification). A failed send stays in that chat as not sent.
    QCoro::Task<> reply(QString conversationId, QString text);

    // For screens.
    bool hasSelectedConversation() const { return m_selectedConversation.has_value(); }
    Q_INVOKABLE void closeConversation() { setSelectedConversation(std::nullopt); }
    Q_INVOKABLE void startBootstrap() { bootstrap(); }
    Q_INVOKABLE QString serviceBaseURL() const;
    Q_INVOKABLE QString defaultServiceBaseURL() const;
    Q_INVOKABLE QString productionServiceBaseURL() const;
    // Stores it as the user's preference; a session issued by another origin ends here.
    Q_INVOKABLE void setServiceBaseURL(const QString& text);
    // Whether the address would not carry a password or token (plain HTTP beyond this machine).
    Q_INVOKABLE bool isInsecureServiceURL(const QString& text) const;
    // The chat model of the selected conversation, following the signed-in user; null when none is
    // selected.
    Q_INVOKABLE lumora::ChatViewModel* chatModel();
    // Opens the inbox's conversation at that row.
    Q_INVOKABLE void openConversationAt(int row);

Q_SIGNALS:
    void selectedConversationChanged();
    void tabChanged();
    void showAdminChanged();
    void unreadChanged();
    // A notification was activated: its conversation is open, and the panel should be shown.
    void showRequested();

private:
    void wire();
    void followCurrentUser();
    void forgetOnSignOut();
    // Starts the mesh in local-mesh mode, stops it otherwise.
    void syncMeshWithConnectivity();
    void release(const QString& conversationId);
    ChatViewModel* modelFor(const ConversationDTO& conversation);
    std::optional<ConversationDTO> inboxConversation(const QString& id) const;
    void syncWatch();
    bool isOnScreen(const QString& conversationId) const;
    // Times and day headings read again: in another language, or after midnight ("Today" is yesterday).
    void refreshDateTexts();
    void scheduleMidnight();
    // The signed-in user's local store: opened for them (another user's deleted first), closed with
    // every model's drafts saved.
    void openStore(const QString& origin, const QString& userId);
    void closeStore();
    void discard(ChatViewModel* model);

    AuthService* m_auth;
    LanguageManager* m_language;
    AppearanceManager* m_appearance;
    LocalMeshService* m_mesh;
    InboxViewModel* m_inbox;
    ConversationSwitcher* m_switcher;
    InboxWatch* m_watch;
    MessageNotifier* m_notifier;
    LauncherCount m_launcher;
    QTimer m_midnight;
    std::unique_ptr<LocalStore> m_store;
    bool m_windowActive = false;
    std::optional<ConversationDTO> m_selectedConversation;
    Tab m_tab = Tab::Inbox;
    bool m_showAdmin = false;
    QHash<QString, ChatViewModel*> m_chatModels; // by conversation id
    QString m_owner; // the service origin and user id the inbox and chat models belong to
};

} // namespace lumora
