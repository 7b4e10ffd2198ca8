#include "Store.h"

#include "Crypto.h"
#include "HttpError.h"

#include <string>

namespace lumora::devservice {

namespace {

constexpr const char* userColumns =
    "id, username, display_name, bio, country_code, avatar_url, role, verified, "
    "must_change_password, created_at, updated_at, password_hash FROM users ";

StoredUser readUser(const Statement& row) {
    StoredUser stored;
    UserDTO& u = stored.user;
    u.id = row.text(0);
    u.username = row.text(1);
    u.displayName = row.optionalText(2);
    u.bio = row.optionalText(3);
    u.countryCode = row.optionalText(4);
    u.avatarUrl = row.optionalText(5);
    u.role = userRoleFromString(row.text(6)).value_or(UserRole::user);
    u.verified = row.flag(7);
    u.mustChangePassword = row.flag(8);
    u.createdAt = row.instant(9);
    u.updatedAt = row.instant(10);
    stored.passwordHash = row.bytes(11);
    return stored;
}

Instant after(Instant now, std::int64_t seconds) {
    return now + std::chrono::seconds(seconds);
}

} // namespace

std::optional<StoredUser> Store::findUser(const char* where, const QString& key) {
    Lock lock(m_mutex);
    Statement query(m_db, (std::string("SELECT ") + userColumns + where).c_str());
    query.bind(key);
    if (!query.step())
        return std::nullopt;
    return readUser(query);
}

std::optional<StoredUser> Store::userByName(const QString& username) {
    return findUser("WHERE username = ?1", username); // the column's NOCASE collation applies
}

std::optional<StoredUser> Store::userById(const QString& id) {
    return findUser("WHERE id = ?1", id);
}

UserDTO Store::loadUser(const QString& id) {
    auto stored = userById(id);
    if (!stored)
        throw HttpError(404, QStringLiteral("User not found"));
    return stored->user;
}

QString Store::addUser(const NewUser& user, Instant now) {
    Lock lock(m_mutex);
    Transaction transaction(m_db);
    if (findUser("WHERE username = ?1", user.username))
        throw HttpError(409, QStringLiteral("The username %1 is taken").arg(user.username));
    const QString id = randomId();
    Statement(m_db,
              "INSERT INTO users (id, username, password_hash, display_name, country_code, role, verified, "
              "must_change_password, created_at, updated_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?9)")
        .bind(id, user.username, user.passwordHash, user.displayName, user.countryCode, toString(user.role),
              user.verified, user.mustChangePassword, now)
        .run();
    transaction.commit();
    return id;
}

AuthTokensDTO Store::openSession(const QString& userId, Instant now) {
    Lock lock(m_mutex);
    Transaction transaction(m_db);
    Statement(m_db, "DELETE FROM sessions WHERE expires_at <= ?1").bind(now).run();
    AuthTokensDTO tokens{randomToken(), randomToken(), QStringLiteral("Bearer"), accessTokenSeconds};
    Statement insert(
        m_db, "INSERT INTO sessions (token_digest, user_id, kind, expires_at) VALUES (?1, ?2, ?3, ?4)");
    insert
        .bind(tokenDigest(tokens.accessToken), userId, QStringLiteral("access"),
              after(now, accessTokenSeconds))
        .run();
    Statement(m_db, "INSERT INTO sessions (token_digest, user_id, kind, expires_at) VALUES (?1, ?2, ?3, ?4)")
        .bind(tokenDigest(*tokens.refreshToken), userId, QStringLiteral("refresh"),
              after(now, refreshTokenSeconds))
        .run();
    transaction.commit();
    return tokens;
}

std::optional<Session> Store::session(const QString& accessToken, Instant now) {
    Lock lock(m_mutex);
    const std::string digest = tokenDigest(accessToken);
    Statement query(
        m_db, "SELECT user_id FROM sessions WHERE token_digest = ?1 AND kind = 'access' AND expires_at > ?2");
    query.bind(digest, now);
    if (!query.step())
        return std::nullopt;
    return Session{query.text(0), digest};
}

void Store::changePassword(const Session& session, const std::string& passwordHash, Instant now) {
    Lock lock(m_mutex);
    Transaction transaction(m_db);
    Statement(m_db,
              "UPDATE users SET password_hash = ?2, must_change_password = 0, updated_at = ?3 WHERE id = ?1")
        .bind(session.userId, passwordHash, now)
        .run();
    Statement(m_db, "DELETE FROM sessions WHERE user_id = ?1 AND token_digest <> ?2")
        .bind(session.userId, session.tokenDigest)
        .run();
    transaction.commit();
}

UserDTO Store::updateProfile(const QString& userId, const UpdateProfileRequest& changes, Instant now) {
    Lock lock(m_mutex);
    Transaction transaction(m_db);
    // An empty string clears the field; an absent one leaves it as it is.
    const auto apply = [&](const char* sql, const std::optional<QString>& value) {
        if (!value)
            return;
        const std::optional<QString> stored = value->isEmpty() ? std::nullopt : value;
        Statement(m_db, sql).bind(userId, stored).run();
    };
    apply("UPDATE users SET display_name = ?2 WHERE id = ?1", changes.displayName);
    apply("UPDATE users SET bio = ?2 WHERE id = ?1", changes.bio);
    apply("UPDATE users SET country_code = ?2 WHERE id = ?1", changes.countryCode);
    apply("UPDATE users SET avatar_url = ?2 WHERE id = ?1", changes.avatarUrl);
    Statement(m_db, "UPDATE users SET updated_at = ?2 WHERE id = ?1").bind(userId, now).run();
    UserDTO user = loadUser(userId);
    transaction.commit();
    return user;
}

} // namespace lumora::devservice
