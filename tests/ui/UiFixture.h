#pragma once

#include "AppState.h"
#include "ScriptedServer.h"

#include <QObject>
#include <QVariantMap>

// What the QML tests script: the user the service signs in, a conversation to open, the sign-in
// requests the service saw. One AppState for the whole run, as in the app.
class UiFixture : public QObject {
    Q_OBJECT

public:
    explicit UiFixture(QObject* parent = nullptr);

    lumora::AppState* state() const { return m_state; }

    // Fields of the user the service returns: displayName, countryCode, role ("user"/"admin"),
    // mustChangePassword, verified. The password "wrong" is refused with the service's 401.
    Q_INVOKABLE void scriptUser(const QVariantMap& fields);
    Q_INVOKABLE void signOut();
    Q_INVOKABLE void openConversation();
    Q_INVOKABLE QVariantMap lastSignIn() const; // {username, password} of the last request
    Q_INVOKABLE QString serviceURL() const { return m_server.url().toString(); }
    // Back to the defaults between test functions: English, light, nobody signed in.
    Q_INVOKABLE void reset();

private:
    ScriptedServer m_server;
    lumora::AppState* m_state;
    QVariantMap m_user;
};
