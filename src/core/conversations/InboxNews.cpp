#include "core/conversations/InboxNews.h"

#include <QHash>

#include <algorithm>

namespace lumora {

QList<Arrival> arrivalsFromOthers(const QList<ConversationDTO>& before, const QList<ConversationDTO>& after,
                                  const QString& me) {
    QHash<QString, const ConversationDTO*> earlier;
    for (const ConversationDTO& c : before)
        earlier.insert(c.id, &c);
    QList<Arrival> arrivals;
    for (const ConversationDTO& c : after) {
        if (!c.lastMessage || c.lastMessage->deletedAt || c.lastMessage->senderId == me)
            continue;
        const ConversationDTO* was = earlier.value(c.id);
        if (was && was->lastMessage && was->lastMessage->id == c.lastMessage->id)
            continue;
        const std::int64_t unreadBefore = was ? std::max<std::int64_t>(was->unreadCount, 0) : 0;
        arrivals.append({c, std::max<std::int64_t>(c.unreadCount - unreadBefore, 1)});
    }
    return arrivals;
}

UnreadTotals unreadTotals(const QList<ConversationDTO>& conversations) {
    UnreadTotals totals;
    for (const ConversationDTO& c : conversations) {
        if (c.unreadCount > 0) {
            totals.messages += c.unreadCount;
            ++totals.conversations;
        }
    }
    return totals;
}

} // namespace lumora
