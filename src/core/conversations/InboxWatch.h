#pragma once

#include "core/conversations/InboxNews.h"
#include "core/conversations/InboxViewModel.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

namespace lumora {

// Keeps the signed-in user's inbox fresh while the panel is closed: asks for the conversations every
// ten seconds (a conditional request, so an unchanged inbox costs a few hundred bytes), doubles the
// wait up to five minutes while the service cannot be reached, and asks at once when the network
// comes back. It reads through the inbox model the screens show, so a list on screen and the watch
// never ask for the same thing twice. From two successive lists it tells what arrived.
class InboxWatch : public QObject {
    Q_OBJECT

public:
    explicit InboxWatch(InboxViewModel* inbox, QObject* parent = nullptr);

    // Asks now, then every interval. The first list after a start is history: it tells nothing.
    void start();
    // Forgets the last list and the totals (sign-out).
    void stop();
    bool isRunning() const { return m_running; }
    // Asks now instead of at the next tick (a conversation was read; the network came back).
    void askNow();

    // The wait until the next question: the interval, or more while the service cannot be reached.
    std::chrono::milliseconds currentDelay() const { return m_delay; }
    // Tests and benchmarks shorten these; the product waits 10 s, and at most 5 min.
    void setIntervals(std::chrono::milliseconds every, std::chrono::milliseconds longest);

    const UnreadTotals& unread() const { return m_unread; }

Q_SIGNALS:
    // Messages from others in these conversations since the previous list.
    void arrived(const QList<lumora::Arrival>& arrivals);
    void unreadChanged();

private:
    void onSnapshot();
    void onLoadFinished(bool reached);
    void schedule();
    void setUnread(UnreadTotals totals);
    void followNetwork();

    InboxViewModel* m_inbox;
    QTimer m_timer;
    bool m_running = false;
    bool m_followingNetwork = false;
    std::chrono::milliseconds m_every{10'000};
    std::chrono::milliseconds m_longest{300'000};
    std::chrono::milliseconds m_delay{10'000};
    std::optional<QList<ConversationDTO>> m_last;
    UnreadTotals m_unread;
};

} // namespace lumora
