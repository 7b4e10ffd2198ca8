#include "ScriptedServer.h"
#include "TestSupport.h"
#include "core/api/APIConfig.h"
#include "core/session/AuthService.h"
#include "core/session/KeychainStore.h"
#include "core/settings/TextCatalogue.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace lumora;

namespace {

const QByteArray adminJson =
    R"({"id":"u1","username":"amina","role":"admin","verified":true,"mustChangePassword":true})";
const QByteArray userJson =
    R"({"id":"u1","username":"amina","role":"user","verified":true,"mustChangePassword":false})";

// What a third-party tool sees in the secret store for one of our accounts.
QStringList secretTool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), arguments);
    if (!tool.waitForFinished(20000))
        qFatal("secret-tool did not finish");
    return QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError())
        .split(QLatin1Char('\n'));
}

QString lookup(const char* account) {
    return secretTool({QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("org.lumora.app"),
                       QStringLiteral("user"), QString::fromLatin1(account)})
        .first();
}

int itemCount(const char* account) {
    const QStringList lines =
        secretTool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("server"),
                    QStringLiteral("org.lumora.app"), QStringLiteral("user"), QString::fromLatin1(account)});
    return int(std::count_if(lines.begin(), lines.end(),
                             [](const QString& l) { return l.startsWith(QLatin1Char('[')); }));
}

} // namespace

// The session and the secret store it keeps the tokens in.
class AuthServiceTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    APIClient* api = nullptr;
    AuthService* auth = nullptr;

    QByteArray lastAuthorization() const { return server->requests().last().header("Authorization"); }

private Q_SLOTS:
    void initTestCase() { TextCatalogue::use(QLocale(QLocale::English)); }

    void init() {
        await(KeychainStore::clearTokens());
        server = new ScriptedServer(this);
        useBaseURL(server->url().toString());
        api = new APIClient(nullptr, this);
        auth = new AuthService(api, this);
    }

    void cleanup() {
        delete auth;
        delete api;
        delete server;
    }

    void restoreAccepted() {
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("good"))));
        server->answer(200, adminJson);
        QSignalSpy user(auth, &AuthService::currentUserChanged);
        await(auth->bootstrap());
        QCOMPARE(lastAuthorization(), QByteArray("Bearer good"));
        QVERIFY(auth->isAuthenticated());
        QVERIFY(auth->isAdmin());
        QVERIFY(auth->mustChangePassword());
        QCOMPARE(user.count(), 1);

        // Re-reading an unchanged user, or installing an equal one, notifies nobody.
        await(auth->refreshMe());
        auth->applyLocalUser(*auth->currentUser());
        QCOMPARE(user.count(), 1);
    }

    void restoreRejectedClearsTheTokens_data() {
        QTest::addColumn<int>("status");
        QTest::newRow("401") << 401;
        QTest::newRow("403") << 403;
    }

    void restoreRejectedClearsTheTokens() {
        QFETCH(int, status);
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("revoked"))));
        QVERIFY(await(KeychainStore::saveRefreshToken(QStringLiteral("refresh"))));
        server->answer(status, R"({"message":"Token revoked"})");
        await(auth->bootstrap());
        QVERIFY(!auth->isAuthenticated());
        QVERIFY(!auth->isRestoringSession());
        QCOMPARE(auth->lastError(), std::nullopt);
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
        QCOMPARE(await(KeychainStore::loadRefreshToken()), std::nullopt);
        QVERIFY(!api->hasAccessToken());
    }

    void restoreUnreachableKeepsTheTokens() {
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("still-valid"))));
        // A server error or an unreadable reply keeps them.
        server->answer(502, QByteArray());
        await(auth->bootstrap());
        QCOMPARE(auth->lastErrorText(), QStringLiteral("HTTP 502"));
        server->answer(200, R"({"id":"u1"})");
        await(auth->bootstrap());
        QCOMPARE(auth->lastError()->kind(), APIClientError::Kind::Decoding);
        QCOMPARE(await(KeychainStore::loadAccessToken()), QStringLiteral("still-valid"));

        // So does a service that cannot be reached.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const QUrl unreachable(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
        closed.close();
        useBaseURL(unreachable.toString());
        QVERIFY(await(KeychainStore::saveTokenOrigin(APIConfig::originOf(unreachable))));
        await(auth->bootstrap());
        QVERIFY(!auth->isAuthenticated());
        QVERIFY(!auth->isRestoringSession());
        QCOMPARE(auth->lastError()->kind(), APIClientError::Kind::Transport); // an outage, not a refusal
        QCOMPARE(await(KeychainStore::loadAccessToken()), QStringLiteral("still-valid"));
    }

    void tokensStayWithTheServiceThatIssuedThem() {
        // A token stored before origins were kept belongs to the address in force at the first start.
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("old"))));
        server->answer(200, userJson);
        await(auth->bootstrap());
        QVERIFY(auth->isAuthenticated());
        QCOMPARE(await(KeychainStore::loadTokenOrigin()), APIConfig::originOf(server->url()));

        // The next start at another address keeps the token for its own service, and sends it nowhere.
        ScriptedServer other;
        useBaseURL(other.url().toString());
        APIClient nextApi;
        AuthService next(&nextApi);
        await(next.bootstrap());
        QVERIFY(!next.isAuthenticated());
        QVERIFY(other.requests().isEmpty());
        QCOMPARE(next.lastError()->kind(), APIClientError::Kind::SavedForOther);
        QVERIFY2(next.lastErrorText().contains(APIConfig::originOf(server->url())),
                 qPrintable(next.lastErrorText()));
        QCOMPARE(await(KeychainStore::loadAccessToken()), QStringLiteral("old"));

        // While signed in, a request to another address ends the session here and says why.
        QVERIFY(!await(api->conversations()));
        QTRY_VERIFY(!auth->isAuthenticated());
        QCOMPARE(auth->lastError(), APIClientError::addressChanged());
        QVERIFY(other.requests().isEmpty());
        QTRY_COMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);

        // And so does changing the address in the settings, before any request.
        server->answer(200, R"({"accessToken":"fresh","user":)" + userJson + "}");
        useBaseURL(server->url().toString());
        QVERIFY(await(auth->login(QStringLiteral("amina"), QStringLiteral("pw"))));
        QCOMPARE(await(KeychainStore::loadTokenOrigin()), APIConfig::originOf(server->url()));
        auth->checkServiceAddress();
        QVERIFY(auth->isAuthenticated());
        useBaseURL(other.url().toString());
        auth->checkServiceAddress();
        QVERIFY(!auth->isAuthenticated());
        QCOMPARE(auth->lastErrorText(), catalogueText("session.addressChanged"));
    }

    void sessionThatExpiresWhileRunningReturnsToSignIn() {
        server->answer(200, R"({"accessToken":"T","refreshToken":"R","user":)" + userJson + "}");
        QVERIFY(await(auth->login(QStringLiteral("amina"), QStringLiteral("pw"))));
        server->answer(401, R"({"message":"Token expired"})");
        QVERIFY(!await(api->conversations()));
        QTRY_VERIFY(!auth->isAuthenticated());
        QVERIFY(auth->sessionEndedByService());
        QVERIFY(!auth->hasCurrentUser());
        QVERIFY(!api->hasAccessToken());
        QCOMPARE(auth->lastError(), APIClientError::sessionExpired());
        QCOMPARE(auth->lastErrorText(), catalogueText("session.expired"));
        QTRY_COMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
        QCOMPARE(await(KeychainStore::loadRefreshToken()), std::nullopt);

        // Signing in again clears the line; the user's own sign-out is not the service's doing.
        server->answer(200, R"({"accessToken":"T2","user":)" + userJson + "}");
        QVERIFY(await(auth->login(QStringLiteral("amina"), QStringLiteral("pw"))));
        QCOMPARE(auth->lastError(), std::nullopt);
        await(auth->logout());
        QVERIFY(!auth->sessionEndedByService());
    }

    void signInWithoutRefreshTokenKeepsTheOldOne() {
        QVERIFY(await(KeychainStore::saveRefreshToken(QStringLiteral("old-refresh"))));
        server->answer(200, R"({"accessToken":"fresh","user":)" + userJson + "}");
        QSignalSpy authenticated(auth, &AuthService::isAuthenticatedChanged);
        QVERIFY(await(auth->login(QStringLiteral(" amina "), QStringLiteral(" pw "))));
        QCOMPARE(server->requests().last().body, QByteArray(R"({"password":" pw ","username":" amina "})"));
        QCOMPARE(await(KeychainStore::loadAccessToken()), QStringLiteral("fresh"));
        QCOMPARE(await(KeychainStore::loadRefreshToken()), QStringLiteral("old-refresh"));
        QCOMPARE(authenticated.count(), 1);
        QVERIFY(!auth->isAdmin());

        // The new token is the one the client now sends.
        server->answer(200, userJson);
        await(auth->refreshMe());
        QCOMPARE(lastAuthorization(), QByteArray("Bearer fresh"));

        await(auth->logout());
        QVERIFY(!auth->isAuthenticated());
        QCOMPARE(auth->currentUser(), std::nullopt);
        QVERIFY(!auth->isAdmin());
        QVERIFY(!auth->mustChangePassword());
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
        QCOMPARE(await(KeychainStore::loadRefreshToken()), std::nullopt);
        QCOMPARE(authenticated.count(), 2);
    }

    void refusedSignIn() {
        server->answer(401, R"({"message":"Wrong user name or password"})");
        QVERIFY(!await(auth->login(QStringLiteral("amina"), QStringLiteral("nope"))));
        QCOMPARE(auth->lastErrorText(), QStringLiteral("Wrong user name or password"));
        QVERIFY(!auth->isAuthenticated());
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
    }

    void passwordChangeWhoseRefreshFails() {
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("tok"))));
        server->answer(200, adminJson);
        await(auth->bootstrap());
        server->answerWith([](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            if (request.target == "/auth/change-password")
                return {204, {}};
            return {500, R"({"message":"Profile service down"})"};
        });
        QVERIFY(await(auth->changePassword(QStringLiteral("old"), QStringLiteral("new-password"))));
        QCOMPARE(auth->lastErrorText(), QStringLiteral("Profile service down"));
        QVERIFY(auth->isAuthenticated());
        QVERIFY(auth->mustChangePassword()); // the user record is unchanged

        server->answer(400, R"({"message":"Current password is wrong"})");
        QVERIFY(!await(auth->changePassword(QStringLiteral("bad"), QStringLiteral("new-password"))));
        QCOMPARE(auth->lastErrorText(), QStringLiteral("Current password is wrong"));
        QCOMPARE(await(KeychainStore::loadAccessToken()), QStringLiteral("tok"));
    }

    void keychainSavesLoadsAndReplaces() {
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
        await(KeychainStore::clearTokens()); // clearing nothing is harmless
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("first-ü"))));
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("second-ü"))));
        QVERIFY(await(KeychainStore::saveRefreshToken(QStringLiteral("refresh"))));
        QCOMPARE(await(KeychainStore::loadAccessToken()), QStringLiteral("second-ü"));
        QCOMPARE(await(KeychainStore::loadRefreshToken()), QStringLiteral("refresh"));
        // Another program reading the Secret Service finds exactly one item per account.
        QCOMPARE(itemCount("accessToken"), 1);
        QCOMPARE(lookup("accessToken"), QStringLiteral("second-ü"));
        QCOMPARE(lookup("refreshToken"), QStringLiteral("refresh"));

        await(KeychainStore::clearTokens());
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
        QCOMPARE(await(KeychainStore::loadRefreshToken()), std::nullopt);
        QCOMPARE(itemCount("accessToken") + itemCount("refreshToken"), 0);
    }

    void keychainKeepsAnEmptyToken() {
        QVERIFY(await(KeychainStore::saveAccessToken(QString())));
        const auto loaded = await(KeychainStore::loadAccessToken());
        QVERIFY(loaded.has_value());
        QCOMPARE(*loaded, QString());
    }
};

QTEST_GUILESS_MAIN(AuthServiceTest)
#include "tst_auth_service.moc"
