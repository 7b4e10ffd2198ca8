#include "wire/WireEncode.h"

namespace lumora {

namespace {

template <class T> void put(QJsonObject& o, const char* key, const std::optional<T>& value) {
    if (value)
        o.insert(QLatin1String(key), QJsonValue(*value));
}

void put(QJsonObject& o, const char* key, const std::optional<Instant>& value) {
    if (value)
        o.insert(QLatin1String(key), formatTimestamp(*value));
}

void put(QJsonObject& o, const char* key, const std::optional<std::int64_t>& value) {
    if (value)
        o.insert(QLatin1String(key), qint64(*value));
}

template <class T> void putList(QJsonObject& o, const char* key, const std::optional<QList<T>>& value) {
    if (value)
        o.insert(QLatin1String(key), toJson(*value));
}

} // namespace

QJsonObject toJson(const UserDTO& u) {
    QJsonObject o{{QStringLiteral("id"), u.id},
                  {QStringLiteral("username"), u.username},
                  {QStringLiteral("role"), toString(u.role)},
                  {QStringLiteral("verified"), u.verified},
                  {QStringLiteral("mustChangePassword"), u.mustChangePassword}};
    put(o, "displayName", u.displayName);
    put(o, "email", u.email);
    put(o, "bio", u.bio);
    put(o, "countryCode", u.countryCode);
    put(o, "avatarUrl", u.avatarUrl);
    put(o, "createdAt", u.createdAt);
    put(o, "updatedAt", u.updatedAt);
    return o;
}

QJsonObject toJson(const PublicUserRefDTO& u) {
    QJsonObject o{{QStringLiteral("id"), u.id},
                  {QStringLiteral("username"), u.username},
                  {QStringLiteral("verified"), u.verified}};
    put(o, "displayName", u.displayName);
    put(o, "avatarUrl", u.avatarUrl);
    return o;
}

QJsonObject toJson(const AuthTokensDTO& t) {
    QJsonObject o{{QStringLiteral("accessToken"), t.accessToken}};
    put(o, "refreshToken", t.refreshToken);
    put(o, "tokenType", t.tokenType);
    put(o, "expiresIn", t.expiresIn);
    return o;
}

QJsonObject toJson(const LoginResponse& r) {
    return {{QStringLiteral("tokens"), toJson(r.tokens)}, {QStringLiteral("user"), toJson(r.user)}};
}

QJsonObject toJson(const ConversationMemberDTO& m) {
    QJsonObject o{{QStringLiteral("id"), m.id},
                  {QStringLiteral("conversationId"), m.conversationId},
                  {QStringLiteral("userId"), m.userId},
                  {QStringLiteral("role"), m.role}};
    put(o, "joinedAt", m.joinedAt);
    if (m.user)
        o.insert(QStringLiteral("user"), toJson(*m.user));
    return o;
}

QJsonObject toJson(const MessageSummaryDTO& m) {
    QJsonObject o{{QStringLiteral("id"), m.id},
                  {QStringLiteral("senderId"), m.senderId},
                  {QStringLiteral("createdAt"), formatTimestamp(m.createdAt)}};
    put(o, "body", m.body);
    put(o, "deletedAt", m.deletedAt);
    return o;
}

QJsonObject toJson(const ConversationDTO& c) {
    QJsonObject o{{QStringLiteral("id"), c.id},
                  {QStringLiteral("updatedAt"), formatTimestamp(c.updatedAt)},
                  {QStringLiteral("unreadCount"), qint64(c.unreadCount)}};
    put(o, "type", c.type);
    put(o, "title", c.title);
    putList(o, "members", c.members);
    if (c.peer)
        o.insert(QStringLiteral("peer"), toJson(*c.peer));
    if (c.lastMessage)
        o.insert(QStringLiteral("lastMessage"), toJson(*c.lastMessage));
    put(o, "createdAt", c.createdAt);
    return o;
}

QJsonObject toJson(const AttachmentMetaDTO& a) {
    QJsonObject o{{QStringLiteral("url"), a.url},
                  {QStringLiteral("mimeType"), a.mimeType},
                  {QStringLiteral("sizeBytes"), qint64(a.sizeBytes)}};
    put(o, "id", a.id);
    put(o, "messageId", a.messageId);
    put(o, "fileName", a.fileName);
    put(o, "createdAt", a.createdAt);
    return o;
}

QJsonObject toJson(const UploadedFileMetaDTO& f) {
    return {{QStringLiteral("url"), f.url},
            {QStringLiteral("mimeType"), f.mimeType},
            {QStringLiteral("sizeBytes"), qint64(f.sizeBytes)},
            {QStringLiteral("fileName"), f.fileName}};
}

QJsonObject toJson(const MessageDTO& m) {
    QJsonObject o{{QStringLiteral("id"), m.id},
                  {QStringLiteral("conversationId"), m.conversationId},
                  {QStringLiteral("senderId"), m.senderId},
                  {QStringLiteral("createdAt"), formatTimestamp(m.createdAt)}};
    put(o, "body", m.body);
    put(o, "updatedAt", m.updatedAt);
    put(o, "deletedAt", m.deletedAt);
    put(o, "attachmentName", m.attachmentName);
    putList(o, "attachments", m.attachments);
    return o;
}

QJsonObject toJson(const APIErrorBody& b) {
    QJsonObject o;
    put(o, "message", b.message);
    put(o, "statusCode", b.statusCode);
    put(o, "error", b.error);
    return o;
}

QJsonObject toJson(const EmptyDTO&) {
    return {};
}

QJsonObject toJson(const LoginRequest& r) {
    return {{QStringLiteral("username"), r.username}, {QStringLiteral("password"), r.password}};
}

QJsonObject toJson(const ChangePasswordRequest& r) {
    return {{QStringLiteral("currentPassword"), r.currentPassword},
            {QStringLiteral("newPassword"), r.newPassword}};
}

QJsonObject toJson(const UpdateProfileRequest& r) {
    QJsonObject o;
    put(o, "displayName", r.displayName);
    put(o, "bio", r.bio);
    put(o, "countryCode", r.countryCode);
    put(o, "avatarUrl", r.avatarUrl);
    return o;
}

QJsonObject toJson(const AttachmentInputDTO& a) {
    QJsonObject o{{QStringLiteral("url"), a.url},
                  {QStringLiteral("mimeType"), a.mimeType},
                  {QStringLiteral("sizeBytes"), qint64(a.sizeBytes)}};
    put(o, "fileName", a.fileName);
    return o;
}

QJsonObject toJson(const SendMessageRequest& r) {
    QJsonObject o;
    if (r.body && !r.body->isEmpty())
        o.insert(QStringLiteral("body"), *r.body);
    if (r.attachments && !r.attachments->isEmpty())
        o.insert(QStringLiteral("attachments"), toJson(*r.attachments));
    return o;
}

} // namespace lumora
