#include "core/api/APIClient.h"
#include "DevServiceFixture.h"
#include "TestSupport.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

using namespace lumora;

namespace {

std::optional<ConversationDTO> withPeer(const QList<ConversationDTO>& list, const QString& username) {
    for (const ConversationDTO& c : list)
        if (c.peer && c.peer->username == username)
            return c;
    return std::nullopt;
}

QString writeFile(const DevService& service, const QString& name, qsizetype size) {
    QFile file(service.tempPath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(size, 'x')) != size)
        return {};
    return file.fileName();
}

const QByteArray unknownMedia = "/media/0123456789abcdef0123456789abcdef";

} // namespace

// Refusals: who may see what, which input is rejected, and that a refused request changes nothing.
class DevServiceSecurityTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DevService> service;
    std::unique_ptr<APIClient> client;
    std::optional<LoginResponse> amina;
    QString chatWithOmar;

    // A seeded service with amina signed in on `client`.
    bool startAsAmina(const QStringList& extra = {}) {
        const QString started = service->start(QStringList{QStringLiteral("--seed")} + extra);
        if (!started.isEmpty()) {
            qWarning("%s", qPrintable(started));
            return false;
        }
        amina = signIn(*client, QStringLiteral("amina"), QStringLiteral("sunshine123"));
        const auto inbox = await(client->conversations());
        const auto chat = inbox ? withPeer(*inbox, QStringLiteral("omar")) : std::nullopt;
        chatWithOmar = chat ? chat->id : QString();
        return amina && chat;
    }

    QByteArray token() const { return amina->tokens.accessToken.toUtf8(); }

private Q_SLOTS:
    void init() {
        service = std::make_unique<DevService>();
        client = std::make_unique<APIClient>();
    }

    void cleanup() {
        client.reset();
        service.reset();
        amina.reset();
    }

    void strangersSeeNothing() {
        QVERIFY(startAsAmina());
        APIClient claire;
        QVERIFY(signIn(claire, QStringLiteral("claire"), QStringLiteral("lumora-demo")));
        const auto theirs = withPeer(*await(claire.conversations()), QStringLiteral("james"));
        QVERIFY(theirs);
        const QByteArray before = databaseFingerprint(service->databasePath());

        const auto read = await(client->messages(theirs->id));
        QVERIFY(!read);
        QCOMPARE(read.error().status(), 404);
        const auto sent = await(client->sendMessage(theirs->id, QStringLiteral("hello?"), std::nullopt));
        QVERIFY(!sent);
        QCOMPARE(sent.error().status(), 404);
        // Someone else's conversation reads exactly like one that does not exist.
        const auto none = await(client->messages(QStringLiteral("0123456789abcdef0123456789abcdef")));
        QVERIFY(!none);
        QCOMPARE(none.error(), read.error());
        QCOMPARE(databaseFingerprint(service->databasePath()), before);
    }

    void tokensAreChecked() {
        QVERIFY(startAsAmina());
        APIClient stranger;
        stranger.setAccessToken(QStringLiteral("made-up-token"));
        const auto me = await(stranger.me());
        QVERIFY(!me);
        QCOMPARE(me.error().kind(), APIClientError::Kind::Unauthorized);
        const auto conversations = await(stranger.conversations());
        QVERIFY(!conversations);
        QCOMPARE(conversations.error().kind(), APIClientError::Kind::Unauthorized);
        const int files = fileCount(service->mediaPath());
        const auto upload = await(stranger.uploadFile(writeFile(*service, QStringLiteral("a.txt"), 10)));
        QVERIFY(!upload);
        QCOMPARE(upload.error().kind(), APIClientError::Kind::Unauthorized);
        QCOMPARE(fileCount(service->mediaPath()), files);

        const QUrl url = service->url(QStringLiteral("/conversations"));
        const QByteArray refresh = amina->tokens.refreshToken->toUtf8();
        for (const QByteArray& token : {QByteArray(), QByteArray("made-up"), refresh}) {
            const RawReply reply = rawRequest(url, "GET", {}, token);
            QCOMPARE(reply.status, 401);
            QCOMPARE(reply.object().value(QStringLiteral("statusCode")).toInt(), 401);
            QCOMPARE(reply.object().value(QStringLiteral("error")).toString(),
                     QStringLiteral("Unauthorized"));
        }
        QCOMPARE(rawRequest(url, "GET", {}, token()).status, 200);
    }

    void badBodiesChangeNothing_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("complaint");
        const QString send = QStringLiteral("/conversations/{chat}/messages");
        const QByteArray attachment =
            "{\"url\":\"" + unknownMedia + "\",\"mimeType\":\"image/png\",\"sizeBytes\":3}";
        QTest::newRow("not json") << QByteArray("POST") << send << QByteArray("{\"body\": ")
                                  << "not valid JSON";
        QTest::newRow("no body at all") << QByteArray("POST") << send << QByteArray() << "not valid JSON";
        QTest::newRow("array") << QByteArray("POST") << send << QByteArray("[]") << "Expected an object";
        QTest::newRow("body a number")
            << QByteArray("POST") << send << QByteArray("{\"body\":5}") << "(at body)";
        QTest::newRow("attachments a string")
            << QByteArray("POST") << send << QByteArray("{\"attachments\":\"x\"}") << "(at attachments)";
        QTest::newRow("attachment without size")
            << QByteArray("POST") << send
            << QByteArray("{\"attachments\":[{\"url\":\"" + unknownMedia + "\",\"mimeType\":\"image/png\"}]}")
            << "attachments[0].sizeBytes";
        QTest::newRow("nothing to send")
            << QByteArray("POST") << send << QByteArray("{}") << "non-empty body";
        QTest::newRow("blank body") << QByteArray("POST") << send << QByteArray("{\"body\":\" \\n \"}")
                                    << "non-empty body";
        QTest::newRow("text and an unknown file")
            << QByteArray("POST") << send
            << QByteArray("{\"body\":\"hi\",\"attachments\":[" + attachment + "]}") << "attachments[0].url";
        QTest::newRow("file elsewhere")
            << QByteArray("POST") << send
            << QByteArray(
                   "{\"attachments\":[{\"url\":\"https://example.com/a.png\",\"mimeType\":\"image/png\","
                   "\"sizeBytes\":3}]}")
            << "attachments[0].url";
        const QString profile = QStringLiteral("/users/me");
        QTest::newRow("country code")
            << QByteArray("PATCH") << profile << QByteArray("{\"countryCode\":\"E1\"}") << "countryCode";
        QTest::newRow("display name a number")
            << QByteArray("PATCH") << profile << QByteArray("{\"displayName\":7}") << "(at displayName)";
        QTest::newRow("display name too long")
            << QByteArray("PATCH") << profile
            << QByteArray("{\"displayName\":\"" + QByteArray(65, 'a') + "\"}") << "displayName";
        const QString password = QStringLiteral("/auth/change-password");
        QTest::newRow("no new password")
            << QByteArray("POST") << password << QByteArray("{\"currentPassword\":\"sunshine123\"}")
            << "newPassword";
        QTest::newRow("short new password")
            << QByteArray("POST") << password
            << QByteArray("{\"currentPassword\":\"sunshine123\",\"newPassword\":\"seven77\"}")
            << "8 characters";
        QTest::newRow("login without password") << QByteArray("POST") << QStringLiteral("/auth/login")
                                                << QByteArray("{\"username\":\"amina\"}") << "(at password)";
        QTest::newRow("login name a list")
            << QByteArray("POST") << QStringLiteral("/auth/login")
            << QByteArray("{\"username\":[\"amina\"],\"password\":\"sunshine123\"}") << "(at username)";
    }

    void badBodiesChangeNothing() {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QString, complaint);
        QVERIFY(startAsAmina());
        const QByteArray before = databaseFingerprint(service->databasePath());
        QVERIFY(before.contains("/"));

        const QUrl url = service->url(QString(path).replace(QStringLiteral("{chat}"), chatWithOmar));
        const RawReply reply = rawRequest(url, method, body, token());
        QCOMPARE(reply.status, 400);
        QCOMPARE(reply.object().value(QStringLiteral("statusCode")).toInt(), 400);
        QCOMPARE(reply.object().value(QStringLiteral("error")).toString(), QStringLiteral("Bad Request"));
        const QString message = reply.object().value(QStringLiteral("message")).toString();
        QVERIFY2(message.contains(complaint), qPrintable(message));
        QCOMPARE(databaseFingerprint(service->databasePath()), before);
    }

    void othersFilesCannotBeAttached() {
        QVERIFY(startAsAmina());
        APIClient claire;
        QVERIFY(signIn(claire, QStringLiteral("claire"), QStringLiteral("lumora-demo")));
        const auto upload = await(claire.uploadFile(writeFile(*service, QStringLiteral("claire.txt"), 64)));
        QVERIFY(upload);
        const QByteArray before = databaseFingerprint(service->databasePath());
        const AttachmentInputDTO input{upload->url, upload->mimeType, upload->sizeBytes, upload->fileName};
        const auto sent = await(client->sendMessage(chatWithOmar, QStringLiteral("look"), QList{input}));
        QVERIFY(!sent);
        QCOMPARE(sent.error().status(), 400);
        QCOMPARE(databaseFingerprint(service->databasePath()), before);
    }

    void oversizedUploadsLeaveNoFile() {
        QVERIFY(startAsAmina({QStringLiteral("--max-upload-bytes"), QStringLiteral("1024")}));
        const int files = fileCount(service->mediaPath());
        const auto fits = await(client->uploadFile(writeFile(*service, QStringLiteral("fits.txt"), 1024)));
        QVERIFY2(fits, qPrintable(failureText(fits)));
        QCOMPARE(fileCount(service->mediaPath()), files + 1);

        // Just over is caught by the service; far over by the HTTP layer before it reads the body.
        for (const qsizetype size : {qsizetype(1025), qsizetype(300 * 1024)}) {
            const auto refused =
                await(client->uploadFile(writeFile(*service, QStringLiteral("big.txt"), size)));
            QVERIFY(!refused);
            QCOMPARE(refused.error().status(), 413);
            QVERIFY2(refused.error().text().contains(QStringLiteral("1024")),
                     qPrintable(refused.error().text()));
        }
        QCOMPARE(fileCount(service->mediaPath()), files + 1);
        QCOMPARE(queryDatabase(service->databasePath(), "SELECT count(*) FROM media WHERE size_bytes > 1024"),
                 QByteArray("0"));
    }

    void unknownRoutesAnswerJson() {
        QVERIFY(startAsAmina());
        const QList<QPair<QByteArray, QUrl>> requests = {
            {"GET", service->url(QStringLiteral("/nope"))},
            {"POST", service->url(QStringLiteral("/conversations"))},
            {"GET", service->url(QString::fromLatin1(unknownMedia))},
            {"GET", QUrl::fromEncoded(service->url().toEncoded() + "/media/..%2Fdb.sqlite")},
        };
        for (const auto& [method, url] : requests) {
            const RawReply reply = rawRequest(url, method, {}, token());
            QVERIFY2(
                reply.status == 404,
                (method + ' ' + url.toEncoded() + " gave " + QByteArray::number(reply.status)).constData());
            QCOMPARE(reply.object().value(QStringLiteral("statusCode")).toInt(), 404);
            QVERIFY(!reply.body.contains("SQLite format"));
        }
    }

    void concurrentSendsAllLand() {
        QVERIFY(startAsAmina());
        const QByteArray before = queryDatabase(service->databasePath(), "SELECT count(*) FROM messages");
        constexpr int count = 24;
        QNetworkAccessManager network;
        QList<QNetworkReply*> replies;
        for (int i = 0; i < count; ++i) {
            QNetworkRequest request(
                service->url(QStringLiteral("/conversations/%1/messages").arg(chatWithOmar)));
            request.setRawHeader("Content-Type", "application/json");
            request.setRawHeader("Authorization", "Bearer " + token());
            replies.append(
                network.post(request, QByteArray("{\"body\":\"burst ") + QByteArray::number(i) + "\"}"));
        }
        QEventLoop loop;
        int finished = 0;
        for (QNetworkReply* reply : replies)
            connect(reply, &QNetworkReply::finished, &loop, [&] {
                if (++finished == count)
                    loop.quit();
            });
        loop.exec();
        for (QNetworkReply* reply : replies) {
            QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 201);
            reply->deleteLater();
        }
        QCOMPARE(queryDatabase(service->databasePath(), "SELECT count(*) FROM messages").toInt(),
                 before.toInt() + count);
        APIClient omar;
        QVERIFY(signIn(omar, QStringLiteral("omar"), QStringLiteral("lumora-demo")));
        QCOMPARE(withPeer(*await(omar.conversations()), QStringLiteral("amina"))->unreadCount, qint64(count));
    }
};

QTEST_GUILESS_MAIN(DevServiceSecurityTest)
#include "tst_devservice_security.moc"
