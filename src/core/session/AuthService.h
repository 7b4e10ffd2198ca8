#pragma once

#include "core/api/APIClient.h"
#include "wire/WireRecords.h"

#include <QObject>
#include <QString>

#include <QCoroTask>

#include <functional>
#include <optional>

namespace lumora {

// The signed-in session of the one user: restore at start-up, sign in and out, re-read the user,
// change the password. The only code that reads or writes the stored tokens, and the only one that
// hands the access token to the API client. Properties notify only on a real change.
class AuthService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isAuthenticated READ isAuthenticated NOTIFY isAuthenticatedChanged)
    Q_PROPERTY(bool isRestoringSession READ isRestoringSession NOTIFY isRestoringSessionChanged)
    // Whether the signed-in user's session is confirmed by the service: while a stored session is
    // checked the shell already shows (connecting), and it stays when the service cannot be reached
    // (offline) until it answers.
    Q_PROPERTY(Connection connection READ connection NOTIFY connectionChanged)
    Q_PROPERTY(QString lastError READ lastErrorText NOTIFY lastErrorChanged)
    Q_PROPERTY(bool isAdmin READ isAdmin NOTIFY currentUserChanged)
    Q_PROPERTY(bool mustChangePassword READ mustChangePassword NOTIFY currentUserChanged)
    // What the screens show of the signed-in user; empty texts while nobody is signed in.
    Q_PROPERTY(bool hasCurrentUser READ hasCurrentUser NOTIFY currentUserChanged)
    Q_PROPERTY(QString currentUserId READ currentUserId NOTIFY currentUserChanged)
    Q_PROPERTY(QString displayName READ displayName NOTIFY currentUserChanged)
    Q_PROPERTY(QString countryCode READ countryCode NOTIFY currentUserChanged)
    Q_PROPERTY(QString username READ username NOTIFY currentUserChanged)
    Q_PROPERTY(
        QString displayNameField READ displayNameField NOTIFY currentUserChanged) // as stored, "" if absent
    Q_PROPERTY(QString email READ email NOTIFY currentUserChanged)
    Q_PROPERTY(QString bio READ bio NOTIFY currentUserChanged)
    Q_PROPERTY(QString roleName READ roleName NOTIFY currentUserChanged) // "admin", "user", "moderator"
    Q_PROPERTY(bool verified READ verified NOTIFY currentUserChanged)

public:
    explicit AuthService(APIClient* api, QObject* parent = nullptr);

    APIClient* api() const { return m_api; }
    const std::optional<UserDTO>& currentUser() const { return m_currentUser; }
    bool isAuthenticated() const { return m_isAuthenticated; }
    bool isRestoringSession() const { return m_isRestoringSession; }
    enum class Connection { Online, Connecting, Offline };
    Q_ENUM(Connection)
    Connection connection() const { return m_connection; }
    // What this computer kept of the user a stored session belongs to, for the service at `origin`;
    // with it, a start shows the signed-in shell at once while the session is checked.
    void setStoredUser(std::function<std::optional<UserDTO>(const QString& origin)> lookup) {
        m_storedUser = std::move(lookup);
    }
    // The service answered a request: a session not yet confirmed is checked now.
    void serviceReached();
    // Why the last operation failed or the session ended, kind and all; the screens show its text.
    const std::optional<APIClientError>& lastError() const { return m_lastError; }
    QString lastErrorText() const { return m_lastError ? m_lastError->text() : QString(); }
    bool isAdmin() const { return m_currentUser && m_currentUser->role == UserRole::admin; }
    bool mustChangePassword() const { return m_currentUser && m_currentUser->mustChangePassword; }
    bool hasCurrentUser() const { return m_currentUser.has_value(); }
    QString currentUserId() const { return m_currentUser ? m_currentUser->id : QString(); }
    QString displayName() const;
    QString countryCode() const {
        return m_currentUser ? m_currentUser->countryCode.value_or(QString()) : QString();
    }
    QString displayNameField() const {
        return m_currentUser ? m_currentUser->displayName.value_or(QString()) : QString();
    }
    QString username() const { return m_currentUser ? m_currentUser->username : QString(); }
    QString email() const { return m_currentUser ? m_currentUser->email.value_or(QString()) : QString(); }
    QString bio() const { return m_currentUser ? m_currentUser->bio.value_or(QString()) : QString(); }
    QString roleName() const { return m_currentUser ? toString(m_currentUser->role) : QString(); }
    bool verified() const { return m_currentUser && m_currentUser->verified; }

    // Restores the session from the stored access token. Tokens are removed only when the service
    // rejects them; when it cannot be reached they stay for the next start, and `lastError` says why.
    QCoro::Task<> bootstrap();
    // Signs in; the service's reply when it worked (the command-line tool prints it), else nothing
    // and `lastError` says why.
    QCoro::Task<std::optional<LoginResponse>> login(QString username, QString password);
    QCoro::Task<> logout();
    QCoro::Task<> refreshMe();
    QCoro::Task<bool> changePassword(QString current, QString replacement);
    void applyLocalUser(const UserDTO& user);

    // For screens, as everywhere: `startX` runs the coroutine `x` and reports through `xFinished`.
    Q_INVOKABLE void startLogin(const QString& username, const QString& password);
    Q_INVOKABLE void startLogout();
    Q_INVOKABLE void startChangePassword(const QString& current, const QString& replacement);
    // Ends the session here when the service address now names another origin than the one that
    // issued the tokens, which must not be sent there.
    void checkServiceAddress();
    // Whether the last end of a session was the service's doing (expiry, another address) rather
    // than the user's sign-out; what the user wrote is then kept for their return.
    bool sessionEndedByService() const { return m_endedByService; }
    // For the profile screen: saves the edited fields (an empty field is left out, the country code
    // upper-cased, the e-mail kept locally) and reports `profileSaveFinished` with the status text.
    // A failed save leaves the signed-in user's record as it was.
    Q_INVOKABLE void startProfileSave(const QString& displayName, const QString& email, const QString& bio,
                                      const QString& countryCode);
    QCoro::Task<std::optional<APIClientError>> saveProfile(QString displayName, QString email, QString bio,
                                                           QString countryCode); // the failure, if any

Q_SIGNALS:
    void loginFinished(bool signedIn);
    void passwordChangeFinished(bool changed);
    void profileSaveFinished(bool saved, const QString& message);
    void currentUserChanged();
    void isAuthenticatedChanged();
    void isRestoringSessionChanged();
    void connectionChanged();
    // A session shown from the store before the keychain was read now has its token: requests can go.
    void credentialsLoaded();
    void lastErrorChanged();

private:
    // Forgets the tokens and shows sign-in with `notice` as its line, without asking the service.
    void endSessionLocally(APIClientError notice);
    void setCurrentUser(std::optional<UserDTO> user);
    void setAuthenticated(bool value);
    void setRestoringSession(bool value);
    void setConnection(Connection connection);
    QCoro::Task<> confirmSession();
    void setLastError(std::optional<APIClientError> error);

    APIClient* m_api;
    std::optional<UserDTO> m_currentUser;
    bool m_isAuthenticated = false;
    bool m_isRestoringSession = true;
    std::optional<APIClientError> m_lastError;
    bool m_endedByService = false;
    Connection m_connection = Connection::Online;
    std::function<std::optional<UserDTO>(const QString&)> m_storedUser;
    bool m_checking = false; // a check of an unconfirmed session is under way
    quint64 m_sessions = 0;  // counts the starts and ends of sessions, to tell a stale answer
};

} // namespace lumora
