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

// The secrets another program finds in the Secret Service for one of our accounts.
QStringList secretsFor(const char* account) {
    QProcess tool;
    tool.start(u"secret-tool"_qs, {u"search"_qs, u"--all"_qs, u"server"_qs, u"org.lumora.app"_qs, u"user"_qs,
                                   QString::fromLatin1(account)});
    if (!tool.waitForFinished(20000))
        qFatal("secret-tool did not finish");
    QStringList secrets;
    const QString output = QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
    for (const QString& line : output.split(u'\n'))
        if (line.startsWith(u"secret = "_qs))
            secrets.append(line.mid(9));
    return secrets;
}

} // namespace

// The session and the secret store it keeps the tokens in.
class AuthServiceTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    APIClient* api = nullptr;
    AuthService* auth = nullptr;

    QByteArray lastAuthorization() const { return server->requests().last().header("Authorization"); }

    // Signs in as the plain user; `tokens` are the token fields of the service's answer.
    bool signIn(const QByteArray& tokens) {
        server->answer(200, "{" + tokens + R"(,"user":)" + userJson + "}");
        return bool(await(auth->login(u"amina"_qs, u"pw"_qs)));
    }

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

    void restoreAcceptedThenPasswordChangeWhoseRefreshFails() {
        QVERIFY(await(KeychainStore::saveAccessToken(u"good"_qs)));
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

        server->answerWith([](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            if (request.target == "/auth/change-password")
                return {204, {}};
            return {500, R"({"message":"Profile service down"})"};
        });
        QVERIFY(await(auth->changePassword(u"old"_qs, u"new-password"_qs)));
        QCOMPARE(auth->lastErrorText(), u"Profile service down"_qs);
        QVERIFY(auth->isAuthenticated());
        QVERIFY(auth->mustChangePassword()); // the user record is unchanged

        server->answer(400, R"({"message":"Current password is wrong"})");
        QVERIFY(!await(auth->changePassword(u"bad"_qs, u"new-password"_qs)));
        QCOMPARE(auth->lastErrorText(), u"Current password is wrong"_qs);
        QCOMPARE(await(KeychainStore::loadAccessToken()), u"good"_qs);
    }

    void restoreThatFails_data() {
        QTest::addColumn<int>("status"); // 0: nothing listens at the service's address
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("error"); // the kind shown, -1 for none
        QTest::addColumn<bool>("tokensKept");
        // Only a refusal of the token itself means the stored session is gone for good.
        QTest::newRow("401") << 401 << QByteArray(R"({"message":"Token revoked"})") << -1 << false;
        QTest::newRow("403") << 403 << QByteArray(R"({"message":"Token revoked"})") << -1 << false;
        QTest::newRow("server error") << 502 << QByteArray() << int(APIClientError::Kind::Http) << true;
        QTest::newRow("unreadable") << 200 << QByteArray(R"({"id":"u1"})")
                                    << int(APIClientError::Kind::Decoding) << true;
        QTest::newRow("unreachable") << 0 << QByteArray() << int(APIClientError::Kind::Transport) << true;
    }

    void restoreThatFails() {
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(int, error);
        QFETCH(bool, tokensKept);
        QVERIFY(await(KeychainStore::saveAccessToken(u"stored"_qs)));
        QVERIFY(await(KeychainStore::saveRefreshToken(u"refresh"_qs)));
        server->answer(status, reply);
        if (status == 0) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
            const QUrl unreachable(u"http://127.0.0.1:%1"_qs.arg(closed.serverPort()));
            useBaseURL(unreachable.toString());
            QVERIFY(await(KeychainStore::saveTokenOrigin(APIConfig::originOf(unreachable))));
        }
        await(auth->bootstrap());
        QVERIFY(!auth->isAuthenticated());
        QVERIFY(!auth->isRestoringSession());
        QCOMPARE(auth->lastError() ? int(auth->lastError()->kind()) : -1, error);
        QCOMPARE(await(KeychainStore::loadAccessToken()),
                 tokensKept ? std::optional(u"stored"_qs) : std::nullopt);
        QCOMPARE(await(KeychainStore::loadRefreshToken()),
                 tokensKept ? std::optional(u"refresh"_qs) : std::nullopt);
        QVERIFY(!api->hasAccessToken());
    }

    void tokensStayWithTheServiceThatIssuedThem() {
        // A token stored before origins were kept belongs to the address in force at the first start.
        QVERIFY(await(KeychainStore::saveAccessToken(u"old"_qs)));
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
        QCOMPARE(next.lastError()->kind(), APIClientError::Kind::SavedForOther);
        QVERIFY2(next.lastErrorText().contains(APIConfig::originOf(server->url())),
                 qPrintable(next.lastErrorText()));
        QCOMPARE(await(KeychainStore::loadAccessToken()), u"old"_qs);

        // While signed in, a request to another address ends the session here and says why.
        QVERIFY(!await(api->conversations()));
        QTRY_VERIFY(!auth->isAuthenticated());
        QCOMPARE(auth->lastError(), APIClientError::addressChanged());
        QVERIFY(other.requests().isEmpty());
        QTRY_COMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);

        // And so does changing the address in the settings, before any request.
        useBaseURL(server->url().toString());
        QVERIFY(signIn(R"("accessToken":"fresh")"));
        QCOMPARE(await(KeychainStore::loadTokenOrigin()), APIConfig::originOf(server->url()));
        auth->checkServiceAddress();
        QVERIFY(auth->isAuthenticated());
        useBaseURL(other.url().toString());
        auth->checkServiceAddress();
        QVERIFY(!auth->isAuthenticated());
        QCOMPARE(auth->lastErrorText(), catalogueText("session.addressChanged"));
    }

    void signInThenExpiryReturnsToSignInAndSignOut() {
        QVERIFY(await(KeychainStore::saveRefreshToken(u"old-refresh"_qs)));
        server->answer(401, R"({"message":"Wrong user name or password"})");
        QVERIFY(!await(auth->login(u"amina"_qs, u"nope"_qs)));
        QCOMPARE(auth->lastErrorText(), u"Wrong user name or password"_qs);
        QVERIFY(!auth->isAuthenticated());
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);

        // A reply without a refresh token keeps the old one; the credentials go as typed.
        server->answer(200, R"({"accessToken":"fresh","user":)" + userJson + "}");
        QSignalSpy authenticated(auth, &AuthService::isAuthenticatedChanged);
        QVERIFY(await(auth->login(u" amina "_qs, u" pw "_qs)));
        QCOMPARE(server->requests().last().body, QByteArray(R"({"password":" pw ","username":" amina "})"));
        QCOMPARE(await(KeychainStore::loadAccessToken()), u"fresh"_qs);
        QCOMPARE(await(KeychainStore::loadRefreshToken()), u"old-refresh"_qs);
        QCOMPARE(authenticated.count(), 1);
        QVERIFY(!auth->isAdmin());

        // The new token is the one the client now sends.
        server->answer(200, userJson);
        await(auth->refreshMe());
        QCOMPARE(lastAuthorization(), QByteArray("Bearer fresh"));

        // A session that expires while running returns to the sign-in.
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
        QVERIFY(signIn(R"("accessToken":"T2","refreshToken":"R2")"));
        QCOMPARE(auth->lastError(), std::nullopt);
        await(auth->logout());
        QVERIFY(!auth->sessionEndedByService());
        QVERIFY(!auth->isAuthenticated());
        QCOMPARE(auth->currentUser(), std::nullopt);
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
        QCOMPARE(await(KeychainStore::loadRefreshToken()), std::nullopt);
        QCOMPARE(authenticated.count(), 4);
    }

    void keychainSavesLoadsAndReplaces() {
        await(KeychainStore::clearTokens()); // clearing nothing is harmless
        QVERIFY(await(KeychainStore::saveAccessToken(u"first-ü"_qs)));
        QVERIFY(await(KeychainStore::saveAccessToken(u"second-ü"_qs)));
        QVERIFY(await(KeychainStore::saveRefreshToken(u"refresh"_qs)));
        QCOMPARE(await(KeychainStore::loadAccessToken()), u"second-ü"_qs);
        QCOMPARE(await(KeychainStore::loadRefreshToken()), u"refresh"_qs);
        // Another program finds exactly one item per account.
        QCOMPARE(secretsFor("accessToken"), QStringList{u"second-ü"_qs});
        QCOMPARE(secretsFor("refreshToken"), QStringList{u"refresh"_qs});
        await(KeychainStore::clearTokens());
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
        QCOMPARE(await(KeychainStore::loadRefreshToken()), std::nullopt);
        QCOMPARE(secretsFor("accessToken") + secretsFor("refreshToken"), QStringList());

        // An empty token is a token, not a missing one.
        QVERIFY(await(KeychainStore::saveAccessToken(QString())));
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::optional<QString>(QString()));
    }
};

QTEST_GUILESS_MAIN(AuthServiceTest)
#include "tst_auth_service.moc"
