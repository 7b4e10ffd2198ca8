#include "core/session/AuthService.h"

#include "core/api/APIConfig.h"

#include "core/conversations/DisplayTexts.h"
#include "core/session/KeychainStore.h"
#include "core/settings/TextCatalogue.h"

#include <QPointer>

namespace lumora {

namespace {

// Only a refusal of the token itself means the stored session is gone for good.
bool rejectsToken(const APIClientError& error) {
    return error.kind() == APIClientError::Kind::Unauthorized ||
           (error.kind() == APIClientError::Kind::Http && (error.status() == 401 || error.status() == 403));
}

} // namespace

AuthService::AuthService(APIClient* api, QObject* parent)
    : QObject(parent)
    , m_api(api) {
    connect(m_api, &APIClient::credentialsRefused, this, [this](APIClientError::Kind kind) {
        endSessionLocally(kind == APIClientError::Kind::OtherService ? APIClientError::addressChanged()
                                                                     : APIClientError::sessionExpired());
    });
}

QCoro::Task<> AuthService::bootstrap() {
    QPointer<AuthService> self(this);
    setRestoringSession(true);
    const QString current = APIConfig::originOf(APIConfig::baseURL());
    // The last session's screens at once, before even the keychain is read (its jobs wait for the
    // event loop, so they could not finish before the first window); the keychain and then the
    // service confirm it meanwhile.
    const auto stored = m_storedUser ? m_storedUser(current) : std::nullopt;
    const bool shownFromStore = stored.has_value();
    const quint64 session = m_sessions + 1;
    if (shownFromStore) {
        m_api->setAccessToken(std::nullopt, current); // whose screens these are: the store is named so
        setCurrentUser(*stored);
        setConnection(Connection::Connecting);
        setAuthenticated(true);
        setRestoringSession(false);
    }
    // The shell was in use meanwhile: the user signed out (and maybe in again); what follows is stale.
    const auto superseded = [&] { return shownFromStore && m_sessions != session; };
    auto loading = KeychainStore::loadAccessToken();
    const std::optional<QString> token = co_await loading;
    if (!self || superseded())
        co_return;
    std::optional<QString> origin;
    if (token) {
        auto loadingOrigin = KeychainStore::loadTokenOrigin();
        origin = co_await loadingOrigin;
        if (!self || superseded())
            co_return;
    }
    if (token && !origin) {
        // Stored before origins were kept: it belongs to the address in force, so nobody is signed out.
        auto saving = KeychainStore::saveTokenOrigin(current);
        co_await saving;
        if (!self || superseded())
            co_return;
        origin = current;
    }
    std::optional<APIResult<UserDTO>> user;
    if (token && *origin == current) {
        m_api->setAccessToken(token, *origin);
        if (shownFromStore)
            Q_EMIT credentialsLoaded();
        auto asking = m_api->me();
        user = co_await asking;
        if (!self || superseded())
            co_return;
    } else if (token) {
        // Kept for the service that issued it, but never handed to this one.
        setLastError(APIClientError::savedForOther(*origin, current));
    }
    if (user && *user) {
        setCurrentUser(**user);
        setAuthenticated(true);
        setConnection(Connection::Online);
        setRestoringSession(false);
        co_return;
    }
    if (shownFromStore) {
        if (!user) {
            // No session for this service in the keychain after all: sign-in, keeping what was
            // written for the same user's return, as after an expiry.
            m_endedByService = true;
            setCurrentUser(std::nullopt);
            setAuthenticated(false);
        } else if (rejectsToken(user->error())) {
            endSessionLocally(APIClientError::sessionExpired()); // sign-in, saying why
        } else {
            setConnection(Connection::Offline); // the shell stays; the watch tries again
        }
        co_return;
    }
    if (user && rejectsToken(user->error())) {
        auto clearing = KeychainStore::clearTokens();
        co_await clearing;
        if (!self)
            co_return;
    } else if (user) {
        setLastError(user->error());
    }
    m_api->setAccessToken(std::nullopt);
    setCurrentUser(std::nullopt);
    setAuthenticated(false);
    setRestoringSession(false);
}

void AuthService::startLogin(const QString& username, const QString& password) {
    QCoro::connect(login(username, password), this, [this](const std::optional<LoginResponse>& reply) {
        Q_EMIT loginFinished(reply.has_value());
    });
}

void AuthService::startLogout() {
    logout();
}

void AuthService::startChangePassword(const QString& current, const QString& replacement) {
    QCoro::connect(changePassword(current, replacement), this,
                   [this](bool changed) { Q_EMIT passwordChangeFinished(changed); });
}

void AuthService::startProfileSave(const QString& displayName, const QString& email, const QString& bio,
                                   const QString& countryCode) {
    QCoro::connect(saveProfile(displayName, email, bio, countryCode), this,
                   [this](const std::optional<APIClientError>& failure) {
                       Q_EMIT profileSaveFinished(!failure,
                                                  failure ? failure->text() : catalogueText("profile.saved"));
                   });
}

QCoro::Task<std::optional<APIClientError>> AuthService::saveProfile(QString displayName, QString email,
                                                                    QString bio, QString countryCode) {
    QPointer<AuthService> self(this);
    auto orAbsent = [](const QString& text) { return text.isEmpty() ? std::nullopt : std::optional(text); };
    UpdateProfileRequest request;
    request.displayName = orAbsent(displayName);
    request.bio = orAbsent(bio);
    request.countryCode = orAbsent(countryCode.toUpper());
    request.email = orAbsent(email);
    auto updating = m_api->updateProfile(request);
    auto reply = co_await updating;
    if (!self)
        co_return std::nullopt;
    if (!reply)
        co_return reply.error(); // the record stays as the service last gave it
    UserDTO user = *reply;
    user.email = orAbsent(email); // the service never receives the e-mail
    applyLocalUser(user);
    co_return std::nullopt;
}

QString AuthService::displayName() const {
    return m_currentUser ? resolvedDisplayName(*m_currentUser) : QString();
}

QCoro::Task<std::optional<LoginResponse>> AuthService::login(QString username, QString password) {
    setLastError(std::nullopt);
    QPointer<AuthService> self(this);
    const QString origin = APIConfig::originOf(APIConfig::baseURL()); // where the password goes
    auto signingIn = m_api->login(username, password);
    const auto reply = co_await signingIn;
    if (!self)
        co_return std::nullopt;
    std::optional<APIClientError> failure;
    if (!reply) {
        failure = reply.error();
    } else {
        auto savingAccess = KeychainStore::saveAccessToken(reply->tokens.accessToken);
        auto saved = co_await savingAccess;
        if (!self)
            co_return std::nullopt;
        if (saved && reply->tokens.refreshToken) {
            auto savingRefresh = KeychainStore::saveRefreshToken(*reply->tokens.refreshToken);
            saved = co_await savingRefresh;
            if (!self)
                co_return std::nullopt;
        }
        if (saved) {
            auto savingOrigin = KeychainStore::saveTokenOrigin(origin);
            saved = co_await savingOrigin;
            if (!self)
                co_return std::nullopt;
        }
        if (!saved)
            failure = saved.error();
    }
    if (failure) {
        setLastError(failure);
        setAuthenticated(false);
        setCurrentUser(std::nullopt);
        co_return std::nullopt;
    }
    m_api->setAccessToken(reply->tokens.accessToken, origin);
    m_endedByService = false;
    setCurrentUser(reply->user);
    setAuthenticated(true);
    co_return *reply;
}

QCoro::Task<> AuthService::logout() {
    QPointer<AuthService> self(this);
    m_endedByService = false;
    auto clearing = KeychainStore::clearTokens();
    co_await clearing;
    if (!self)
        co_return;
    m_api->setAccessToken(std::nullopt);
    setCurrentUser(std::nullopt);
    setAuthenticated(false);
}

QCoro::Task<> AuthService::refreshMe() {
    QPointer<AuthService> self(this);
    auto asking = m_api->me();
    const auto user = co_await asking;
    if (!self)
        co_return;
    if (user)
        setCurrentUser(*user);
    else
        setLastError(user.error());
}

QCoro::Task<bool> AuthService::changePassword(QString current, QString replacement) {
    QPointer<AuthService> self(this);
    setLastError(std::nullopt);
    auto changing = m_api->changePassword(current, replacement);
    const auto changed = co_await changing;
    if (!self)
        co_return false;
    if (!changed) {
        setLastError(changed.error());
        co_return false;
    }
    auto refreshing = refreshMe();
    co_await refreshing;
    co_return true;
}

void AuthService::checkServiceAddress() {
    if (m_isAuthenticated && APIConfig::originOf(APIConfig::baseURL()) != m_api->tokenOrigin())
        endSessionLocally(APIClientError::addressChanged());
}

void AuthService::serviceReached() {
    if (m_connection == Connection::Online || !m_isAuthenticated || m_checking)
        return;
    confirmSession();
}

QCoro::Task<> AuthService::confirmSession() {
    QPointer<AuthService> self(this);
    m_checking = true;
    const quint64 session = m_sessions;
    auto asking = m_api->me();
    const auto user = co_await asking;
    if (!self)
        co_return;
    m_checking = false;
    if (session != m_sessions)
        co_return; // asked about a session that has ended since
    if (user && m_isAuthenticated) {
        setCurrentUser(*user);
        setConnection(Connection::Online);
    } else if (!user && rejectsToken(user.error())) {
        endSessionLocally(APIClientError::sessionExpired());
    }
}

void AuthService::endSessionLocally(APIClientError notice) {
    if (!m_isAuthenticated)
        return;
    setConnection(Connection::Online);
    m_endedByService = true;
    m_api->setAccessToken(std::nullopt);
    KeychainStore::clearTokens(); // runs on by itself; nothing here waits for it
    setLastError(std::move(notice));
    setCurrentUser(std::nullopt);
    setAuthenticated(false);
}

void AuthService::applyLocalUser(const UserDTO& user) {
    setCurrentUser(user);
}

void AuthService::setCurrentUser(std::optional<UserDTO> user) {
    if (user == m_currentUser)
        return;
    m_currentUser = std::move(user);
    Q_EMIT currentUserChanged();
}

void AuthService::setAuthenticated(bool value) {
    if (value == m_isAuthenticated)
        return;
    m_isAuthenticated = value;
    ++m_sessions;
    if (!value)
        setConnection(Connection::Online); // nothing left to confirm
    Q_EMIT isAuthenticatedChanged();
}

void AuthService::setConnection(Connection connection) {
    if (connection == m_connection)
        return;
    m_connection = connection;
    Q_EMIT connectionChanged();
}

void AuthService::setRestoringSession(bool value) {
    if (value == m_isRestoringSession)
        return;
    m_isRestoringSession = value;
    Q_EMIT isRestoringSessionChanged();
}

void AuthService::setLastError(std::optional<APIClientError> error) {
    if (error == m_lastError)
        return;
    m_lastError = std::move(error);
    Q_EMIT lastErrorChanged();
}

} // namespace lumora
