#include "core/conversations/DisplayTexts.h"

#include "core/settings/TextCatalogue.h"

#include <algorithm>

namespace lumora {

namespace {

const QString paperclip = QStringLiteral("\U0001F4CE ");

PublicUserRefDTO refOf(const UserDTO& user) {
    return {user.id, user.username, user.displayName, user.avatarUrl, user.verified};
}

} // namespace

namespace {

QString nameOrUsername(const std::optional<QString>& displayName, const QString& username) {
    const QString trimmed = displayName.value_or(QString()).trimmed();
    return trimmed.isEmpty() ? username : trimmed;
}

} // namespace

QString resolvedDisplayName(const UserDTO& user) {
    return nameOrUsername(user.displayName, user.username);
}

QString resolvedDisplayName(const PublicUserRefDTO& user) {
    return nameOrUsername(user.displayName, user.username);
}

std::optional<QString> memberName(const ConversationDTO& conversation, const QString& userId) {
    if (conversation.peer && conversation.peer->id == userId)
        return resolvedDisplayName(*conversation.peer);
    for (const ConversationMemberDTO& member : conversation.members.value_or(QList<ConversationMemberDTO>()))
        if (member.userId == userId && member.user)
            return resolvedDisplayName(*member.user);
    return std::nullopt;
}

std::optional<PublicUserRefDTO> peerRef(const ConversationDTO& conversation,
                                        const std::optional<QString>& excluding) {
    if (conversation.peer)
        return refOf(*conversation.peer);
    if (!conversation.members || conversation.members->isEmpty())
        return std::nullopt;
    const QList<ConversationMemberDTO>& members = *conversation.members;
    if (excluding) {
        // Only the first member who is someone else counts; without a user record, fall through.
        for (const ConversationMemberDTO& member : members) {
            if (member.userId != *excluding) {
                if (member.user)
                    return member.user;
                break;
            }
        }
    }
    return members.first().user;
}

QString displayTitle(const ConversationDTO& conversation, const std::optional<QString>& excluding) {
    if (conversation.title && !conversation.title->isEmpty())
        return *conversation.title;
    if (const auto peer = peerRef(conversation, excluding))
        return resolvedDisplayName(*peer);
    return catalogueText("inbox.conversation");
}

QString displayBody(const MessageDTO& message) {
    if (message.body && !message.body->isEmpty())
        return *message.body;
    if (message.attachments && !message.attachments->isEmpty() && message.attachments->first().fileName)
        return paperclip + *message.attachments->first().fileName;
    if (message.attachmentName)
        return paperclip + *message.attachmentName;
    return QString();
}

QString senderName(const ConversationDTO& conversation, const QString& senderId, const QString& me) {
    if (!me.isEmpty() && senderId == me)
        return catalogueText("a11y.you");
    return memberName(conversation, senderId).value_or(QString());
}

QString spokenText(const QStringList& parts) {
    QStringList said;
    for (const QString& part : parts)
        if (!part.trimmed().isEmpty())
            said.append(part.simplified()); // a multi-line body is read as one run
    return said.join(catalogueText("a11y.separator"));
}

void sortForInbox(QList<ConversationDTO>& conversations) {
    std::stable_sort(
        conversations.begin(), conversations.end(),
        [](const ConversationDTO& a, const ConversationDTO& b) { return a.updatedAt > b.updatedAt; });
}

} // namespace lumora
