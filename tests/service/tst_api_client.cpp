#include "APIClient.h"
#include "APIConfig.h"
#include "ScriptedServer.h"
#include "TestSupport.h"
#include "prefs/PreferenceStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>

using namespace lumora;
using namespace std::chrono_literals;

namespace {

const QByteArray userJson =
    R"({"id":"u1","username":"amal","role":"admin","verified":true,"mustChangePassword":false})";

QByteArray messagesJson(int count) {
    QJsonArray list;
    for (int i = 0; i < count; ++i)
        list.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("m%1").arg(i)},
                                {QStringLiteral("conversationId"), QStringLiteral("c")},
                                {QStringLiteral("senderId"), QStringLiteral("u")},
                                {QStringLiteral("body"), QStringLiteral("سلام \"hello\" 🎉 number %1").arg(i)},
                                {QStringLiteral("createdAt"), QStringLiteral("2026-01-02T03:04:05.123Z")}});
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

} // namespace

class APIClientTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    APIClient* client = nullptr;

private Q_SLOTS:
    void init() {
        server = new ScriptedServer(this);
        client = new APIClient(nullptr, this);
        client->setAccessToken(QStringLiteral("tok-1"));
        useBaseURL(server->url().toString());
        PreferenceStore::remove(QString::fromLatin1(APIConfig::preferenceKey));
    }

    void cleanup() {
        delete client;
        delete server;
    }

    void protectedEndpointsNeedAToken() {
        for (const auto& noToken : {std::optional<QString>(), std::optional<QString>(QString())}) {
            client->setAccessToken(noToken);
            const auto expectUnauthorized = [](const auto& result) {
                QVERIFY(!result);
                QCOMPARE(result.error().kind(), APIClientError::Kind::unauthorized);
                QCOMPARE(result.error().text(), QStringLiteral("Session expired. Please sign in again."));
            };
            expectUnauthorized(await(client->me()));
            expectUnauthorized(await(client->conversations()));
            expectUnauthorized(await(client->messages(QStringLiteral("c"))));
            expectUnauthorized(
                await(client->sendMessage(QStringLiteral("c"), QStringLiteral("hi"), std::nullopt)));
            expectUnauthorized(await(client->updateProfile(UpdateProfileRequest{})));
            expectUnauthorized(await(client->changePassword(QStringLiteral("a"), QStringLiteral("b"))));
        }
        QVERIFY(server->requests().isEmpty());

        // Sign-in goes out without a token, and without one even when a token is held.
        server->answer(200, R"({"accessToken":"T","user":)" + userJson + "}");
        QVERIFY(await(client->login(QStringLiteral("amal"), QStringLiteral("pw"))));
        client->setAccessToken(QStringLiteral("held"));
        QVERIFY(await(client->login(QStringLiteral("amal"), QStringLiteral("pw"))));
        QCOMPARE(server->requests().size(), 2);
        for (const auto& request : server->requests()) {
            QVERIFY(!request.hasHeader("Authorization"));
            QCOMPARE(request.method, QByteArray("POST"));
            QCOMPARE(request.target, QByteArray("/auth/login"));
            QCOMPARE(request.body, QByteArray(R"({"password":"pw","username":"amal"})"));
        }
    }

    void requestsCarryMethodPathHeadersAndBody() {
        server->answer(200, userJson);
        QVERIFY(await(client->me()));
        QVERIFY(await(client->updateProfile(UpdateProfileRequest{QStringLiteral("Amal"), {}, {}, {}, {}})));
        server->answer(200, "[]");
        QVERIFY(await(client->conversations()));
        QVERIFY(await(client->messages(QStringLiteral("a b?c"))));
        server->answer(
            201, R"({"id":"m","conversationId":"c","senderId":"u","createdAt":"2026-01-02T03:04:05Z"})");
        QVERIFY(await(client->sendMessage(QStringLiteral("c9"), QString(), QList<AttachmentInputDTO>{})));

        const auto& r = server->requests();
        QCOMPARE(r.size(), 5);
        const QList<QPair<QByteArray, QByteArray>> expected = {
            {"GET", "/auth/me"},
            {"PATCH", "/users/me"},
            {"GET", "/conversations"},
            {"GET", "/conversations/a%20b%3Fc/messages"},
            {"POST", "/conversations/c9/messages"},
        };
        for (int i = 0; i < r.size(); ++i) {
            QCOMPARE(r[i].method, expected[i].first);
            QCOMPARE(r[i].target, expected[i].second);
            QCOMPARE(r[i].header("Authorization"), QByteArray("Bearer tok-1"));
            QCOMPARE(r[i].header("Accept"), QByteArray("application/json"));
            QCOMPARE(r[i].header("Content-Type"), QByteArray("application/json"));
        }
        QCOMPARE(r[1].body, QByteArray(R"({"displayName":"Amal"})"));
        QCOMPARE(r[4].body, QByteArray("{}")); // empty body and no attachments
    }

    void failingStatuses_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("json message")
            << 500 << QByteArray(R"({"message":"Database down"})") << "Database down";
        QTest::newRow("empty message") << 400 << QByteArray(R"({"message":""})") << "";
        QTest::newRow("message list") << 400 << QByteArray(R"({"message":["title too long","body missing"]})")
                                      << "title too long, body missing";
        QTest::newRow("plain text") << 502 << QByteArray("Bad gateway\n") << "Bad gateway\n";
        QTest::newRow("empty body") << 502 << QByteArray() << "HTTP 502";
        QTest::newRow("no message") << 404 << QByteArray(R"({"statusCode":404,"error":"Not Found"})")
                                    << R"({"statusCode":404,"error":"Not Found"})";
        QTest::newRow("not utf-8") << 503 << QByteArray("\xff\xfe") << "HTTP 503";
        QTest::newRow("forbidden") << 403 << QByteArray(R"({"message":"Admins only"})") << "Admins only";
    }

    void failingStatuses() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        server->answer(status, body, "text/plain");
        const auto result = await(client->me());
        QVERIFY(!result);
        QCOMPARE(result.error().kind(), APIClientError::Kind::http);
        QCOMPARE(result.error().status(), status);
        QCOMPARE(result.error().text(), text);
    }

    void unauthorizedReplies() {
        server->answer(401, R"({"message":"Token expired"})");
        const auto me = await(client->me());
        QVERIFY(!me);
        QCOMPARE(me.error().kind(), APIClientError::Kind::unauthorized);

        // Nobody is signed in yet at sign-in: the service's own words are shown.
        server->answer(401, R"({"message":"Wrong user name or password"})");
        const auto login = await(client->login(QStringLiteral("amal"), QStringLiteral("nope")));
        QVERIFY(!login);
        QCOMPARE(login.error().kind(), APIClientError::Kind::http);
        QCOMPARE(login.error().text(), QStringLiteral("Wrong user name or password"));
        server->answer(401, QByteArray());
        QCOMPARE(await(client->login(QStringLiteral("amal"), QStringLiteral("nope"))).error().text(),
                 QStringLiteral("HTTP 401"));
    }

    void emptyAndUnreadBodies() {
        server->answer(204, QByteArray());
        QVERIFY(await(client->changePassword(QStringLiteral("old"), QStringLiteral("new"))));
        QCOMPARE(server->requests().last().body,
                 QByteArray(R"({"currentPassword":"old","newPassword":"new"})"));
        const auto me = await(client->me());
        QVERIFY(!me);
        QCOMPARE(me.error().kind(), APIClientError::Kind::emptyBody);
        QCOMPARE(me.error().text(), QStringLiteral("Empty response"));

        server->answer(200, "<html>not json</html>", "text/html");
        QVERIFY(await(client->changePassword(QStringLiteral("old"), QStringLiteral("new"))));
    }

    void replyShapes() {
        server->answer(200, R"({"data":[]})");
        QCOMPARE(await(client->conversations())->size(), 0);
        server->answer(200, R"({"items":[]})");
        const auto bad = await(client->conversations());
        QVERIFY(!bad);
        QCOMPARE(bad.error().kind(), APIClientError::Kind::decoding);
        QVERIFY2(bad.error().text().startsWith(QStringLiteral("Decoding error: ")),
                 qPrintable(bad.error().text()));

        server->answer(200, QByteArray(userJson).replace("}", R"(,"data":{"id":"wrapped"}})"));
        QCOMPARE(await(client->me())->id, QStringLiteral("u1"));
        server->answer(200, R"({"data":)" + userJson + "}");
        QCOMPARE(await(client->me())->username, QStringLiteral("amal"));
    }

    void largeReplyDecodesOffTheInterfaceThread() {
        const QByteArray body = messagesJson(2000);
        QVERIFY(body.size() > 64 * 1024);
        server->answer(200, body);
        const auto messages = await(client->messages(QStringLiteral("c")));
        QVERIFY(messages);
        QCOMPARE(messages->size(), 2000);
        QCOMPARE(messages->last().id, QStringLiteral("m1999"));
        QCOMPARE(*messages->last().body, QStringLiteral("سلام \"hello\" 🎉 number 1999"));

        server->answer(200, QByteArray(body).replace(R"("m1500")", "15"));
        const auto broken = await(client->messages(QStringLiteral("c")));
        QVERIFY(!broken);
        QVERIFY2(broken.error().text().contains(QStringLiteral("[1500].id")),
                 qPrintable(broken.error().text()));
    }

    void baseURLResolution() {
        // The environment wins over the preference; an empty variable lets the preference apply.
        APIConfig::setBaseURL(QStringLiteral("http://127.0.0.1:9/"));
        QCOMPARE(APIConfig::baseURL(), server->url());
        qputenv("LUMORA_API_BASE_URL", "");
        QCOMPARE(APIConfig::baseURL(), QUrl(QStringLiteral("http://127.0.0.1:9/")));
        APIConfig::setBaseURL(QString());
        QCOMPARE(APIConfig::baseURL(), APIConfig::productionBaseURL());
        APIConfig::setBaseURL(QStringLiteral("http://[::1"));
        QCOMPARE(APIConfig::baseURL(), APIConfig::productionBaseURL());
        qunsetenv("LUMORA_API_BASE_URL");

        // A changed preference applies to the very next request.
        ScriptedServer second;
        server->answer(200, userJson);
        second.answer(200, userJson);
        APIConfig::setBaseURL(server->url().toString());
        QVERIFY(await(client->me()));
        APIConfig::setBaseURL(second.url().toString());
        QVERIFY(await(client->me()));
        QCOMPARE(server->requests().size(), 1);
        QCOMPARE(second.requests().size(), 1);
    }

    void basePathPrefix() {
        server->answer(200, R"({"accessToken":"T","user":)" + userJson + "}");
        for (const char* prefix : {"/api/", "/api", "//api//"}) {
            useBaseURL(server->url(QString::fromLatin1(prefix)).toString());
            QVERIFY(await(client->login(QStringLiteral("a"), QStringLiteral("b"))));
            QCOMPARE(server->requests().last().target, QByteArray("/api/auth/login"));
        }
        QCOMPARE(APIConfig::requestURL(QUrl(QStringLiteral("https://h.example:8443/v1?x=1")),
                                       QStringLiteral("auth/me")),
                 QUrl(QStringLiteral("https://h.example:8443/v1/auth/me?x=1")));
    }

    void transportFailures() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        useBaseURL(QStringLiteral("http://127.0.0.1:%1").arg(port));
        const auto refused = await(client->me());
        QVERIFY(!refused);
        QCOMPARE(refused.error().kind(), APIClientError::Kind::transport);
        QVERIFY2(refused.error().text().contains(QStringLiteral("refused"), Qt::CaseInsensitive),
                 qPrintable(refused.error().text()));

        // A service that never answers fails after the idle time-out.
        useBaseURL(server->url().toString());
        server->answer(ScriptedServer::Reply{200, {}, {}, true});
        client->setTransferTimeout(300ms);
        const auto silent = await(client->me());
        QVERIFY(!silent);
        QCOMPARE(silent.error().kind(), APIClientError::Kind::transport);
        QCOMPARE(silent.error().text(), QStringLiteral("The request timed out."));

        qputenv("LUMORA_API_BASE_URL", "relative/path");
        const auto relative = await(client->me());
        QVERIFY(!relative);
        QCOMPARE(relative.error().kind(), APIClientError::Kind::transport);
    }
};

QTEST_GUILESS_MAIN(APIClientTest)
#include "tst_api_client.moc"
