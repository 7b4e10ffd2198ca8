#pragma once

#include "Schema.h"
#include "wire/WireRecords.h"

#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace lumora::devservice {

Instant currentInstant();

struct StoredUser {
    UserDTO user;
    std::string passwordHash;
};

struct NewUser {
    QString username;
    std::string passwordHash;
    std::optional<QString> displayName;
    std::optional<QString> countryCode;
    UserRole role = UserRole::user;
    bool verified = false;
    bool mustChangePassword = false;
};

// Who made a request: the user, and the digest of the access token they used.
struct Session {
    QString userId;
    std::string tokenDigest;
};

struct MediaRecord {
    QString id;
    QString uploaderId;
    QString fileName;
    QString mimeType;
    std::int64_t sizeBytes = 0;
    Instant createdAt{};
};

// Everything the service keeps, over one SQLite connection. Every method is safe to call from the
// server's worker threads: they take turns on one lock, and each runs in a transaction of its own
// unless called inside atomically(). Failures a caller should see are thrown as HttpError.
class Store {
public:
    explicit Store(Database& db)
        : m_db(db) {}

    // Runs `work` as one transaction: all of its changes or none.
    void atomically(const std::function<void()>& work);

    bool isEmpty();

    QString addUser(const NewUser& user, Instant now);
    std::optional<StoredUser> userByName(const QString& username);
    std::optional<StoredUser> userById(const QString& id);

    AuthTokensDTO openSession(const QString& userId, Instant now);
    std::optional<Session> session(const QString& accessToken, Instant now);
    // Also ends every other session of the user: a changed password locks out whoever had the old one.
    void changePassword(const Session& session, const std::string& passwordHash, Instant now);
    UserDTO updateProfile(const QString& userId, const UpdateProfileRequest& changes, Instant now);

    // A two-person conversation without a title is direct, and asked for again it is the same one.
    QString addConversation(const QStringList& usernames, const std::optional<QString>& title, Instant now);
    QList<ConversationDTO> conversations(const QString& userId);
    // Oldest first; marks the conversation read for the user.
    QList<MessageDTO> readMessages(const QString& userId, const QString& conversationId);
    void markRead(const QString& userId, const QString& conversationId);
    // Entity tags (quoted) that change whenever `conversations(userId)` or `readMessages(…)` would
    // answer otherwise, computed from a few columns rather than from the reply itself, so an
    // unchanged poll costs neither the reply's queries nor its encoding.
    QByteArray conversationsTag(const QString& userId);
    QByteArray messagesTag(const QString& userId, const QString& conversationId); // members only
    MessageDTO addMessage(const QString& userId, const QString& conversationId,
                          const std::optional<QString>& body, const QStringList& mediaIds, Instant now);

    void addMedia(const MediaRecord& media);
    std::optional<MediaRecord> media(const QString& id);

    static constexpr std::int64_t accessTokenSeconds = 24 * 60 * 60;
    static constexpr std::int64_t refreshTokenSeconds = 30 * 24 * 60 * 60;

private:
    using Lock = std::lock_guard<std::recursive_mutex>;

    std::optional<StoredUser> findUser(const char* where, const QString& key);
    UserDTO loadUser(const QString& id);
    void requireMember(const QString& userId, const QString& conversationId);
    QList<ConversationMemberDTO> members(const QString& conversationId);
    std::optional<MessageSummaryDTO> lastMessage(const QString& conversationId);
    QList<AttachmentMetaDTO> attachments(const QString& messageId);

    Database& m_db;
    std::recursive_mutex m_mutex; // recursive so that atomically() can call the other methods
};

QString mediaUrl(const QString& mediaId);

} // namespace lumora::devservice
