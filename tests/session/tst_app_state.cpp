#include "ScriptedServer.h"
#include "TestSupport.h"
#include "core/api/APIClient.h"
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
#include <QTest>

using namespace lumora;

class AppStateTest : public QObject {
    Q_OBJECT

    // Runs the start-up and records, at the moment the mesh starts browsing, whether the session
    // restore had already finished.
    void startUpInLocalMeshMode(const char* serviceAnswer) {
        ScriptedServer server;
        if (serviceAnswer)
            server.answer(401, serviceAnswer);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        useBaseURL(serviceAnswer ? server.url().toString()
                                 : QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
        closed.close();

        PreferenceStore::setValue(QStringLiteral("connectivityMode"), QStringLiteral("localMesh"));
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

private Q_SLOTS:
    void init() {
        await(KeychainStore::clearTokens());
        PreferenceStore::remove(QStringLiteral("connectivityMode"));
    }

    void meshStartsAfterRestoreWithoutToken() { startUpInLocalMeshMode(nullptr); }

    void meshStartsAfterRejectedRestore() {
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("revoked"))));
        startUpInLocalMeshMode(R"({"message":"revoked"})");
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
    }

    void meshStartsAfterUnreachableRestore() {
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("kept"))));
        startUpInLocalMeshMode(nullptr);
        QCOMPARE(await(KeychainStore::loadAccessToken()), QStringLiteral("kept"));
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
        QCOMPARE(mesh.statusMessage(), QStringLiteral("Stopped"));

        // Its status line reads in the language chosen after it was set.
        QSignalSpy status(&mesh, &LocalMeshService::statusMessageChanged);
        language.setLanguage(AppLanguage::Arabic);
        QCOMPARE(status.count(), 1);
        QVERIFY(mesh.statusMessage().contains(QRegularExpression(QStringLiteral("\\p{Arabic}"))));
        language.setLanguage(AppLanguage::English);
        QCOMPARE(mesh.statusMessage(), QStringLiteral("Stopped"));
    }

    void openConversationTwice() {
        AppState state;
        ConversationDTO first, second;
        first.id = QStringLiteral("c1");
        second.id = QStringLiteral("c2");
        state.selectTab(AppState::Tab::Profile);
        QSignalSpy selected(&state, &AppState::selectedConversationChanged);
        state.openConversation(first);
        state.openConversation(second);
        QCOMPARE(state.tab(), AppState::Tab::Inbox); // a conversation opens in the inbox
        QCOMPARE(state.selectedConversation(), second);
        state.openConversation(second); // the same again announces nothing
        QCOMPARE(selected.count(), 2);
    }

    void writingOutlivesAnExpiredSessionForTheSameUserOnly() {
        ScriptedServer server;
        useBaseURL(server.url().toString());
        AppState state;
        AuthService& auth = *state.auth();
        APIClient& api = *auth.api();
        const auto signIn = [&](const QByteArray& userId) {
            server.answer(
                200, R"({"accessToken":"T","user":{"id":")" + userId +
                         R"(","username":"u","role":"user","verified":false,"mustChangePassword":false}})");
            return await(auth.login(QStringLiteral("u"), QStringLiteral("pw")));
        };
        const auto expire = [&] {
            server.answer(401, R"({"message":"Token expired"})");
            QVERIFY(!await(api.conversations()));
            QTRY_VERIFY(!auth.isAuthenticated());
        };
        ConversationDTO conversation;
        conversation.id = QStringLiteral("c1");

        ConversationDTO other;
        other.id = QStringLiteral("c2");

        QVERIFY(signIn("u1"));
        // Leaving a chat with nothing written frees its model; with a draft, keeps it.
        state.openConversation(other);
        QPointer<ChatViewModel> idle = state.chatModel();
        state.openConversation(conversation);
        QTRY_VERIFY(idle.isNull());
        QPointer<ChatViewModel> chat = state.chatModel();
        chat->setDraft(QStringLiteral("half a thought"));
        state.closeConversation();
        state.openConversation(conversation);
        QCOMPARE(state.chatModel(), chat.data());

        server.answer(200, R"([{"id":"c1","updatedAt":"2026-12-06T10:00:00Z"}])");
        await(state.inbox()->load());
        QCOMPARE(state.inbox()->count(), 1);
        expire();
        QVERIFY(signIn("u1"));
        QCOMPARE(state.chatModel(), chat.data());
        QCOMPARE(chat->draft(), QStringLiteral("half a thought"));
        QCOMPARE(state.inbox()->count(), 1);

        // Someone else signing in after an expiry sees none of it.
        expire();
        QVERIFY(signIn("u2"));
        QTRY_VERIFY(chat.isNull());
        QVERIFY(!state.hasSelectedConversation());
        QCOMPARE(state.inbox()->count(), 0);
        state.openConversation(conversation);
        QCOMPARE(state.chatModel()->draft(), QString());

        // Nor does anyone after the user's own sign-out.
        state.chatModel()->setDraft(QStringLiteral("mine"));
        chat = state.chatModel();
        await(auth.logout());
        QTRY_VERIFY(chat.isNull());
        QVERIFY(!state.hasSelectedConversation());
    }
};

QTEST_GUILESS_MAIN(AppStateTest)
#include "tst_app_state.moc"
