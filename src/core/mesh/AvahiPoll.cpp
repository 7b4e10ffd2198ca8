#include "core/mesh/AvahiPoll.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <limits>

#include <sys/time.h>

#include <avahi-common/timeval.h>

// Avahi may free a watch or timeout from inside its own callback, so freeing only marks it dead
// while that callback runs; the Qt objects go through deleteLater because a notifier or timer must
// not be deleted inside its own signal.

struct AvahiWatch {
    lumora::AvahiQtPoll* owner;
    int fd;
    AvahiWatchEvent wanted;
    AvahiWatchEvent happened = AvahiWatchEvent(0); // only meaningful during the callback
    AvahiWatchCallback callback;
    void* userdata;
    QSocketNotifier* readable = nullptr;
    QSocketNotifier* writable = nullptr;
    bool running = false;
    bool dead = false;
};

struct AvahiTimeout {
    lumora::AvahiQtPoll* owner;
    AvahiTimeoutCallback callback;
    void* userdata;
    QTimer* timer = nullptr;
    bool running = false;
    bool dead = false;
};

namespace lumora {

struct AvahiQtPollCalls {
    static AvahiQtPoll* owner(const AvahiPoll* api) { return static_cast<AvahiQtPoll*>(api->userdata); }

    static void enable(AvahiWatch* w) {
        w->readable->setEnabled(!w->dead &&
                                (w->wanted & (AVAHI_WATCH_IN | AVAHI_WATCH_HUP | AVAHI_WATCH_ERR)));
        w->writable->setEnabled(!w->dead && (w->wanted & AVAHI_WATCH_OUT));
    }

    static void fire(AvahiWatch* w, AvahiWatchEvent event) {
        if (w->dead)
            return;
        w->happened = event;
        w->running = true;
        w->callback(w, w->fd, event, w->userdata);
        w->running = false;
        w->happened = AvahiWatchEvent(0);
        if (w->dead)
            destroy(w);
    }

    static void destroy(AvahiWatch* w) {
        w->owner->m_watches.removeOne(w);
        w->readable->deleteLater();
        w->writable->deleteLater();
        delete w;
    }

    static AvahiWatch* watchNew(const AvahiPoll* api, int fd, AvahiWatchEvent event,
                                AvahiWatchCallback callback, void* userdata) {
        AvahiQtPoll* poll = owner(api);
        auto* w = new AvahiWatch{poll, fd, event, AvahiWatchEvent(0), callback, userdata};
        // A hang-up or error shows as readability on Linux; the reader then sees the end of the stream.
        w->readable = new QSocketNotifier(fd, QSocketNotifier::Read, poll);
        w->writable = new QSocketNotifier(fd, QSocketNotifier::Write, poll);
        QObject::connect(w->readable, &QSocketNotifier::activated, poll, [w] { fire(w, AVAHI_WATCH_IN); });
        QObject::connect(w->writable, &QSocketNotifier::activated, poll, [w] { fire(w, AVAHI_WATCH_OUT); });
        enable(w);
        poll->m_watches.append(w);
        return w;
    }

    static void watchUpdate(AvahiWatch* w, AvahiWatchEvent event) {
        w->wanted = event;
        enable(w);
    }

    static AvahiWatchEvent watchGetEvents(AvahiWatch* w) { return w->happened; }

    static void watchFree(AvahiWatch* w) {
        w->dead = true;
        enable(w);
        if (!w->running)
            destroy(w);
    }

    static void arm(AvahiTimeout* t, const struct timeval* tv) {
        if (!tv || t->dead) {
            t->timer->stop();
            return;
        }
        // avahi_age is negative for a time still ahead; round up so we never fire early.
        const AvahiUsec ahead = -avahi_age(tv);
        t->timer->start(int(std::clamp<AvahiUsec>((ahead + 999) / 1000, 0, std::numeric_limits<int>::max())));
    }

    static void fire(AvahiTimeout* t) {
        if (t->dead)
            return;
        t->running = true;
        t->callback(t, t->userdata);
        t->running = false;
        if (t->dead)
            destroy(t);
    }

    static void destroy(AvahiTimeout* t) {
        t->owner->m_timeouts.removeOne(t);
        t->timer->deleteLater();
        delete t;
    }

    static AvahiTimeout* timeoutNew(const AvahiPoll* api, const struct timeval* tv,
                                    AvahiTimeoutCallback callback, void* userdata) {
        AvahiQtPoll* poll = owner(api);
        auto* t = new AvahiTimeout{poll, callback, userdata};
        t->timer = new QTimer(poll);
        t->timer->setSingleShot(true);
        t->timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(t->timer, &QTimer::timeout, poll, [t] { fire(t); });
        arm(t, tv);
        poll->m_timeouts.append(t);
        return t;
    }

    static void timeoutUpdate(AvahiTimeout* t, const struct timeval* tv) { arm(t, tv); }

    static void timeoutFree(AvahiTimeout* t) {
        t->dead = true;
        t->timer->stop();
        if (!t->running)
            destroy(t);
    }
};

AvahiQtPoll::AvahiQtPoll(QObject* parent)
    : QObject(parent)
    , m_api{this,
            &AvahiQtPollCalls::watchNew,
            &AvahiQtPollCalls::watchUpdate,
            &AvahiQtPollCalls::watchGetEvents,
            &AvahiQtPollCalls::watchFree,
            &AvahiQtPollCalls::timeoutNew,
            &AvahiQtPollCalls::timeoutUpdate,
            &AvahiQtPollCalls::timeoutFree} {}

// Whatever Avahi did not free goes now; the notifiers and timers are our children.
AvahiQtPoll::~AvahiQtPoll() {
    qDeleteAll(m_watches);
    qDeleteAll(m_timeouts);
}

} // namespace lumora
