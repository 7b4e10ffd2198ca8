#pragma once

#include "wire/WireRecords.h"

#include <QList>
#include <QString>

#include <cstdint>

// What changed between two successive inbox snapshots, as the watch tells the user.
namespace lumora {

// A conversation whose newest message changed to one somebody else sent.
struct Arrival {
    ConversationDTO conversation;
    // How many messages arrived since the earlier snapshot, as far as the unread counts tell (at least 1).
    std::int64_t count = 1;
};

// The conversations whose last message is new in `after` and was not sent by `me`, in `after`'s order.
// A conversation that `before` did not have is new too.
QList<Arrival> arrivalsFromOthers(const QList<ConversationDTO>& before, const QList<ConversationDTO>& after,
                                  const QString& me);

struct UnreadTotals {
    std::int64_t messages = 0;
    int conversations = 0; // with at least one unread message

    bool operator==(const UnreadTotals&) const = default;
};

// The sums of the service's unread counts (negative counts read as 0).
UnreadTotals unreadTotals(const QList<ConversationDTO>& conversations);

} // namespace lumora
