#pragma once

#include <avahi-common/watch.h>

#include <QList>
#include <QObject>

namespace lumora {

// Avahi's main-loop interface served by the Qt event loop of the thread that owns this object:
// socket watches become QSocketNotifiers and timeouts QTimers, so every Avahi callback runs there.
// Destroy it only after the Avahi objects that use it are freed.
class AvahiQtPoll : public QObject {
public:
    explicit AvahiQtPoll(QObject* parent = nullptr);
    ~AvahiQtPoll() override;

    const AvahiPoll* api() const { return &m_api; }

private:
    friend struct AvahiQtPollCalls;
    AvahiPoll m_api;
    QList<AvahiWatch*> m_watches;
    QList<AvahiTimeout*> m_timeouts;
};

} // namespace lumora
