#pragma once

#include "core/conversations/InboxNews.h"
#include "core/desktop/DesktopNotifications.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <QCoroTask>

#include <functional>

namespace lumora {

// Tells the user of messages that arrived while they were not looking: one desktop notification per
// conversation, replaced (not stacked) by the next message there, opening that conversation when
// activated and answering it where the server takes inline replies.
class MessageNotifier : public QObject {
    Q_OBJECT

public:
    explicit MessageNotifier(DesktopNotifications* desktop, QObject* parent = nullptr);

    void setEnabled(bool enabled); // off withdraws what is shown
    bool isEnabled() const { return m_enabled; }
    void setCurrentUserId(const QString& id) { m_currentUserId = id; }
    // Whether the user sees that conversation now; it then gets no notification.
    void setOnScreen(std::function<bool(const QString& conversationId)> onScreen) {
        m_onScreen = std::move(onScreen);
    }

    QCoro::Task<> tell(QList<Arrival> arrivals);
    // The conversation was read: its notification goes.
    void withdraw(const QString& conversationId);
    void withdrawAll();

Q_SIGNALS:
    void activated(const QString& conversationId);
    void replied(const QString& conversationId, const QString& text);

private:
    struct Shown {
        quint32 id = 0;
        std::int64_t count = 0; // messages told since the user last looked
    };

    QCoro::Task<> show(Arrival arrival);
    QString conversationOf(quint32 id) const;

    DesktopNotifications* m_desktop;
    bool m_enabled = true;
    QString m_currentUserId;
    std::function<bool(const QString&)> m_onScreen;
    QHash<QString, Shown> m_shown; // by conversation id
    quint64 m_generation = 0;      // what was under way before withdrawAll() is not shown
};

} // namespace lumora
