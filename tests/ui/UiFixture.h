#pragma once

#include "ScriptedServer.h"
#include "core/session/AppState.h"

#include <QObject>
#include <QSize>
#include <QUrl>
#include <QVariantMap>

// What the QML tests script: the user the service signs in, a conversation to open, the sign-in
// requests the service saw. One AppState for the whole run, as in the app.
class UiFixture : public QObject {
    Q_OBJECT

public:
    explicit UiFixture(QObject* parent = nullptr);

    lumora::AppState* state() const { return m_state; }

    // Fields of the user the service returns: displayName, countryCode, role ("user"/"admin"),
    // mustChangePassword, verified. The password "wrong" is refused, at sign-in (401) and as the
    // current one when changing it (400).
    Q_INVOKABLE void scriptUser(const QVariantMap& fields) { m_user = fields; }
    Q_INVOKABLE void signOut();
    // Signs in as the scripted user (id "u-1") and returns once the session is set.
    Q_INVOKABLE void signIn();

    // The inbox the service returns, as the service writes it.
    Q_INVOKABLE void scriptConversations(const QVariantList& conversations);
    // The messages of every conversation, oldest first and a minute apart: {id, senderId, body,
    // attachmentName}.
    Q_INVOKABLE void scriptMessages(const QVariantList& messages);
    // Sends answered with 503 while true; otherwise the message comes back as sent.
    Q_INVOKABLE void setSendsFail(bool fail) { m_sendsFail = fail; }
    // The inbox answered with 500 while true.
    Q_INVOKABLE void setInboxFails(bool fail) { m_inboxFails = fail; }
    Q_INVOKABLE int sendCount() const;
    Q_INVOKABLE void openConversation();
    Q_INVOKABLE QVariantMap lastRequestTo(const QString& path) const; // its JSON body
    Q_INVOKABLE int requestCount(const QString& path) const;
    Q_INVOKABLE QString preference(const QString& key) const;
    // Profile updates answered with 500 while true.
    Q_INVOKABLE void setProfileFails(bool fail) { m_profileFails = fail; }
    Q_INVOKABLE QString serviceURL() const { return m_server.url().toString(); }
    // Puts a red image of that size on the clipboard, as copying one in another program would.
    Q_INVOKABLE void copyImage(int width, int height);
    // The size of the image in that file, or an invalid size.
    Q_INVOKABLE QSize imageSize(const QUrl& file) const;
    // Fixes the screens' clock at that moment (ISO 8601, with its offset), in that offset's time zone.
    Q_INVOKABLE void setNow(const QString& isoMoment);
    // Back to the defaults between test functions: English, light, nobody signed in, the clock at
    // 6 December 2026, 12:00 UTC.
    Q_INVOKABLE void reset();

private:
    ScriptedServer m_server;
    lumora::AppState* m_state;
    QVariantMap m_user;
    QByteArray m_conversations = "[]";
    QByteArray m_messages = "[]";
    bool m_sendsFail = false;
    bool m_inboxFails = false;
    bool m_profileFails = false;
};
