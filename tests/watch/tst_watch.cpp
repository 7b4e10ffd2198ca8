#include "DevServiceFixture.h"
#include "RecordingNotifications.h"
#include "core/session/AppState.h"
#include "core/settings/PreferenceStore.h"

#include <QSignalSpy>

using namespace lumora;
using namespace std::chrono_literals;

namespace {

// Someone else, signed in to the same service with a client of their own.
struct Sender {
    APIClient api;
    QString id;
    bool signIn(const char* username) {
        const auto login = ::signIn(api, QString::fromLatin1(username), u"lumora-demo"_qs);
        if (login)
            id = login->user.id;
        return login.has_value();
    }
    bool say(const QString& conversationId, const QString& text) {
        return await(api.sendMessage(conversationId, text, std::nullopt)).has_value();
    }
};

QString idTitled(const InboxViewModel& inbox, const QString& title) {
    for (int row = 0; row < inbox.count(); ++row) {
        if (inbox.data(inbox.index(row), InboxViewModel::TitleRole).toString() == title)
            return inbox.conversations().at(row).id;
    }
    return QString();
}

std::optional<QString> lastSender(const InboxViewModel& inbox, const QString& conversationId) {
    for (const ConversationDTO& c : inbox.conversations()) {
        if (c.id == conversationId && c.lastMessage)
            return c.lastMessage->body.value_or(QString()) + u'/' + c.lastMessage->senderId;
    }
    return std::nullopt;
}

std::int64_t unreadIn(const InboxViewModel& inbox) {
    std::int64_t sum = 0;
    for (const ConversationDTO& c : inbox.conversations())
        sum += c.unreadCount;
    return sum;
}

int conversationsWithUnread(const InboxViewModel& inbox) {
    return int(std::count_if(inbox.conversations().begin(), inbox.conversations().end(),
                             [](const ConversationDTO& c) { return c.unreadCount > 0; }));
}

} // namespace

class WatchTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        PreferenceStore::remove(QString::fromLatin1(AppearanceManager::notificationsKey));
        QVERIFY(service.start({u"--seed"_qs}));
    }
    void cleanup() { service.kill(); }

    // The whole path a message takes to the user: the service, the watch, the notification server.
    void notifiesWhatOthersSend() {
        RecordingNotifications server({u"body"_qs, u"actions"_qs, u"body-markup"_qs, u"inline-reply"_qs});
        QVERIFY(server.registered);
        AppState state;
        state.watch()->setIntervals(150ms, 1s);
        QSignalSpy shows(&state, &AppState::showRequested);
        InboxViewModel& inbox = *state.inbox();
        QVERIFY(await(state.auth()->login(u"amina"_qs, u"sunshine123"_qs)));
        QTRY_VERIFY(inbox.hasServiceRows());
        const QString me = state.auth()->currentUserId();
        const QString layla = idTitled(inbox, u"Layla Haddad"_qs),
                      youssef = idTitled(inbox, u"يوسف بنعلي"_qs);
        QVERIFY(!layla.isEmpty() && !youssef.isEmpty());
        // What was there at sign-in is history: counted, never announced.
        QTRY_COMPARE(state.unreadCount(), unreadIn(inbox));
        QVERIFY(state.unreadCount() > 0);
        QTRY_COMPARE(server.launcher.size(), 1);
        QCOMPARE(server.launcherURI, u"application://app.lumora.Lumora.desktop"_qs);
        QCOMPARE(server.launcher.last().value(u"count"_qs).toLongLong(), state.unreadCount());
        QCOMPARE(server.shown.size(), 0);

        Sender laylaSide;
        QVERIFY(laylaSide.signIn("layla"));
        const int before = state.unreadCount();
        QVERIFY(laylaSide.say(layla, u"Are you coming?"_qs));
        QTRY_COMPARE(server.shown.size(), 1);
        const RecordingNotifications::Shown first = server.shown.last();
        QCOMPARE(first.replaces, 0u);
        QCOMPARE(first.summary, u"Layla Haddad"_qs);
        QCOMPARE(first.body, u"Are you coming?"_qs);
        QCOMPARE(first.hints.value(u"desktop-entry"_qs).toString(), u"app.lumora.Lumora"_qs);
        QCOMPARE(first.hints.value(u"category"_qs).toString(), u"im.received"_qs);
        QVERIFY(first.actions.contains(u"default"_qs) && first.actions.contains(u"inline-reply"_qs));
        QTRY_COMPARE(state.unreadCount(), before + 1);
        QCOMPARE(server.launcher.last().value(u"count"_qs).toLongLong(), before + 1);
        QCOMPARE(
            state.unreadSummary(),
            u"Lumora — %1 unread in %2 conversations"_qs.arg(before + 1).arg(conversationsWithUnread(inbox)));

        // The next one replaces it, counted, and markup from the network stays text.
        QVERIFY(laylaSide.say(layla, u"<b>Now</b> & then"_qs));
        QTRY_COMPARE(server.shown.size(), 2);
        QCOMPARE(server.shown.last().replaces, first.id);
        QCOMPARE(server.shown.last().body, u"2 new messages\n&lt;b&gt;Now&lt;/b&gt; &amp; then"_qs);

        // The user's own message is no news, nor is one in the chat they are looking at.
        QVERIFY(await(state.auth()->api()->sendMessage(layla, u"Yes"_qs, std::nullopt)));
        QTRY_COMPARE(lastSender(inbox, layla), u"Yes/"_qs + me);
        state.openConversation(*std::find_if(inbox.conversations().begin(), inbox.conversations().end(),
                                             [&](const ConversationDTO& c) { return c.id == layla; }));
        QTRY_VERIFY(server.closed.contains(first.id)); // opened: its notification goes
        // Reading it marks it read on the service; the count follows without waiting for the next tick.
        state.watch()->setIntervals(1h, 1h);
        await(state.chatModel()->load());
        QTRY_COMPARE(state.unreadCount(), before);
        state.watch()->setIntervals(150ms, 1s);
        state.watch()->askNow();
        state.setWindowActive(true);
        QVERIFY(laylaSide.say(layla, u"Seen it?"_qs));
        QTRY_COMPARE(lastSender(inbox, layla), u"Seen it?/"_qs + laylaSide.id);
        QCOMPARE(server.shown.size(), 2);

        // Activating a notification opens its conversation and asks for the window.
        state.setWindowActive(false);
        Sender youssefSide;
        QVERIFY(youssefSide.signIn("youssef"));
        QVERIFY(youssefSide.say(youssef, u"سلام"_qs));
        QTRY_COMPARE(server.shown.size(), 3);
        const uint fromYoussef = server.shown.last().id;
        server.invoke(fromYoussef, u"default"_qs);
        QTRY_COMPARE(shows.count(), 1);
        QCOMPARE(state.selectedConversation()->id, youssef);

        // A reply typed into the notification goes out as the user's message.
        QVERIFY(youssefSide.say(youssef, u"هل وصلت؟"_qs));
        QTRY_COMPARE(server.shown.size(), 4);
        server.reply(server.shown.last().id, u"On my way"_qs);
        QTRY_COMPARE(lastSender(inbox, youssef), u"On my way/"_qs + me);
        QCOMPARE(server.shown.size(), 4);

        // Switched off: nothing shows, the count still follows.
        state.appearance()->setNotifications(false);
        const int unread = state.unreadCount();
        QVERIFY(youssefSide.say(youssef, u"?"_qs));
        QTRY_COMPARE(state.unreadCount(), unread + 1);
        QCOMPARE(server.shown.size(), 4);
        state.appearance()->setNotifications(true);

        // In a group, the body says who wrote.
        QVERIFY(
            laylaSide.say(idTitled(inbox, u"Weekend in Alexandria 🌊"_qs), u"Who brings the umbrella?"_qs));
        QTRY_COMPARE(server.shown.size(), 5);
        QCOMPARE(server.shown.last().summary, u"Weekend in Alexandria 🌊"_qs);
        QCOMPARE(server.shown.last().body, u"Layla Haddad: Who brings the umbrella?"_qs);

        // Signed out: the count never sticks.
        await(state.auth()->logout());
        QCOMPARE(state.unreadCount(), 0);
        QCOMPARE(state.unreadSummary(), u"Lumora"_qs);
        QTRY_COMPARE(server.launcher.last().value(u"count"_qs).toLongLong(), 0);
    }

    // No notification server on the bus: the counts work, nothing else happens.
    void countsWithoutANotificationServer() {
        AppState state;
        state.watch()->setIntervals(150ms, 1s);
        QVERIFY(await(state.auth()->login(u"amina"_qs, u"sunshine123"_qs)));
        QTRY_VERIFY(state.unreadCount() > 0);
        const int before = state.unreadCount();
        Sender omar;
        QVERIFY(omar.signIn("omar"));
        QVERIFY(omar.say(idTitled(*state.inbox(), u"عمر الفاروق"_qs), u"Hello"_qs));
        QTRY_COMPARE(state.unreadCount(), before + 1);
    }

    // Unreachable: the wait doubles up to its ceiling; the service back: the usual interval.
    void backsOffWhileTheServiceIsAway() {
        AppState state;
        InboxWatch& watch = *state.watch();
        watch.setIntervals(100ms, 400ms);
        QVERIFY(await(state.auth()->login(u"amina"_qs, u"sunshine123"_qs)));
        QTRY_VERIFY(state.inbox()->hasServiceRows());
        service.kill();
        QTRY_COMPARE(watch.currentDelay(), 200ms);
        QTRY_COMPARE(watch.currentDelay(), 400ms);
        QTest::qWait(900);
        QCOMPARE(watch.currentDelay(), 400ms);
        QVERIFY(service.start());
        QTRY_COMPARE(watch.currentDelay(), 100ms);
        QVERIFY(state.auth()->isAuthenticated());
    }

private:
    DevService service;
};

QTEST_GUILESS_MAIN(WatchTest)
#include "tst_watch.moc"
