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
    const AvahiPoll* api;
    bool freeItself = false;
    int calls = 0;
    AvahiWatchEvent event = AvahiWatchEvent(0);
    AvahiWatchEvent reported = AvahiWatchEvent(0); // watch_get_events inside the callback
};

void onTimeout(AvahiTimeout* timeout, void* data) {
    auto* seen = static_cast<Seen*>(data);
    ++seen->calls;
    if (seen->freeItself)
        seen->api->timeout_free(timeout);
}

// A watch that frees itself leaves the data unread: were it still alive, it would fire again.
void onWatch(AvahiWatch* watch, int fd, AvahiWatchEvent event, void* data) {
    auto* seen = static_cast<Seen*>(data);
    ++seen->calls;
    seen->event = event;
    seen->reported = seen->api->watch_get_events(watch);
    char buffer[16];
    if (seen->freeItself)
        seen->api->watch_free(watch);
    else if (event & AVAHI_WATCH_OUT)
        seen->api->watch_update(watch, AvahiWatchEvent(0)); // writable for ever otherwise
    else
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
}

timeval inMs(int ms) {
    timeval when;
    return *avahi_elapse_time(&when, unsigned(ms), 0);
}

} // namespace

// The adapter that runs Avahi's watches and timeouts on the Qt event loop.
class AvahiPollTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void timeoutsFireOnceOnTimeAndCanBeMovedDisarmedOrFreedWhileFiring() {
        AvahiQtPoll poll;
        const AvahiPoll* api = poll.api();
        Seen first{api}, marker{api}, idle{api}, self{api, true};
        const timeval now = inMs(0);
        api->timeout_new(api, &now, &onTimeout, &self);
        // Created without a time: armed only by an update.
        AvahiTimeout* unarmed = api->timeout_new(api, nullptr, &onTimeout, &idle);
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
        QCOMPARE(self.calls, 1);
        QCOMPARE(idle.calls, 0);
        api->timeout_update(unarmed, &soon);
        QTRY_COMPARE_WITH_TIMEOUT(idle.calls, 1, 5000);
        for (AvahiTimeout* t : {timeout, after, unarmed})
            api->timeout_free(t);
    }

    void watchesReportWhatHappenedFollowUpdatesAndMayFreeThemselves() {
        AvahiQtPoll poll;
        const AvahiPoll* api = poll.api();
        int fds[2], other[2];
        QVERIFY(::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0 && ::pipe2(other, O_CLOEXEC | O_NONBLOCK) == 0);
        Seen reader{api}, writer{api}, self{api, true};
        api->watch_new(api, other[0], AVAHI_WATCH_IN, &onWatch, &self);
        AvahiWatch* watch = api->watch_new(api, fds[0], AVAHI_WATCH_IN, &onWatch, &reader);
        QVERIFY(::write(fds[1], "x", 1) == 1 && ::write(other[1], "x", 1) == 1);
        QTRY_COMPARE_WITH_TIMEOUT(reader.calls, 1, 5000);
        QVERIFY(reader.event == AVAHI_WATCH_IN && reader.reported == AVAHI_WATCH_IN);
        QCOMPARE(api->watch_get_events(watch), AvahiWatchEvent(0)); // only inside the callback

        // Switched off, pending data is not reported; a writable watch on the other end shows the
        // loop kept turning meanwhile.
        api->watch_update(watch, AvahiWatchEvent(0));
        QVERIFY(::write(fds[1], "x", 1) == 1);
        AvahiWatch* output = api->watch_new(api, fds[1], AVAHI_WATCH_OUT, &onWatch, &writer);
        QTRY_COMPARE_WITH_TIMEOUT(writer.calls, 1, 5000);
        QVERIFY(writer.event == AVAHI_WATCH_OUT && writer.reported == AVAHI_WATCH_OUT);
        QCOMPARE(reader.calls, 1);
        api->watch_update(watch, AVAHI_WATCH_IN);
        QTRY_COMPARE_WITH_TIMEOUT(reader.calls, 2, 5000);
        QCOMPARE(self.calls, 1);

        api->watch_free(watch);
        api->watch_free(output);
        for (int fd : {fds[0], fds[1], other[0], other[1]})
            ::close(fd);
    }
};

QTEST_GUILESS_MAIN(AvahiPollTest)
#include "tst_avahi_poll.moc"
