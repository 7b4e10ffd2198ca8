#include "ScriptedServer.h"
#include "TestSupport.h"
#include "core/api/APIClient.h"
#include "core/conversations/AttachmentFiles.h"
#include "core/mesh/LocalMeshService.h"
#include "core/session/AppState.h"
#include "core/session/AuthService.h"
#include "core/session/KeychainStore.h"
#include "core/settings/AppearanceManager.h"
#include "core/settings/LanguageManager.h"
#include "core/settings/PreferenceStore.h"

#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace lumora;

namespace {

ConversationDTO conversation(const QString& id) {
    ConversationDTO c;
    c.id = id;
    return c;
}

} // namespace

class AppStateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        await(KeychainStore::clearTokens());
        PreferenceStore::remove(u"connectivityMode"_qs);
    }

    void meshStartsAfterTheRestore_data() {
        QTest::addColumn<bool>("serviceRefuses"); // else nothing listens at the service's address
        QTest::newRow("refused") << true;
        QTest::newRow("unreachable") << false;
    }

    // Runs the start-up and records, at the moment the mesh starts browsing, whether the session
    // restore had already finished. What happens to the token is the session's own business.
    void meshStartsAfterTheRestore() {
        QFETCH(bool, serviceRefuses);
        QVERIFY(await(KeychainStore::saveAccessToken(u"stored"_qs)));
        ScriptedServer server;
        server.answer(401, R"({"message":"revoked"})");
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        useBaseURL(serviceRefuses ? server.url().toString()
                                  : u"http://127.0.0.1:%1"_qs.arg(closed.serverPort()));
        closed.close();

        PreferenceStore::setValue(u"connectivityMode"_qs, u"localMesh"_qs);
        AppState state;
        QVERIFY(state.auth()->isRestoringSession());
        QVERIFY(!state.mesh()->isBrowsing()); // nothing starts while the graph is built
        QVERIFY(server.requests().isEmpty());

        bool restoredFirst = false;
        connect(state.mesh(), &LocalMeshService::isBrowsingChanged, this,
                [&] { restoredFirst = !state.auth()->isRestoringSession(); });
        await(state.bootstrap());
        QVERIFY(state.mesh()->isBrowsing());
        QVERIFY(restoredFirst);
        QVERIFY(!state.auth()->isAuthenticated());
        state.mesh()->stop();
    }

    void cloudStopsAnIdleMeshHarmlessly() {
        APIClient api;
        AuthService auth(&api);
        LanguageManager language;
        AppearanceManager appearance;
        LocalMeshService mesh;
        AppState state(&auth, &language, &appearance, &mesh);
        QSignalSpy browsing(&mesh, &LocalMeshService::isBrowsingChanged);
        await(state.bootstrap());
        QVERIFY(!mesh.isBrowsing());
        QVERIFY(!mesh.isAdvertising());
        QCOMPARE(browsing.count(), 0);
        QVERIFY(mesh.discoveredPeers().isEmpty());

        // Switching to the mesh and back follows the preference.
        appearance.setConnectivity(ConnectivityMode::LocalMesh);
        QVERIFY(mesh.isBrowsing());
        appearance.setConnectivity(ConnectivityMode::Cloud);
        QVERIFY(!mesh.isBrowsing());
        QCOMPARE(mesh.statusMessage(), u"Stopped"_qs);

        // Its status line reads in the language chosen after it was set.
        QSignalSpy status(&mesh, &LocalMeshService::statusMessageChanged);
        language.setLanguage(AppLanguage::Arabic);
        QCOMPARE(status.count(), 1);
        QVERIFY(mesh.statusMessage().contains(QRegularExpression(u"\\p{Arabic}"_qs)));
        language.setLanguage(AppLanguage::English);
        QCOMPARE(mesh.statusMessage(), u"Stopped"_qs);
    }

    // A start with a stored session shows the signed-in screens from the store at once while the
    // service checks it: offline while it cannot answer, confirmed when it does; refused, sign-in says why.
    void startsFromTheStoreWhileTheSessionIsChecked() {
        ScriptedServer server;
        useBaseURL(server.url().toString());
        int meStatus = 200;
        const QByteArray user =
            R"({"id":"u1","username":"u","role":"user","verified":false,"mustChangePassword":false})";
        server.answerWith([&](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            ScriptedServer::Reply reply;
            if (request.target == "/auth/login")
                reply.body = R"({"accessToken":"T","user":)" + user + "}";
            else if (request.target == "/auth/me" && meStatus == 0)
                reply.stream = [user](QTcpSocket* socket) {
                    QTimer::singleShot(500, socket, [socket, user] {
                        socket->write(
                            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                            QByteArray::number(user.size()) + "\r\n\r\n" + user);
                    });
                };
            else if (request.target == "/auth/me")
                reply = meStatus == 200 ? ScriptedServer::Reply{200, user}
                                        : ScriptedServer::Reply{meStatus, "{}"};
            else if (request.header("If-None-Match") == R"("L1")")
                reply.status = 304;
            else
                reply = {200,
                         R"([{"id":"c1","updatedAt":"2026-12-06T10:00:00Z"}])",
                         "application/json",
                         false,
                         {},
                         R"("L1")"};
            return reply;
        });
        {
            AppState first;
            QVERIFY(await(first.auth()->login(u"u"_qs, u"pw"_qs)));
            await(first.inbox()->load());
        }

        meStatus = 503;
        const qsizetype before = server.requests().size();
        AppState second;
        QSignalSpy connection(second.auth(), &AuthService::connectionChanged);
        QSignalSpy lists(second.inbox(), &InboxViewModel::loadFinished);
        await(second.bootstrap());
        QVERIFY(second.auth()->isAuthenticated());
        QCOMPARE(second.auth()->currentUserId(), u"u1"_qs);
        QCOMPARE(second.auth()->connection(), AuthService::Connection::Offline);
        QCOMPARE(connection.count(), 2); // connecting, then offline
        QCOMPARE(second.inbox()->count(), 1);
        QTRY_VERIFY(!lists.isEmpty());
        QVERIFY(lists.first().first().toBool()); // the watch's first question waited for the token
        const auto asked =
            std::find_if(server.requests().begin() + before, server.requests().end(),
                         [](const auto& request) { return request.target == "/conversations"; });
        QCOMPARE(asked->header("If-None-Match"), R"("L1")"); // the kept rows' tag: unchanged, nothing sent
        QCOMPARE(second.inbox()->count(), 1);
        meStatus = 200;
        await(second.inbox()->load());
        QTRY_COMPARE(second.auth()->connection(), AuthService::Connection::Online);

        meStatus = 401;
        AppState third;
        await(third.bootstrap());
        QVERIFY(!third.auth()->isAuthenticated());
        QCOMPARE(third.auth()->lastErrorText(), u"Your session expired. Please sign in again."_qs);
        AppState afterExpiry; // goes to sign-in without showing a shell it cannot confirm
        QSignalSpy shown(afterExpiry.auth(), &AuthService::isAuthenticatedChanged);
        await(afterExpiry.bootstrap());
        QCOMPARE(shown.count(), 0);

        // Signing out while the session is checked: the late answer signs nobody back in.
        QVERIFY(await(third.auth()->login(u"u"_qs, u"pw"_qs))); // a session in the keyring again
        meStatus = 0;                                           // answered half a second late
        AppState late;
        late.startBootstrap();
        QCOMPARE(late.auth()->connection(), AuthService::Connection::Connecting); // before the keychain
        QCOMPARE(late.inbox()->count(), 1);
        await(late.auth()->logout());
        QTest::qWait(800);
        QVERIFY(!late.auth()->isAuthenticated());
    }

    void writingOutlivesAnExpiredSessionForTheSameUserOnly() {
        ScriptedServer server;
        useBaseURL(server.url().toString());
        AppState state;
        AuthService& auth = *state.auth();
        APIClient& api = *auth.api();
        // The service as the watch meets it too: it asks for the inbox as soon as someone signs in.
        QByteArray userId;
        bool expired = false;
        server.answerWith([&](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            ScriptedServer::Reply reply;
            if (expired) {
                reply.status = 401;
                reply.body = R"({"message":"Token expired"})";
            } else if (request.target == "/auth/login") {
                reply.body =
                    R"({"accessToken":"T","user":{"id":")" + userId +
                    R"(","username":"u","role":"user","verified":false,"mustChangePassword":false}})";
            } else { // u1's inbox; nobody else has a conversation
                reply.body = userId == "u1" ? R"([{"id":"c1","updatedAt":"2026-12-06T10:00:00Z"}])" : "[]";
            }
            return reply;
        });
        const auto signIn = [&](const QByteArray& user) {
            userId = user;
            expired = false;
            return await(auth.login(u"u"_qs, u"pw"_qs));
        };
        const auto expire = [&] {
            expired = true;
            QVERIFY(!await(api.conversations()));
            QTRY_VERIFY(!auth.isAuthenticated());
        };
        const ConversationDTO chosen = conversation(u"c1"_qs), other = conversation(u"c2"_qs);
        QString origin;
        const auto storeOf = [&](const QString& user) { return LocalStore::pathFor(origin, user); };

        QVERIFY(signIn("u1"));
        origin = api.tokenOrigin();
        QVERIFY(QFile::exists(storeOf(u"u1"_qs)));
        // A conversation opens in the inbox; leaving a chat with nothing written frees its model.
        state.selectTab(AppState::Tab::Profile);
        QSignalSpy selected(&state, &AppState::selectedConversationChanged);
        state.openConversation(other);
        QPointer<ChatViewModel> idle = state.chatModel();
        state.openConversation(chosen);
        state.openConversation(chosen); // the same again announces nothing
        QCOMPARE(selected.count(), 2);
        QCOMPARE(state.tab(), AppState::Tab::Inbox);
        QCOMPARE(state.selectedConversation(), chosen);
        QTRY_VERIFY(idle.isNull());
        // With a draft, it is kept.
        QPointer<ChatViewModel> chat = state.chatModel();
        chat->setDraft(u"half a thought"_qs);
        state.closeConversation();
        state.openConversation(chosen);
        QCOMPARE(state.chatModel(), chat.data());

        await(state.inbox()->load());
        QCOMPARE(state.inbox()->count(), 1);
        expire();
        QVERIFY(signIn("u1"));
        QCOMPARE(state.chatModel(), chat.data());
        QCOMPARE(chat->draft(), u"half a thought"_qs);
        QCOMPARE(state.inbox()->count(), 1);

        // Someone else signing in after an expiry sees none of it, received files included.
        const auto cacheFile = [] {
            QDir().mkpath(AttachmentFiles::cacheFolder() + u"/m1"_qs);
            QFile file(AttachmentFiles::cacheFolder() + u"/m1/plan.pdf"_qs);
            return file.open(QIODevice::WriteOnly) && file.write("pdf") == 3;
        };
        QVERIFY(cacheFile());
        expire();
        QVERIFY(signIn("u2"));
        QVERIFY(!QFile::exists(AttachmentFiles::cacheFolder() + u"/m1/plan.pdf"_qs));
        QVERIFY2(!QFile::exists(storeOf(u"u1"_qs)), "u1's store, drafts and all, is gone");
        QTRY_VERIFY(chat.isNull());
        QVERIFY(!state.hasSelectedConversation());
        QCOMPARE(state.inbox()->count(), 0);
        state.openConversation(chosen);
        QCOMPARE(state.chatModel()->draft(), QString());

        // Nor does anyone after the user's own sign-out.
        state.chatModel()->setDraft(u"mine"_qs);
        chat = state.chatModel();
        QVERIFY(cacheFile());
        await(auth.logout());
        QTRY_VERIFY(chat.isNull());
        QVERIFY(!QFile::exists(AttachmentFiles::cacheFolder() + u"/m1/plan.pdf"_qs));
        QVERIFY(!QFile::exists(storeOf(u"u2"_qs)));
        QVERIFY(!state.hasSelectedConversation());
    }
};

QTEST_GUILESS_MAIN(AppStateTest)
#include "tst_app_state.moc"
