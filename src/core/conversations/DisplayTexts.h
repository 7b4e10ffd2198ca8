#pragma once

#include "wire/WireRecords.h"

#include <QList>
#include <QString>

#include <optional>

// The names, texts and order in which screens and the command-line tool show users, conversations
// and messages. Every place that shows one of these uses these functions, so the rules live here once.
namespace lumora {

// The display name without surrounding white space, else the user name.
QString resolvedDisplayName(const UserDTO& user);
QString resolvedDisplayName(const PublicUserRefDTO& user);

// The name of the conversation's member (or peer) with that user id, as the conversation gives it.
std::optional<QString> memberName(const ConversationDTO& conversation, const QString& userId);

// The person on the other side: the peer when the service names one, else the first member other
// than `excluding` (falling back to the first member).
std::optional<PublicUserRefDTO> peerRef(const ConversationDTO& conversation,
                                        const std::optional<QString>& excluding);

// The title when it is not empty, else the other person's name, else the catalogue's "Conversation".
QString displayTitle(const ConversationDTO& conversation, const std::optional<QString>& excluding);

// The body when it is not empty, else a paperclip and the attachment's name, else nothing.
QString displayBody(const MessageDTO& message);

// Who wrote a message, as a reader hears it: "You" for `me`, else the member's name as the
// conversation knows it, else nothing.
QString senderName(const ConversationDTO& conversation, const QString& senderId, const QString& me);

// The parts of what a screen reader reads as one item, in order, the empty ones left out.
QString spokenText(const QStringList& parts);

// Most recently updated first; conversations updated at the same moment keep the service's order.
void sortForInbox(QList<ConversationDTO>& conversations);

} // namespace lumora
