#include "ScriptedServer.h"
#include "TestSupport.h"
#include "core/api/APIClient.h"
#include "core/api/APIConfig.h"
#include "core/api/MediaUpload.h"
#include "core/settings/PreferenceStore.h"
#include "core/settings/TextCatalogue.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

using namespace lumora;
using namespace std::chrono_literals;

namespace {

const QByteArray userJson =
    R"({"id":"u1","username":"amal","role":"admin","verified":true,"mustChangePassword":false})";

ScriptedServer::Reply raw(QByteArray response) {
    ScriptedServer::Reply reply;
    reply.stream = [response](QTcpSocket* socket) { socket->write(response); };
    return reply;
}

ScriptedServer::Reply redirect(int status, const QUrl& to) {
    return raw("HTTP/1.1 " + QByteArray::number(status) + " Moved\r\nLocation: " + to.toEncoded() +
               "\r\nContent-Length: 0\r\n\r\n");
}

// A chunked reply of `count` copies of `chunk`, one every `interval`, then its end.
ScriptedServer::Reply chunked(int count, QByteArray chunk, std::chrono::milliseconds interval) {
    ScriptedServer::Reply reply;
    reply.stream = [=](QTcpSocket* socket) {
        socket->write(
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n");
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, socket, [=] {
            if (*sent == count) {
                socket->write("0\r\n\r\n");
                timer->stop();
                return;
            }
            socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
            ++*sent;
        });
        timer->start(interval);
    };
    return reply;
}

const QByteArray uploadReply =
    R"({"url":"/media/f1","mimeType":"image/png","sizeBytes":4,"fileName":"p.png"})";

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray boundaryOf(const ScriptedServer::Request& request) {
    const QByteArray type = request.header("Content-Type");
    const QByteArray prefix = "multipart/form-data; boundary=";
    return type.startsWith(prefix) ? type.mid(prefix.size()) : QByteArray();
}

QByteArray expectedBody(const QByteArray& boundary, const QByteArray& name, const QByteArray& type,
                        const QByteArray& bytes) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + name +
           "\"\r\nContent-Type: " + type + "\r\n\r\n" + bytes + "\r\n--" + boundary + "--\r\n";
}

} // namespace

class APIClientTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    APIClient* client = nullptr;
    QTemporaryDir dir;

    // Uploads answered as stored, under a base path that the upload's address drops.
    void serveUploads() {
        server->answer(201, uploadReply);
        useBaseURL(server->url(QStringLiteral("/api/v1")).toString());
    }

private Q_SLOTS:
    void initTestCase() { TextCatalogue::use(QLocale(QLocale::English)); }

    void init() {
        server = new ScriptedServer(this);
        client = new APIClient(nullptr, this);
        useBaseURL(server->url().toString());
        PreferenceStore::remove(QString::fromLatin1(APIConfig::preferenceKey));
        qunsetenv(APIConfig::insecureHttpVariable);
        client->setAccessToken(QStringLiteral("tok-1")); // issued by the server of this test
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
                QCOMPARE(result.error().kind(), APIClientError::Kind::Unauthorized);
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
    }

    void failingStatuses() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        server->answer(status, body, "text/plain");
        const auto result = errorOf(await(client->me()));
        QCOMPARE(result.kind(), APIClientError::Kind::Http);
        QCOMPARE(result.status(), status);
        QCOMPARE(result.text(), text);
    }

    void unauthorizedReplies() {
        server->answer(401, R"({"message":"Token expired"})");
        QCOMPARE(errorOf(await(client->me())).kind(), APIClientError::Kind::Unauthorized);

        // Nobody is signed in yet at sign-in: the service's own words are shown.
        server->answer(401, R"({"message":"Wrong user name or password"})");
        const auto login = await(client->login(QStringLiteral("amal"), QStringLiteral("nope")));
        QVERIFY(!login);
        QCOMPARE(login.error().kind(), APIClientError::Kind::Http);
        QCOMPARE(login.error().text(), QStringLiteral("Wrong user name or password"));
        server->answer(401, QByteArray());
        QCOMPARE(errorOf(await(client->login(QStringLiteral("amal"), QStringLiteral("nope")))).text(),
                 QStringLiteral("HTTP 401"));
    }

    void emptyAndUnreadBodies() {
        server->answer(204, QByteArray());
        QVERIFY(await(client->changePassword(QStringLiteral("old"), QStringLiteral("new"))));
        QCOMPARE(server->requests().last().body,
                 QByteArray(R"({"currentPassword":"old","newPassword":"new"})"));
        const auto me = errorOf(await(client->me()));
        QCOMPARE(me.kind(), APIClientError::Kind::EmptyBody);
        QCOMPARE(me.text(), QStringLiteral("Empty response"));

        server->answer(200, "<html>not json</html>", "text/html");
        QVERIFY(await(client->changePassword(QStringLiteral("old"), QStringLiteral("new"))));
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

        // A changed preference applies to the very next request, but the token stays with the
        // service that issued it.
        ScriptedServer second;
        server->answer(200, userJson);
        second.answer(200, R"({"accessToken":"T","user":)" + userJson + "}");
        APIConfig::setBaseURL(server->url().toString());
        QVERIFY(await(client->me()));
        APIConfig::setBaseURL(second.url().toString());
        QSignalSpy refused(client, &APIClient::credentialsRefused);
        QCOMPARE(errorOf(await(client->me())).kind(), APIClientError::Kind::OtherService);
        QVERIFY(refused.wait(1000));
        QCOMPARE(refused.first().first().value<APIClientError::Kind>(), APIClientError::Kind::OtherService);
        QVERIFY(second.requests().isEmpty());
        QVERIFY(await(client->login(QStringLiteral("amal"), QStringLiteral("pw"))));
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
        client->setAccessToken(QStringLiteral("tok-1"));
        const auto refused = await(client->me());
        QVERIFY(!refused);
        QCOMPARE(refused.error().kind(), APIClientError::Kind::Transport);
        QVERIFY2(refused.error().text().contains(QStringLiteral("refused"), Qt::CaseInsensitive),
                 qPrintable(refused.error().text()));

        // A service that never answers fails after the idle time-out.
        useBaseURL(server->url().toString());
        client->setAccessToken(QStringLiteral("tok-1"));
        server->answer(ScriptedServer::Reply{200, {}, {}, true});
        client->setTransferTimeout(300ms);
        const auto silent = errorOf(await(client->me()));
        QCOMPARE(silent.kind(), APIClientError::Kind::Transport);
        QCOMPARE(silent.text(), QStringLiteral("The request timed out."));

        qputenv("LUMORA_API_BASE_URL", "relative/path");
        client->setAccessToken(QStringLiteral("tok-1"));
        QCOMPARE(errorOf(await(client->me())).kind(), APIClientError::Kind::Transport);
    }

    void redirectsStayWithinTheOrigin() {
        ScriptedServer elsewhere; // another port is another origin
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write("picture");
        file.close();
        for (int status : {301, 302, 303, 307, 308}) {
            server->answer(redirect(status, elsewhere.url(QStringLiteral("/auth/me"))));
            const auto me = await(client->me());
            QVERIFY(!me);
            QCOMPARE(me.error().kind(), APIClientError::Kind::Redirected);
            QVERIFY2(me.error().text().contains(elsewhere.url(QStringLiteral("/auth/me")).toString()),
                     qPrintable(me.error().text()));
            QCOMPARE(errorOf(await(client->login(QStringLiteral("amal"), QStringLiteral("secret")))).kind(),
                     APIClientError::Kind::Redirected);
            QCOMPARE(errorOf(await(client->uploadFile(file.fileName()))).kind(),
                     APIClientError::Kind::Redirected);
        }
        QVERIFY(elsewhere.requests().isEmpty());

        // Within the origin: 307 sends the same method and body again, 303 turns it into a GET.
        const QByteArray sent =
            R"({"id":"m","conversationId":"c","senderId":"u","createdAt":"2026-01-02T03:04:05Z"})";
        server->answerWith([this, sent](const ScriptedServer::Request& r) {
            if (r.target == "/conversations/c/messages")
                return redirect(307, server->url(QStringLiteral("/moved/messages")));
            if (r.target == "/moved/messages")
                return ScriptedServer::Reply{201, sent};
            if (r.target == "/users/me")
                return redirect(303, server->url(QStringLiteral("/auth/me")));
            return ScriptedServer::Reply{200, userJson};
        });
        QVERIFY(await(client->sendMessage(QStringLiteral("c"), QStringLiteral("hi"), std::nullopt)));
        QVERIFY(await(client->updateProfile(UpdateProfileRequest{QStringLiteral("Amal"), {}, {}, {}, {}})));
        const auto& r = server->requests();
        QCOMPARE(r[r.size() - 3].method, QByteArray("POST"));
        QCOMPARE(r[r.size() - 3].target, QByteArray("/moved/messages"));
        QCOMPARE(r[r.size() - 3].body, QByteArray(R"({"body":"hi"})"));
        QCOMPARE(r[r.size() - 3].header("Authorization"), QByteArray("Bearer tok-1"));
        QCOMPARE(r.last().method, QByteArray("GET"));
        QCOMPARE(r.last().target, QByteArray("/auth/me"));
        QCOMPARE(r.last().body, QByteArray());
    }

    void credentialsNeverTravelInTheClearBeyondThisMachine() {
        // A proxy on this machine stands in for the network, so nothing leaves it whatever happens.
        QNetworkAccessManager network;
        network.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"),
                                       quint16(server->url().port())));
        APIClient remote(&network);
        useBaseURL(QStringLiteral("http://service.example"));
        remote.setAccessToken(QStringLiteral("tok-1"));
        server->answer(200, R"({"accessToken":"T","user":)" + userJson + "}");
        QTemporaryFile file;
        QVERIFY(file.open());
        const auto login = await(remote.login(QStringLiteral("amal"), QStringLiteral("secret")));
        QVERIFY(!login);
        QCOMPARE(login.error().kind(), APIClientError::Kind::Insecure);
        QVERIFY2(login.error().text().contains(QStringLiteral("service.example")),
                 qPrintable(login.error().text()));
        QCOMPARE(errorOf(await(remote.me())).kind(), APIClientError::Kind::Insecure);
        QCOMPARE(errorOf(await(remote.uploadFile(file.fileName()))).kind(), APIClientError::Kind::Insecure);
        QVERIFY(server->requests().isEmpty());

        // The documented switch for a development network lets it through.
        qputenv(APIConfig::insecureHttpVariable, "1");
        QVERIFY(await(remote.login(QStringLiteral("amal"), QStringLiteral("secret"))));
        QCOMPARE(server->requests().size(), 1);

        qunsetenv(APIConfig::insecureHttpVariable);
        for (const char* here :
             {"http://localhost:3001", "http://127.1.2.3", "http://[::1]:80", "https://h.example"})
            QVERIFY2(APIConfig::carriesCredentialsSafely(QUrl(QString::fromLatin1(here))), here);
        for (const char* away : {"http://10.0.0.1", "http://[::ffff:10.0.0.1]", "http://localhost.example"})
            QVERIFY2(!APIConfig::carriesCredentialsSafely(QUrl(QString::fromLatin1(away))), away);
    }

    void repliesAreBoundedInSizeAndTime() {
        client->setTransferTimeout(10s);
        // A declared length over the limit is refused before the body is read.
        server->answer(
            raw("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 838860800\r\n\r\n[]"));
        QCOMPARE(errorOf(await(client->conversations())).kind(), APIClientError::Kind::TooLarge);

        // A reply without a length is cut off once it passes the limit.
        client->setMaxReplyBytes(1024 * 1024);
        server->answer(chunked(64, QByteArray(64 * 1024, ' '), 1ms));
        const auto endless = errorOf(await(client->conversations()));
        QCOMPARE(endless.kind(), APIClientError::Kind::TooLarge);
        QVERIFY2(endless.text().contains(QStringLiteral("1 MB")), qPrintable(endless.text()));

        // A reply that keeps trickling in ends at the deadline, though it is never idle for long.
        client->setRequestDeadline(500ms);
        server->answer(chunked(60, " ", 50ms));
        const auto trickle = errorOf(await(client->me()));
        QCOMPARE(trickle.kind(), APIClientError::Kind::Transport);
        QVERIFY2(trickle.text().contains(QStringLiteral("did not finish answering")),
                 qPrintable(trickle.text()));
    }

    void upload_requestBytesExactly() {
        serveUploads();
        // Large enough to be streamed, and binary throughout.
        QByteArray bytes("\x89PNG\r\n\x1a\n\0", 9);
        for (qsizetype i = 0; i < 8 * 1024 * 1024 + 17; ++i)
            bytes += char((i * 131) % 251);
        const QString path = writeFile(dir, QStringLiteral("Photo.PNG"), bytes);
        const auto first = await(client->uploadFile(path));
        QVERIFY(first);
        QCOMPARE(first->url, QStringLiteral("/media/f1"));
        const auto second = await(client->uploadFile(path));
        QVERIFY(second);

        QCOMPARE(server->requests().size(), 2);
        QList<QByteArray> boundaries;
        for (const auto& request : server->requests()) {
            QCOMPARE(request.method, QByteArray("POST"));
            QCOMPARE(request.target, QByteArray("/media/upload")); // the base path is dropped
            QCOMPARE(request.header("Authorization"), QByteArray("Bearer tok-1"));
            QCOMPARE(request.header("Accept"), QByteArray("application/json"));
            const QByteArray boundary = boundaryOf(request);
            QVERIFY2(
                QRegularExpression(
                    QStringLiteral("^Boundary-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"))
                    .match(QString::fromLatin1(boundary))
                    .hasMatch(),
                boundary.constData());
            QCOMPARE(request.body, expectedBody(boundary, "Photo.PNG", "image/png", bytes));
            QCOMPARE(request.header("Content-Length").toLongLong(), request.body.size());
            boundaries.append(boundary);
        }
        QVERIFY(boundaries[0] != boundaries[1]);
    }

    void upload_emptyFileAndHostileNames() {
        serveUploads();
        const QString empty = writeFile(dir, QStringLiteral("empty"), QByteArray());
        QVERIFY(await(client->uploadFile(empty)));
        QByteArray boundary = boundaryOf(server->requests().last());
        QCOMPARE(server->requests().last().body,
                 expectedBody(boundary, "empty", "application/octet-stream", {}));

        // A quote or a line break in the name must not end the header line or inject another one.
        const QString hostile = writeFile(dir, QStringLiteral("a\"b\r\nX-Evil: 1.txt"), "hi");
        QVERIFY(await(client->uploadFile(hostile)));
        boundary = boundaryOf(server->requests().last());
        QCOMPARE(server->requests().last().body,
                 expectedBody(boundary, "a%22b%0D%0AX-Evil: 1.txt", "text/plain", "hi"));
        const QString arabic = writeFile(dir, QStringLiteral("صورة ١.jpeg"), "x");
        QVERIFY(await(client->uploadFile(arabic)));
        boundary = boundaryOf(server->requests().last());
        QCOMPARE(server->requests().last().body, expectedBody(boundary, "صورة ١.jpeg", "image/jpeg", "x"));
    }

    void upload_failureOrder() {
        serveUploads();
        // An unreadable file is reported first, with the file system's words, before the token.
        client->setAccessToken(std::nullopt);
        const auto missing = errorOf(await(client->uploadFile(dir.filePath(QStringLiteral("nope.png")))));
        QCOMPARE(missing.kind(), APIClientError::Kind::File);
        QCOMPARE(missing.text(), QStringLiteral("The file could not be read: No such file or directory"));
        QCOMPARE(errorOf(await(client->uploadFile(dir.path()))).kind(), APIClientError::Kind::File);

        const QString path = writeFile(dir, QStringLiteral("ok.txt"), "ok");
        QCOMPARE(errorOf(await(client->uploadFile(path))).kind(), APIClientError::Kind::Unauthorized);
        QVERIFY(server->requests().isEmpty());
    }

    void upload_replyRules_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        const int http = int(APIClientError::Kind::Http);
        const int decoding = int(APIClientError::Kind::Decoding);
        QTest::newRow("413 json") << 413 << QByteArray(R"({"message":"File is larger than 25 MiB"})") << http
                                  << "File is larger than 25 MiB";
        QTest::newRow("wrapped reply")
            << 201 << QByteArray(R"({"data":)" + uploadReply + "}") << decoding << "";
        QTest::newRow("empty reply") << 201 << QByteArray() << decoding << "";
    }

    void upload_replyRules() {
        serveUploads();
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(QString, text);
        server->answer(status, body, "text/plain");
        const auto result = errorOf(await(client->uploadFile(writeFile(dir, QStringLiteral("f.txt"), "f"))));
        QCOMPARE(int(result.kind()), kind);
        if (!text.isEmpty())
            QCOMPARE(result.text(), text);
        else
            QVERIFY(result.text().startsWith(QStringLiteral("Decoding error: ")));
    }
};

QTEST_GUILESS_MAIN(APIClientTest)
#include "tst_api_client.moc"
