#include "APIClient.h"
#include "AppState.h"
#include "AppearanceManager.h"
#include "AuthService.h"
#include "KeychainStore.h"
#include "LanguageManager.h"
#include "LocalMeshService.h"
#include "PreferenceStore.h"
#include "ScriptedServer.h"
#include "TestSupport.h"

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
        appearance.setConnectivity(ConnectivityMode::localMesh);
        state.syncMeshWithConnectivity();
        QVERIFY(mesh.isBrowsing());
        appearance.setConnectivity(ConnectivityMode::cloud);
        state.syncMeshWithConnectivity();
        QVERIFY(!mesh.isBrowsing());
        QCOMPARE(mesh.statusMessage(), QStringLiteral("Stopped"));
    }

    void openConversationTwice() {
        AppState state;
        ConversationDTO first, second;
        first.id = QStringLiteral("c1");
        second.id = QStringLiteral("c2");
        QSignalSpy path(&state, &AppState::pathChanged);
        state.openConversation(first);
        state.openConversation(second);
        QCOMPARE(state.path(), QList{AppDestination::chat(second)});
        QCOMPARE(state.selectedConversation(), second);
        state.openConversation(second); // the same again announces nothing
        QCOMPARE(path.count(), 2);
    }
};

QTEST_GUILESS_MAIN(AppStateTest)
#include "tst_app_state.moc"
