#include "core/conversations/InboxWatch.h"

#include <utility>

#include <QNetworkInformation>

#include <algorithm>

namespace lumora {

InboxWatch::InboxWatch(InboxViewModel* inbox, QObject* parent)
    : QObject(parent)
    , m_inbox(inbox) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &InboxWatch::askNow);
    connect(m_inbox, &InboxViewModel::snapshotArrived, this, &InboxWatch::onSnapshot);
    connect(m_inbox, &InboxViewModel::loadFinished, this, &InboxWatch::onLoadFinished);
}

void InboxWatch::setIntervals(std::chrono::milliseconds every, std::chrono::milliseconds longest) {
    m_every = every;
    m_longest = std::max(every, longest);
    m_delay = m_every;
    if (m_timer.isActive())
        m_timer.start(m_delay); // the next question waits as long as asked from now on
}

void InboxWatch::start() {
    if (m_running)
        return;
    m_running = true;
    // Not at construction: loading the platform's backend would delay the first window.
    if (!std::exchange(m_followingNetwork, true))
        followNetwork();
    m_delay = m_every;
    // Rows the inbox already holds from the service are the history the next list is compared with.
    if (m_inbox->hasServiceRows())
        onSnapshot();
    askNow();
}

void InboxWatch::stop() {
    m_running = false;
    m_timer.stop();
    m_last.reset();
    setUnread({});
}

void InboxWatch::askNow() {
    if (!m_running)
        return;
    m_timer.stop();
    m_inbox->refresh(); // its end (loadFinished) schedules the next question
}

void InboxWatch::onSnapshot() {
    if (!m_running)
        return;
    const QList<ConversationDTO>& now = m_inbox->conversations();
    QList<Arrival> news;
    if (m_last)
        news = arrivalsFromOthers(*m_last, now, m_inbox->currentUserId());
    m_last = now;
    setUnread(unreadTotals(now));
    if (!news.isEmpty())
        Q_EMIT arrived(news);
}

void InboxWatch::onLoadFinished(bool reached) {
    if (!m_running)
        return;
    // Whoever asked (the screen or the timer), the next question comes one delay after this answer.
    m_delay = reached ? m_every : std::min(m_delay * 2, m_longest);
    schedule();
}

void InboxWatch::schedule() {
    m_timer.start(m_delay);
}

void InboxWatch::setUnread(UnreadTotals totals) {
    if (totals == m_unread)
        return;
    m_unread = totals;
    Q_EMIT unreadChanged();
}

void InboxWatch::followNetwork() {
    // Where the platform tells reachability (NetworkManager, GLib), a returning network ends the back-off.
    // Loaded once per process: the backend is the platform's, shared by every watch.
    static const bool loaded = QNetworkInformation::loadDefaultBackend() ||
                               QNetworkInformation::load(QNetworkInformation::Feature::Reachability);
    QNetworkInformation* network = loaded ? QNetworkInformation::instance() : nullptr;
    if (!network)
        return;
    connect(network, &QNetworkInformation::reachabilityChanged, this,
            [this](QNetworkInformation::Reachability reachability) {
                if (reachability == QNetworkInformation::Reachability::Online && m_delay > m_every) {
                    m_delay = m_every;
                    askNow();
                }
            });
}

} // namespace lumora
