#include "core/mesh/AvahiPoll.h"

#include <QElapsedTimer>
#include <QTest>

#include <avahi-common/timeval.h>

#include <fcntl.h>
#include <unistd.h>

using namespace lumora;

namespace {

// What a callback saw; the callbacks are plain functions, as Avahi calls them.
struct Seen {
    const AvahiPoll* api = nullptr;
    int calls = 0;
    AvahiWatchEvent event = AvahiWatchEvent(0);
    AvahiWatchEvent reported = AvahiWatchEvent(0); // watch_get_events inside the callback
    bool freeItself = false;
    bool drain = true;
};

void onTimeout(AvahiTimeout* timeout, void* data) {
    auto* seen = static_cast<Seen*>(data);
    ++seen->calls;
    if (seen->freeItself)
        seen->api->timeout_free(timeout);
}

void onWatch(AvahiWatch* watch, int fd, AvahiWatchEvent event, void* data) {
    auto* seen = static_cast<Seen*>(data);
    ++seen->calls;
    seen->event = event;
    seen->reported = seen->api->watch_get_events(watch);
    char buffer[16];
    if (seen->drain && (event & AVAHI_WATCH_IN))
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
    if (event & AVAHI_WATCH_OUT)
        seen->api->watch_update(watch, AvahiWatchEvent(0)); // writable for ever otherwise
    if (seen->freeItself)
        seen->api->watch_free(watch);
}

timeval inMs(int ms) {
    timeval when;
    avahi_elapse_time(&when, unsigned(ms), 0);
    return when;
}

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() {
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            qFatal("pipe2 failed");
    }
    ~Pipe() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    void put() { QCOMPARE(::write(fds[1], "x", 1), ssize_t(1)); }
};

} // namespace

// The adapter that runs Avahi's watches and timeouts on the Qt event loop.
class AvahiPollTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void timeoutsFireOnceOnTimeAndCanBeMovedOrDisarmed() {
        AvahiQtPoll poll;
        const AvahiPoll* api = poll.api();
        Seen first{api};
        Seen marker{api};
        QElapsedTimer clock;
        clock.start();
        const timeval when = inMs(150);
        AvahiTimeout* timeout = api->timeout_new(api, &when, &onTimeout, &first);
        QTRY_COMPARE_WITH_TIMEOUT(first.calls, 1, 5000);
        QVERIFY2(clock.elapsed() >= 149, qPrintable(QString::number(clock.elapsed())));

        // Moved: fires once more. Disarmed: a later timeout fires while this one stays quiet.
        const timeval soon = inMs(20);
        api->timeout_update(timeout, &soon);
        QTRY_COMPARE_WITH_TIMEOUT(first.calls, 2, 5000);
        api->timeout_update(timeout, &soon);
        api->timeout_update(timeout, nullptr);
        const timeval later = inMs(100);
        AvahiTimeout* after = api->timeout_new(api, &later, &onTimeout, &marker);
        QTRY_COMPARE_WITH_TIMEOUT(marker.calls, 1, 5000);
        QCOMPARE(first.calls, 2);

        // Created without a time: armed only by an update.
        Seen idle{api};
        AvahiTimeout* unarmed = api->timeout_new(api, nullptr, &onTimeout, &idle);
        api->timeout_update(after, &soon);
        QTRY_COMPARE_WITH_TIMEOUT(marker.calls, 2, 5000);
        QCOMPARE(idle.calls, 0);
        api->timeout_update(unarmed, &soon);
        QTRY_COMPARE_WITH_TIMEOUT(idle.calls, 1, 5000);

        api->timeout_free(timeout);
        api->timeout_free(after);
        api->timeout_free(unarmed);
    }

    void aTimeoutMayFreeItselfWhileFiring() {
        AvahiQtPoll poll;
        const AvahiPoll* api = poll.api();
        Seen self{api};
        self.freeItself = true;
        Seen marker{api};
        const timeval now = inMs(0);
        api->timeout_new(api, &now, &onTimeout, &self);
        const timeval later = inMs(50);
        AvahiTimeout* after = api->timeout_new(api, &later, &onTimeout, &marker);
        QTRY_COMPARE_WITH_TIMEOUT(marker.calls, 1, 5000);
        QCOMPARE(self.calls, 1);
        api->timeout_free(after);
    }

    void watchesReportWhatHappenedAndFollowUpdates() {
        AvahiQtPoll poll;
        const AvahiPoll* api = poll.api();
        Pipe pipe;
        Seen reader{api};
        AvahiWatch* watch = api->watch_new(api, pipe.fds[0], AVAHI_WATCH_IN, &onWatch, &reader);
        pipe.put();
        QTRY_COMPARE_WITH_TIMEOUT(reader.calls, 1, 5000);
        QCOMPARE(reader.event, AVAHI_WATCH_IN);
        QCOMPARE(reader.reported, AVAHI_WATCH_IN);
        QCOMPARE(api->watch_get_events(watch), AvahiWatchEvent(0)); // only inside the callback

        // Switched off, pending data is not reported; a writable watch on the other end shows the
        // loop kept turning meanwhile.
        api->watch_update(watch, AvahiWatchEvent(0));
        pipe.put();
        Seen writer{api};
        AvahiWatch* other = api->watch_new(api, pipe.fds[1], AVAHI_WATCH_OUT, &onWatch, &writer);
        QTRY_COMPARE_WITH_TIMEOUT(writer.calls, 1, 5000);
        QCOMPARE(writer.event, AVAHI_WATCH_OUT);
        QCOMPARE(writer.reported, AVAHI_WATCH_OUT);
        QCOMPARE(reader.calls, 1);
        api->watch_update(watch, AVAHI_WATCH_IN);
        QTRY_COMPARE_WITH_TIMEOUT(reader.calls, 2, 5000);

        api->watch_free(watch);
        api->watch_free(other);
    }

    void aWatchMayFreeItselfWhileFiring() {
        AvahiQtPoll poll;
        const AvahiPoll* api = poll.api();
        Pipe pipe;
        Seen reader{api};
        reader.freeItself = true;
        reader.drain = false; // still readable afterwards: a live watch would fire again
        api->watch_new(api, pipe.fds[0], AVAHI_WATCH_IN, &onWatch, &reader);
        pipe.put();
        QTRY_COMPARE_WITH_TIMEOUT(reader.calls, 1, 5000);
        Seen marker{api};
        const timeval later = inMs(100);
        AvahiTimeout* after = api->timeout_new(api, &later, &onTimeout, &marker);
        QTRY_COMPARE_WITH_TIMEOUT(marker.calls, 1, 5000);
        QCOMPARE(reader.calls, 1);
        api->timeout_free(after);
    }
};

QTEST_GUILESS_MAIN(AvahiPollTest)
#include "tst_avahi_poll.moc"
