#include "Store.h"

#include "Crypto.h"
#include "HttpError.h"

#include <QHash>
#include <QSet>

namespace lumora::devservice {

QString Store::addConversation(const QStringList& usernames, const std::optional<QString>& title,
                               Instant now) {
    Lock lock(m_mutex);
    Transaction transaction(m_db);
    QStringList ids;
    for (const QString& name : usernames) {
        const auto user = findUser("WHERE username = ?1", name);
        if (!user)
            throw HttpError(404, QStringLiteral("There is no user named %1").arg(name));
        if (ids.contains(user->user.id))
            throw HttpError(400, QStringLiteral("%1 is named twice").arg(name));
        ids.append(user->user.id);
    }
    if (ids.size() < 2)
        throw HttpError(400, QStringLiteral("A conversation needs at least two members"));

    const bool direct = ids.size() == 2 && !title;
    if (direct) {
        Statement existing(
            m_db, "SELECT c.id FROM conversations c WHERE c.type = 'direct' "
                  "AND EXISTS (SELECT 1 FROM members WHERE conversation_id = c.id AND user_id = ?1) "
                  "AND EXISTS (SELECT 1 FROM members WHERE conversation_id = c.id AND user_id = ?2)");
        if (existing.bind(ids[0], ids[1]).step())
            return existing.text(0);
    }

    const QString id = randomId();
    Statement(
        m_db,
        "INSERT INTO conversations (id, type, title, created_at, updated_at) VALUES (?1, ?2, ?3, ?4, ?4)")
        .bind(id, direct ? QStringLiteral("direct") : QStringLiteral("group"), title, now)
        .run();
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const QString role = !direct && i == 0 ? QStringLiteral("owner") : QStringLiteral("member");
        Statement(
            m_db,
            "INSERT INTO members (id, conversation_id, user_id, role, joined_at) VALUES (?1, ?2, ?3, ?4, ?5)")
            .bind(randomId(), id, ids[i], role, now)
            .run();
    }
    transaction.commit();
    return id;
}

void Store::requireMember(const QString& userId, const QString& conversationId) {
    Statement query(m_db, "SELECT 1 FROM members WHERE conversation_id = ?1 AND user_id = ?2");
    // Not a member and no such conversation look the same, so ids cannot be probed.
    if (!query.bind(conversationId, userId).step())
        throw HttpError(404, QStringLiteral("Conversation not found"));
}

QList<ConversationMemberDTO> Store::members(const QString& conversationId) {
    Statement query(m_db,
                    "SELECT m.id, m.user_id, m.role, m.joined_at, u.username, u.display_name, u.avatar_url, "
                    "u.verified FROM members m JOIN users u ON u.id = m.user_id "
                    "WHERE m.conversation_id = ?1 ORDER BY m.joined_at, m.rowid");
    query.bind(conversationId);
    QList<ConversationMemberDTO> list;
    while (query.step()) {
        const PublicUserRefDTO user{query.text(1), query.text(4), query.optionalText(5),
                                    query.optionalText(6), query.flag(7)};
        list.append({query.text(0), conversationId, query.text(1), query.text(2), query.instant(3), user});
    }
    return list;
}

std::optional<MessageSummaryDTO> Store::lastMessage(const QString& conversationId) {
    Statement query(m_db, "SELECT id, body, sender_id, created_at FROM messages WHERE conversation_id = ?1 "
                          "ORDER BY created_at DESC, rowid DESC LIMIT 1");
    if (!query.bind(conversationId).step())
        return std::nullopt;
    return MessageSummaryDTO{query.text(0), query.optionalText(1), query.text(2), query.instant(3),
                             std::nullopt};
}

QList<ConversationDTO> Store::conversations(const QString& userId) {
    Lock lock(m_mutex);
    Transaction transaction(m_db); // one consistent snapshot across the queries below
    Statement query(m_db, "SELECT c.id, c.type, c.title, c.created_at, c.updated_at, m.unread_count "
                          "FROM conversations c JOIN members m ON m.conversation_id = c.id "
                          "WHERE m.user_id = ?1 ORDER BY c.updated_at DESC, c.rowid DESC");
    query.bind(userId);
    QList<ConversationDTO> list;
    while (query.step()) {
        ConversationDTO c;
        c.id = query.text(0);
        c.type = query.text(1);
        c.title = query.optionalText(2);
        c.createdAt = query.instant(3);
        c.updatedAt = query.instant(4);
        c.unreadCount = query.integer(5);
        c.members = members(c.id);
        if (c.members->size() == 2) {
            const auto& other = c.members->at(0).userId == userId ? c.members->at(1) : c.members->at(0);
            c.peer = loadUser(other.userId);
        }
        c.lastMessage = lastMessage(c.id);
        list.append(std::move(c));
    }
    transaction.commit();
    return list;
}

QList<AttachmentMetaDTO> Store::attachments(const QString& messageId) {
    Statement query(m_db, "SELECT a.id, a.created_at, d.id, d.mime_type, d.size_bytes, d.file_name "
                          "FROM attachments a JOIN media d ON d.id = a.media_id "
                          "WHERE a.message_id = ?1 ORDER BY a.position");
    query.bind(messageId);
    QList<AttachmentMetaDTO> list;
    while (query.step())
        list.append({query.text(0), messageId, mediaUrl(query.text(2)), query.text(3), query.integer(4),
                     query.text(5), query.instant(1)});
    return list;
}

namespace {

MessageDTO message(const QString& id, const QString& conversationId, const QString& senderId,
                   std::optional<QString> body, Instant createdAt, QList<AttachmentMetaDTO> attachments) {
    MessageDTO m{id, conversationId,        senderId, std::move(body), createdAt, {}, {},
                 {}, std::move(attachments)};
    // Clients from before attachment lists show this one name.
    if (!m.attachments->isEmpty())
        m.attachmentName = m.attachments->first().fileName;
    return m;
}

} // namespace

QList<MessageDTO> Store::readMessages(const QString& userId, const QString& conversationId) {
    Lock lock(m_mutex);
    Transaction transaction(m_db);
    requireMember(userId, conversationId);
    Statement query(m_db, "SELECT id, sender_id, body, created_at FROM messages WHERE conversation_id = ?1 "
                          "ORDER BY created_at, rowid");
    query.bind(conversationId);
    QList<MessageDTO> list;
    while (query.step())
        list.append(message(query.text(0), conversationId, query.text(1), query.optionalText(2),
                            query.instant(3), attachments(query.text(0))));
    markRead(userId, conversationId);
    transaction.commit();
    return list;
}

void Store::markRead(const QString& userId, const QString& conversationId) {
    Lock lock(m_mutex);
    // Only a real change writes: most fetches find the conversation read already.
    Statement(m_db, "UPDATE members SET unread_count = 0 "
                    "WHERE conversation_id = ?1 AND user_id = ?2 AND unread_count <> 0")
        .bind(conversationId, userId)
        .run();
}

namespace {

QByteArray tagOf(const char* kind, const QString& key, const QString& state) {
    return '"' + shortDigest(QByteArray(kind) + '\n' + key.toUtf8() + '\n' + state.toUtf8()) + '"';
}

} // namespace

QByteArray Store::conversationsTag(const QString& userId) {
    Lock lock(m_mutex);
    // Whatever the list shows moves one of these columns: a message (the newest rowid; messages are
    // never edited), a read (the unread count), the title, a member joining (the count) or changing
    // their profile (the sum of the members' updated_at).
    Statement query(m_db,
                    "SELECT group_concat(c.id || ',' || c.updated_at || ',' || quote(c.title) || ',' || "
                    "m.unread_count || ',' || "
                    "(SELECT ifnull(max(rowid), 0) FROM messages WHERE conversation_id = c.id) || ',' || "
                    "(SELECT count(*) || '.' || total(u.updated_at) FROM members x "
                    "JOIN users u ON u.id = x.user_id WHERE x.conversation_id = c.id), ';') "
                    "FROM members m JOIN conversations c ON c.id = m.conversation_id WHERE m.user_id = ?1");
    query.bind(userId).step();
    return tagOf("conversations", userId, query.text(0));
}

QByteArray Store::messagesTag(const QString& userId, const QString& conversationId) {
    Lock lock(m_mutex);
    requireMember(userId, conversationId);
    // Messages and their attachments are only ever added, together, in one transaction.
    Statement query(
        m_db, "SELECT count(*) || '.' || ifnull(max(rowid), 0) FROM messages WHERE conversation_id = ?1");
    query.bind(conversationId).step();
    return tagOf("messages", conversationId, query.text(0));
}

MessageDTO Store::addMessage(const QString& userId, const QString& conversationId,
                             const std::optional<QString>& body, const QStringList& mediaIds, Instant now) {
    Lock lock(m_mutex);
    Transaction transaction(m_db);
    requireMember(userId, conversationId);
    const QString id = randomId();
    Statement(
        m_db,
        "INSERT INTO messages (id, conversation_id, sender_id, body, created_at) VALUES (?1, ?2, ?3, ?4, ?5)")
        .bind(id, conversationId, userId, body, now)
        .run();
    for (qsizetype i = 0; i < mediaIds.size(); ++i) {
        const auto stored = media(mediaIds[i]);
        // Only the uploader may attach a file, so a leaked media URL cannot be reposted as someone else's.
        if (!stored || stored->uploaderId != userId)
            throw HttpError(400,
                            QStringLiteral("attachments[%1].url does not name a file you uploaded").arg(i));
        Statement(m_db, "INSERT INTO attachments (id, message_id, media_id, position, created_at) "
                        "VALUES (?1, ?2, ?3, ?4, ?5)")
            .bind(randomId(), id, mediaIds[i], std::int64_t(i), now)
            .run();
    }
    Statement(m_db, "UPDATE conversations SET updated_at = max(updated_at, ?2) WHERE id = ?1")
        .bind(conversationId, now)
        .run();
    Statement(
        m_db,
        "UPDATE members SET unread_count = unread_count + 1 WHERE conversation_id = ?1 AND user_id <> ?2")
        .bind(conversationId, userId)
        .run();
    MessageDTO sent = message(id, conversationId, userId, body, now, attachments(id));
    transaction.commit();
    return sent;
}

} // namespace lumora::devservice
