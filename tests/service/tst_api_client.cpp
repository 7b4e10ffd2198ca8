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
using namespace Qt::StringLiterals;
using Kind = APIClientError::Kind;

namespace {

const QByteArray userJson =
    R"({"id":"u1","username":"amal","role":"admin","verified":true,"mustChangePassword":false})";
const QByteArray loginReply = R"({"accessToken":"T","user":)" + userJson + "}";
const QByteArray sentReply =
    R"({"id":"m","conversationId":"c","senderId":"u","createdAt":"2026-01-02T03:04:05Z"})";
const QByteArray uploadReply =
    R"({"url":"/media/f1","mimeType":"image/png","sizeBytes":4,"fileName":"p.png"})";

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
        const QByteArray piece = QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
        for (int i = 1; i <= count; ++i)
            QTimer::singleShot(interval * i, socket, [=] { socket->write(piece); });
        QTimer::singleShot(interval * (count + 1), socket, [=] { socket->write("0\r\n\r\n"); });
    };
    return reply;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// "Kind: text" of the error a request ended in, so one comparison shows both.
template <class T> QString failureOf(const APIResult<T>& result) {
    const APIClientError error = errorOf(result);
    return QString::fromLatin1(QMetaEnum::fromType<Kind>().valueToKey(int(error.kind()))) + u": "_s +
           error.text();
}

} // namespace

class APIClientTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    APIClient* client = nullptr;
    QTemporaryDir dir;

    auto login(APIClient& api, const QString& password = u"pw"_s) {
        return await(api.login(u"amal"_s, password));
    }

private Q_SLOTS:
    void initTestCase() { TextCatalogue::use(QLocale(QLocale::English)); }

    void init() {
        server = new ScriptedServer(this);
        client = new APIClient(nullptr, this);
        useBaseURL(server->url().toString());
        PreferenceStore::remove(QString::fromLatin1(APIConfig::preferenceKey));
        qunsetenv(APIConfig::insecureHttpVariable);
        client->setAccessToken(u"tok-1"_s); // issued by the server of this test
    }

    void cleanup() {
        delete client;
        delete server;
    }

    void protectedEndpointsNeedAToken() {
        for (const auto& noToken : {std::optional<QString>(), std::optional<QString>(QString())}) {
            client->setAccessToken(noToken);
            const QString expired = u"Unauthorized: Session expired. Please sign in again."_s;
            QCOMPARE(failureOf(await(client->me())), expired);
            QCOMPARE(failureOf(await(client->conversations())), expired);
            QCOMPARE(failureOf(await(client->messages(u"c"_s))), expired);
            QCOMPARE(failureOf(await(client->sendMessage(u"c"_s, u"hi"_s, std::nullopt))), expired);
            QCOMPARE(failureOf(await(client->updateProfile(UpdateProfileRequest{}))), expired);
            QCOMPARE(failureOf(await(client->changePassword(u"a"_s, u"b"_s))), expired);
        }
        QVERIFY(server->requests().isEmpty());

        // Sign-in goes out without a token, and without one even when a token is held.
        server->answer(200, loginReply);
        QVERIFY(login(*client));
        client->setAccessToken(u"held"_s);
        QVERIFY(login(*client));
        QCOMPARE(server->requests().size(), 2);
        for (const auto& request : server->requests()) {
            QVERIFY(!request.hasHeader("Authorization"));
            QCOMPARE(request.method + ' ' + request.target, QByteArray("POST /auth/login"));
            QCOMPARE(request.body, QByteArray(R"({"password":"pw","username":"amal"})"));
        }
    }

    void requestsCarryMethodPathHeadersAndBody() {
        server->answer(200, userJson);
        QVERIFY(await(client->me()));
        QVERIFY(await(client->updateProfile(UpdateProfileRequest{u"Amal"_s, {}, {}, {}, {}})));
        server->answer(200, "[]");
        QVERIFY(await(client->conversations()));
        QVERIFY(await(client->messages(u"a b?c"_s)));
        server->answer(201, sentReply);
        QVERIFY(await(client->sendMessage(u"c9"_s, QString(), QList<AttachmentInputDTO>{})));

        const auto& r = server->requests();
        const QByteArrayList expected = {"GET /auth/me", "PATCH /users/me", "GET /conversations",
                                         "GET /conversations/a%20b%3Fc/messages",
                                         "POST /conversations/c9/messages"};
        QCOMPARE(r.size(), expected.size());
        for (int i = 0; i < r.size(); ++i) {
            QCOMPARE(r[i].method + ' ' + r[i].target, expected[i]);
            QCOMPARE(r[i].header("Authorization"), QByteArray("Bearer tok-1"));
            QCOMPARE(r[i].header("Accept"), QByteArray("application/json"));
            QCOMPARE(r[i].header("Content-Type"), QByteArray("application/json"));
        }
        QCOMPARE(r[1].body, QByteArray(R"({"displayName":"Amal"})"));
        QCOMPARE(r[4].body, QByteArray("{}")); // empty body and no attachments
    }

    void failingStatuses() {
        const struct {
            int status;
            QByteArray body;
            QString text;
        } cases[] = {
            {500, R"({"message":"Database down"})", u"Database down"_s},
            {400, R"({"message":""})", QString()},
            {400, R"({"message":["title too long","body missing"]})", u"title too long, body missing"_s},
            {502, "Bad gateway\n", u"Bad gateway\n"_s},
            {502, QByteArray(), u"HTTP 502"_s},
            {404, R"({"statusCode":404,"error":"Not Found"})",
             uR"({"statusCode":404,"error":"Not Found"})"_s},
            {503, "\xff\xfe", u"HTTP 503"_s}, // not UTF-8
        };
        for (const auto& [status, body, text] : cases) {
            server->answer(status, body, "text/plain");
            const auto result = await(client->me());
            QCOMPARE(errorOf(result).status(), status);
            QCOMPARE(failureOf(result), u"Http: "_s + text);
        }
    }

    void unauthorizedAndEmptyReplies() {
        server->answer(401, R"({"message":"Token expired"})");
        QCOMPARE(errorOf(await(client->me())).kind(), Kind::Unauthorized);
        // Nobody is signed in yet at sign-in: the service's own words are shown.
        server->answer(401, R"({"message":"Wrong user name or password"})");
        QCOMPARE(failureOf(login(*client, u"nope"_s)), u"Http: Wrong user name or password"_s);
        server->answer(401, QByteArray());
        QCOMPARE(errorOf(login(*client, u"nope"_s)).text(), u"HTTP 401"_s);

        server->answer(204, QByteArray());
        QVERIFY(await(client->changePassword(u"old"_s, u"new"_s)));
        QCOMPARE(server->requests().last().body,
                 QByteArray(R"({"currentPassword":"old","newPassword":"new"})"));
        QCOMPARE(failureOf(await(client->me())), u"EmptyBody: Empty response"_s);
        server->answer(200, "<html>not json</html>", "text/html"); // a reply nobody reads
        QVERIFY(await(client->changePassword(u"old"_s, u"new"_s)));
    }

    // A list asked for again carries the last tag; 304, or the same bytes from a service without tags,
    // is "unchanged" with nothing decoded. A new token starts over.
    void unchangedListsAreNotDecodedAgain() {
        const QByteArray list = R"([{"id":"c1","updatedAt":"2026-01-02T03:04:05Z"}])";
        const auto ifNoneMatch = [&] { return server->requests().last().header("If-None-Match"); };
        ScriptedServer::Reply tagged{200, list};
        tagged.etag = R"("v1")";
        server->answer(tagged);
        QCOMPARE(await(client->conversations())->size(), 1); // remembered, though not asked conditionally
        QCOMPARE(ifNoneMatch(), QByteArray());
        server->answer(304, QByteArray(), QByteArray());
        const auto unchanged = await(client->conversations(APIClient::Ask::IfChanged));
        QVERIFY(unchanged && !unchanged->has_value());
        QCOMPARE(ifNoneMatch(), QByteArray(R"("v1")"));
        // A 304 nobody asked for is no list.
        QCOMPARE(errorOf(await(client->conversations())).kind(), Kind::Http);

        // Without tags, the same bytes are unchanged; other bytes are decoded.
        server->answer(
            200, R"([{"id":"m1","conversationId":"c1","senderId":"u","createdAt":"2026-01-02T03:04:05Z"}])");
        QCOMPARE(await(client->messages(u"c1"_s, APIClient::Ask::IfChanged))->value().size(),
                 1); // nothing known yet
        QVERIFY(!await(client->messages(u"c1"_s, APIClient::Ask::IfChanged))->has_value());
        QCOMPARE(ifNoneMatch(), QByteArray());
        server->answer(200, "[]");
        QCOMPARE(await(client->messages(u"c1"_s, APIClient::Ask::IfChanged))->value().size(), 0);

        client->setAccessToken(u"tok-2"_s);
        server->answer(tagged);
        QCOMPARE(await(client->conversations(APIClient::Ask::IfChanged))->value().size(), 1);
        QCOMPARE(ifNoneMatch(), QByteArray());
    }

    void baseURLResolution() {
        // The environment wins over the preference; an empty variable lets the preference apply.
        APIConfig::setBaseURL(u"http://127.0.0.1:9/"_s);
        QCOMPARE(APIConfig::baseURL(), server->url());
        qputenv("LUMORA_API_BASE_URL", "");
        QCOMPARE(APIConfig::baseURL(), QUrl(u"http://127.0.0.1:9/"_s));
        APIConfig::setBaseURL(QString());
        QCOMPARE(APIConfig::baseURL(), APIConfig::productionBaseURL());
        APIConfig::setBaseURL(u"http://[::1"_s);
        QCOMPARE(APIConfig::baseURL(), APIConfig::productionBaseURL());
        qunsetenv("LUMORA_API_BASE_URL");

        // A changed preference applies to the very next request, but the token stays with the
        // service that issued it.
        ScriptedServer second;
        server->answer(200, userJson);
        second.answer(200, loginReply);
        APIConfig::setBaseURL(server->url().toString());
        QVERIFY(await(client->me()));
        APIConfig::setBaseURL(second.url().toString());
        QSignalSpy refused(client, &APIClient::credentialsRefused);
        QCOMPARE(errorOf(await(client->me())).kind(), Kind::OtherService);
        QVERIFY(refused.wait(1000));
        QCOMPARE(refused.first().first().value<Kind>(), Kind::OtherService);
        QVERIFY(second.requests().isEmpty());
        QVERIFY(login(*client));
        QCOMPARE(server->requests().size(), 1);
        QCOMPARE(second.requests().size(), 1);

        // A base path is kept, however its slashes are written.
        server->answer(200, loginReply);
        for (const char* prefix : {"/api/", "/api", "//api//"}) {
            useBaseURL(server->url(QString::fromLatin1(prefix)).toString());
            QVERIFY(login(*client));
            QCOMPARE(server->requests().last().target, QByteArray("/api/auth/login"));
        }
        QCOMPARE(APIConfig::requestURL(QUrl(u"https://h.example:8443/v1?x=1"_s), u"auth/me"_s),
                 QUrl(u"https://h.example:8443/v1/auth/me?x=1"_s));
    }

    void transportFailures() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        useBaseURL(u"http://127.0.0.1:%1"_s.arg(port));
        client->setAccessToken(u"tok-1"_s);
        const QString refused = failureOf(await(client->me()));
        QVERIFY2(refused.startsWith(u"Transport: "_s) && refused.contains(u"refused"_s, Qt::CaseInsensitive),
                 qPrintable(refused));

        // A service that never answers fails after the idle time-out.
        useBaseURL(server->url().toString());
        client->setAccessToken(u"tok-1"_s);
        server->answer(ScriptedServer::Reply{200, {}, {}, true});
        client->setTransferTimeout(300ms);
        QCOMPARE(failureOf(await(client->me())), u"Transport: The request timed out."_s);

        qputenv("LUMORA_API_BASE_URL", "relative/path");
        client->setAccessToken(u"tok-1"_s);
        QCOMPARE(errorOf(await(client->me())).kind(), Kind::Transport);
    }

    void redirectsStayWithinTheOrigin() {
        ScriptedServer elsewhere; // another port is another origin
        const QString file = writeFile(dir, u"picture"_s, "picture");
        for (int status : {301, 302, 303, 307, 308}) {
            server->answer(redirect(status, elsewhere.url(u"/auth/me"_s)));
            const QString me = failureOf(await(client->me()));
            QVERIFY2(me.startsWith(u"Redirected: "_s) && me.contains(elsewhere.url(u"/auth/me"_s).toString()),
                     qPrintable(me));
            QCOMPARE(errorOf(login(*client, u"secret"_s)).kind(), Kind::Redirected);
            QCOMPARE(errorOf(await(client->uploadFile(file))).kind(), Kind::Redirected);
        }
        QVERIFY(elsewhere.requests().isEmpty());

        // Within the origin: 307 sends the same method and body again, 303 turns it into a GET.
        server->answerWith([this](const ScriptedServer::Request& r) {
            if (r.target == "/conversations/c/messages")
                return redirect(307, server->url(u"/moved/messages"_s));
            if (r.target == "/moved/messages")
                return ScriptedServer::Reply{201, sentReply};
            if (r.target == "/users/me")
                return redirect(303, server->url(u"/auth/me"_s));
            return ScriptedServer::Reply{200, userJson};
        });
        QVERIFY(await(client->sendMessage(u"c"_s, u"hi"_s, std::nullopt)));
        QVERIFY(await(client->updateProfile(UpdateProfileRequest{u"Amal"_s, {}, {}, {}, {}})));
        const auto& r = server->requests();
        const auto& moved = r[r.size() - 3];
        QCOMPARE(moved.method + ' ' + moved.target + ' ' + moved.body,
                 QByteArray(R"(POST /moved/messages {"body":"hi"})"));
        QCOMPARE(moved.header("Authorization"), QByteArray("Bearer tok-1"));
        QCOMPARE(r.last().method + ' ' + r.last().target + ' ' + r.last().body, QByteArray("GET /auth/me "));
    }

    void credentialsNeverTravelInTheClearBeyondThisMachine() {
        // A proxy on this machine stands in for the network, so nothing leaves it whatever happens.
        QNetworkAccessManager network;
        network.setProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, quint16(server->url().port())));
        APIClient remote(&network);
        useBaseURL(u"http://service.example"_s);
        remote.setAccessToken(u"tok-1"_s);
        server->answer(200, loginReply);
        const QString refused = failureOf(login(remote, u"secret"_s));
        QVERIFY2(refused.startsWith(u"Insecure: "_s) && refused.contains(u"service.example"_s),
                 qPrintable(refused));
        QCOMPARE(errorOf(await(remote.me())).kind(), Kind::Insecure);
        QCOMPARE(errorOf(await(remote.uploadFile(writeFile(dir, u"f"_s, "f")))).kind(), Kind::Insecure);
        QVERIFY(server->requests().isEmpty());

        // The documented switch for a development network lets it through.
        qputenv(APIConfig::insecureHttpVariable, "1");
        QVERIFY(login(remote, u"secret"_s));
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
        QCOMPARE(errorOf(await(client->conversations())).kind(), Kind::TooLarge);

        // A reply without a length is cut off once it passes the limit.
        client->setMaxReplyBytes(1024 * 1024);
        server->answer(chunked(64, QByteArray(64 * 1024, ' '), 1ms));
        const QString endless = failureOf(await(client->conversations()));
        QVERIFY2(endless.startsWith(u"TooLarge: "_s) && endless.contains(u"1 MB"_s), qPrintable(endless));

        // A reply that keeps trickling in ends at the deadline, though it is never idle for long.
        client->setRequestDeadline(500ms);
        server->answer(chunked(60, " ", 50ms));
        const QString trickle = failureOf(await(client->me()));
        QVERIFY2(trickle.startsWith(u"Transport: "_s) && trickle.contains(u"did not finish answering"_s),
                 qPrintable(trickle));
    }

    void upload_requestBytesExactly_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("sentName");
        QTest::addColumn<QByteArray>("type");
        // Large enough to be streamed, and binary throughout.
        QByteArray large("\x89PNG\r\n\x1a\n\0", 9);
        for (qsizetype i = 0; i < 8 * 1024 * 1024 + 17; ++i)
            large += char((i * 131) % 251);
        QTest::newRow("large binary") << u"Photo.PNG"_s << large << "Photo.PNG"_ba
                                      << "image/png"_ba;
        QTest::newRow("empty") << u"empty"_s << QByteArray() << "empty"_ba
                               << "application/octet-stream"_ba;
        // A quote or a line break in the name must not end the header line or inject another one.
        QTest::newRow("hostile name") << u"a\"b\r\nX-Evil: 1.txt"_s << "hi"_ba
                                      << "a%22b%0D%0AX-Evil: 1.txt"_ba
                                      << "text/plain"_ba;
        QTest::newRow("arabic name") << u"صورة ١.jpeg"_s << "x"_ba
                                     << "صورة ١.jpeg"_ba
                                     << "image/jpeg"_ba;
    }

    void upload_requestBytesExactly() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, sentName);
        QFETCH(QByteArray, type);
        server->answer(201, uploadReply);
        useBaseURL(server->url(u"/api/v1"_s).toString()); // a base path the upload's address drops
        const QString path = writeFile(dir, name, bytes);
        const auto first = await(client->uploadFile(path));
        QVERIFY(first);
        QCOMPARE(first->url, u"/media/f1"_s);
        QVERIFY(await(client->uploadFile(path)));

        QCOMPARE(server->requests().size(), 2);
        const QRegularExpression boundaryForm(
            u"^multipart/form-data; boundary=(Boundary-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$"_s);
        QByteArrayList boundaries;
        for (const auto& request : server->requests()) {
            QCOMPARE(request.method + ' ' + request.target, QByteArray("POST /media/upload"));
            QCOMPARE(request.header("Authorization"), QByteArray("Bearer tok-1"));
            QCOMPARE(request.header("Accept"), QByteArray("application/json"));
            const auto match = boundaryForm.match(QString::fromLatin1(request.header("Content-Type")));
            QVERIFY2(match.hasMatch(), request.header("Content-Type").constData());
            const QByteArray boundary = match.captured(1).toLatin1();
            QCOMPARE(request.body, "--" + boundary +
                                       "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
                                       sentName + "\"\r\nContent-Type: " + type + "\r\n\r\n" + bytes +
                                       "\r\n--" + boundary + "--\r\n");
            QCOMPARE(request.header("Content-Length").toLongLong(), request.body.size());
            boundaries.append(boundary);
        }
        QVERIFY(boundaries[0] != boundaries[1]);
    }

    void upload_failures_data() {
        QTest::addColumn<QString>("file"); // in the temporary folder, where f.txt is written
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("failure"); // a pattern
        // An unreadable file is reported first, with the file system's words, before the token.
        QTest::newRow("missing file") << u"nope.png"_s << 0 << QByteArray()
                                      << u"^File: The file could not be read: No such file or directory$"_s;
        QTest::newRow("a folder") << u"."_s << 0 << QByteArray() << u"^File: The file could not be read: "_s;
        QTest::newRow("signed out") << u"f.txt"_s << 0 << QByteArray()
                                    << u"^Unauthorized: Session expired. Please sign in again.$"_s;
        QTest::newRow("413 json") << u"f.txt"_s << 413 << R"({"message":"File is larger than 25 MiB"})"_ba
                                  << u"^File: File too large: the service takes files up to 25 MiB.$"_s;
        QTest::newRow("413 in bytes")
            << u"f.txt"_s << 413
            << R"({"message":"The file is larger than the upload limit of 26214400 bytes"})"_ba
            << u"^File: File too large: the service takes files up to 25 MiB.$"_s;
        QTest::newRow("413 page") << u"f.txt"_s << 413 << "<html>Too big</html>"_ba
                                  << u"^File: File too large for the service.$"_s;
        QTest::newRow("wrapped reply")
            << u"f.txt"_s << 201 << R"({"data":)" + uploadReply + "}" << u"^Decoding: Decoding error: "_s;
        QTest::newRow("empty reply") << u"f.txt"_s << 201 << QByteArray() << u"^Decoding: Decoding error: "_s;
    }

    void upload_failures() {
        QFETCH(QString, file);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, failure);
        server->answer(status ? status : 201, status ? body : uploadReply, "text/plain");
        writeFile(dir, u"f.txt"_s, "f");
        if (!status)
            client->setAccessToken(std::nullopt);
        const QString result = failureOf(await(client->uploadFile(dir.filePath(file))));
        QVERIFY2(QRegularExpression(failure).match(result).hasMatch(), qPrintable(result));
        QCOMPARE(server->requests().size(), status ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(APIClientTest)
#include "tst_api_client.moc"
