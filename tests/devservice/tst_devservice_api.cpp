#include "DevServiceFixture.h"
#include "TestSupport.h"
#include "core/api/APIClient.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTest>

using namespace lumora;
using namespace std::chrono_literals;

namespace {

const QByteArray unknownMedia = "/media/0123456789abcdef0123456789abcdef";

} // namespace

// The service through the client the app uses, against its demo data: the happy paths, and the
// refusals (who may see what, which input is rejected, and that a refused request changes nothing).
class DevServiceApiTest : public QObject {
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

        const auto read = errorOf(await(client->messages(theirs->id)));
        QCOMPARE(read.status(), 404);
        QCOMPARE(
            errorOf(await(client->sendMessage(theirs->id, QStringLiteral("hello?"), std::nullopt))).status(),
            404);
        // Someone else's conversation reads exactly like one that does not exist.
        QCOMPARE(errorOf(await(client->messages(QStringLiteral("0123456789abcdef0123456789abcdef")))), read);
        QCOMPARE(databaseFingerprint(service->databasePath()), before);
    }

    void tokensAreChecked() {
        QVERIFY(startAsAmina());
        APIClient stranger;
        stranger.setAccessToken(QStringLiteral("made-up-token"));
        QCOMPARE(errorOf(await(stranger.me())).kind(), APIClientError::Kind::Unauthorized);
        const auto conversations = await(stranger.conversations());
        QVERIFY(!conversations);
        QCOMPARE(conversations.error().kind(), APIClientError::Kind::Unauthorized);
        const int files = fileCount(service->mediaPath());
        QCOMPARE(errorOf(await(stranger.uploadFile(
                             writeFile(*service, QStringLiteral("a.txt"), QByteArray(10, 'x')))))
                     .kind(),
                 APIClientError::Kind::Unauthorized);
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
        QTest::addColumn<QString>("request"); // method and path
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("complaint");
        const QString send = u"POST /conversations/{chat}/messages"_qs, profile = u"PATCH /users/me"_qs,
                      password = u"POST /auth/change-password"_qs;
        const QByteArray png = "\"mimeType\":\"image/png\"";
        QTest::newRow("not json") << send << QByteArray("{\"body\": ") << "not valid JSON";
        QTest::newRow("array") << send << QByteArray("[]") << "Expected an object";
        QTest::newRow("body a number") << send << QByteArray("{\"body\":5}") << "(at body)";
        QTest::newRow("attachment without size")
            << send << "{\"attachments\":[{\"url\":\"" + unknownMedia + "\"," + png + "}]}"
            << "attachments[0].sizeBytes";
        QTest::newRow("nothing to send") << send << QByteArray("{}") << "non-empty body";
        QTest::newRow("blank body") << send << QByteArray("{\"body\":\" \\n \"}") << "non-empty body";
        QTest::newRow("text and an unknown file") << send
                                                  << "{\"body\":\"hi\",\"attachments\":[{\"url\":\"" +
                                                         unknownMedia + "\"," + png + ",\"sizeBytes\":3}]}"
                                                  << "attachments[0].url";
        QTest::newRow("file elsewhere")
            << send
            << "{\"attachments\":[{\"url\":\"https://example.com/a.png\"," + png + ",\"sizeBytes\":3}]}"
            << "attachments[0].url";
        QTest::newRow("country code") << profile << QByteArray("{\"countryCode\":\"E1\"}") << "countryCode";
        QTest::newRow("display name too long")
            << profile << "{\"displayName\":\"" + QByteArray(65, 'a') + "\"}"
            << "displayName";
        QTest::newRow("no new password")
            << password << QByteArray("{\"currentPassword\":\"sunshine123\"}") << "newPassword";
        QTest::newRow("short new password")
            << password << QByteArray("{\"currentPassword\":\"sunshine123\",\"newPassword\":\"seven77\"}")
            << "8 characters";
        QTest::newRow("login without password")
            << u"POST /auth/login"_qs << QByteArray("{\"username\":\"amina\"}") << "(at password)";
    }

    void badBodiesChangeNothing() {
        QFETCH(QString, request);
        QFETCH(QByteArray, body);
        QFETCH(QString, complaint);
        QVERIFY(startAsAmina());
        const QByteArray before = databaseFingerprint(service->databasePath());
        QVERIFY(before.contains("/"));

        const QString path = request.section(u' ', 1).replace(QStringLiteral("{chat}"), chatWithOmar);
        const RawReply reply =
            rawRequest(service->url(path), request.section(u' ', 0, 0).toLatin1(), body, token());
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
        const auto upload =
            await(claire.uploadFile(writeFile(*service, QStringLiteral("claire.txt"), QByteArray(64, 'x'))));
        QVERIFY(upload);
        const QByteArray before = databaseFingerprint(service->databasePath());
        const AttachmentInputDTO input{upload->url, upload->mimeType, upload->sizeBytes, upload->fileName};
        QCOMPARE(
            errorOf(await(client->sendMessage(chatWithOmar, QStringLiteral("look"), QList{input}))).status(),
            400);
        QCOMPARE(databaseFingerprint(service->databasePath()), before);
    }

    void oversizedUploadsLeaveNoFile() {
        QVERIFY(startAsAmina({QStringLiteral("--max-upload-bytes"), QStringLiteral("1024")}));
        const int files = fileCount(service->mediaPath());
        const auto fits =
            await(client->uploadFile(writeFile(*service, QStringLiteral("fits.txt"), QByteArray(1024, 'x'))));
        QVERIFY2(fits, qPrintable(failureText(fits)));
        QCOMPARE(fileCount(service->mediaPath()), files + 1);

        // Just over is caught by the service; far over by the HTTP layer before it reads the body.
        for (const qsizetype size : {qsizetype(1025), qsizetype(300 * 1024)}) {
            const auto refused = errorOf(await(
                client->uploadFile(writeFile(*service, QStringLiteral("big.txt"), QByteArray(size, 'x')))));
            QCOMPARE(refused.status(), 413);
            QVERIFY2(refused.text().contains(QStringLiteral("1024")), qPrintable(refused.text()));
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

    void seededInbox_data() {
        QTest::addColumn<bool>("envelope");
        QTest::newRow("bare") << false;
        QTest::newRow("envelope") << true;
    }

    void seededInbox() {
        QFETCH(bool, envelope);
        QVERIFY(startAsAmina(envelope ? QStringList{u"--envelope"_qs} : QStringList{}));
        const auto& login = amina;
        QCOMPARE(login->tokens.tokenType, QStringLiteral("Bearer"));
        QVERIFY(login->tokens.expiresIn.value_or(0) > 0);
        QVERIFY(login->tokens.refreshToken && *login->tokens.refreshToken != login->tokens.accessToken);
        const auto me = await(client->me());
        QVERIFY(me);
        QCOMPARE(*me, login->user);

        // The shape on the wire, not only what the client tolerates; errors are never wrapped.
        const QByteArray token = login->tokens.accessToken.toUtf8();
        const RawReply raw = rawRequest(service->url(QStringLiteral("/auth/me")), "GET", {}, token);
        QCOMPARE(raw.object().contains(QStringLiteral("data")), envelope);
        QCOMPARE(raw.object().contains(QStringLiteral("username")), !envelope);
        const RawReply missing =
            rawRequest(service->url(QStringLiteral("/conversations/none/messages")), "GET", {}, token);
        QCOMPARE(missing.status, 404);
        QCOMPARE(missing.object().value(QStringLiteral("statusCode")).toInt(), 404);
        QCOMPARE(missing.object().value(QStringLiteral("error")).toString(), QStringLiteral("Not Found"));

        const auto inbox = await(client->conversations());
        QVERIFY(inbox);
        QVERIFY(inbox->size() >= 5);
        qint64 unread = 0;
        bool sawGroup = false, sawPicture = false;
        for (qsizetype i = 0; i < inbox->size(); ++i) {
            const ConversationDTO& c = inbox->at(i);
            if (i > 0)
                QVERIFY(inbox->at(i - 1).updatedAt >= c.updatedAt);
            QVERIFY(c.members &&
                    std::ranges::any_of(*c.members, [&](const auto& m) { return m.userId == me->id; }));
            if (c.members->size() == 2) {
                QVERIFY(c.peer && c.peer->id != me->id);
                QCOMPARE(c.type, QStringLiteral("direct"));
            } else {
                QVERIFY(!c.peer);
                QCOMPARE(c.type, QStringLiteral("group"));
                QVERIFY(c.title && !c.title->isEmpty());
                sawGroup = true;
            }
            unread += c.unreadCount;

            const auto messages = await(client->messages(c.id));
            QVERIFY(messages && !messages->isEmpty());
            QVERIFY(c.lastMessage);
            QCOMPARE(messages->last().id, c.lastMessage->id);
            for (qsizetype j = 0; j < messages->size(); ++j) {
                const MessageDTO& m = messages->at(j);
                QCOMPARE(m.conversationId, c.id);
                if (j > 0)
                    QVERIFY(messages->at(j - 1).createdAt <= m.createdAt);
                for (const AttachmentMetaDTO& a : m.attachments.value_or(QList<AttachmentMetaDTO>{})) {
                    const RawReply file = rawRequest(service->url(a.url), "GET", {}, {}, {});
                    QCOMPARE(file.status, 200);
                    QCOMPARE(file.body.size(), a.sizeBytes);
                    if (a.mimeType == QStringLiteral("image/png")) {
                        QVERIFY(file.body.startsWith("\x89PNG"));
                        sawPicture = true;
                    }
                }
            }
        }
        QVERIFY(unread > 0);
        QVERIFY(sawGroup);
        QVERIFY(sawPicture);

        // Reading each conversation above marked it read.
        const auto after = await(client->conversations());
        QVERIFY(after);
        for (const ConversationDTO& c : *after)
            QCOMPARE(c.unreadCount, qint64(0));
    }

    void sendTextAndAttachment_data() { seededInbox_data(); }

    void sendTextAndAttachment() {
        QFETCH(bool, envelope); // the upload's reply stays bare even with --envelope
        QVERIFY(startAsAmina(envelope ? QStringList{u"--envelope"_qs} : QStringList{}));

        const QString text = QStringLiteral("مرحبا 👋 hello");
        const auto sent = await(client->sendMessage(chatWithOmar, text, std::nullopt));
        QVERIFY2(sent, qPrintable(failureText(sent)));
        QCOMPARE(sent->body, text);
        QCOMPARE(sent->senderId, amina->user.id);
        QCOMPARE(sent->conversationId, chatWithOmar);
        QVERIFY(std::chrono::abs(sent->createdAt - std::chrono::system_clock::now()) < 60s);

        // A name that must be escaped in the multipart header comes back as it was.
        const QString name = QStringLiteral("trip \"final\"\nplan.txt");
        const QByteArray content =
            QByteArray("Day 1: Alexandria\nDay 2: the Citadel\n") + QByteArray(300, '\0');
        const int filesBefore = fileCount(service->mediaPath());
        const auto upload = await(client->uploadFile(writeFile(*service, name, content)));
        QVERIFY2(upload, qPrintable(failureText(upload)));
        QCOMPARE(upload->fileName, name);
        QCOMPARE(upload->sizeBytes, content.size());
        QCOMPARE(upload->mimeType, QStringLiteral("text/plain"));
        QVERIFY(upload->url.startsWith(QStringLiteral("/media/")));
        QCOMPARE(fileCount(service->mediaPath()), filesBefore + 1);

        const AttachmentInputDTO input{upload->url, upload->mimeType, upload->sizeBytes, upload->fileName};
        const auto withFile =
            await(client->sendMessage(chatWithOmar, std::nullopt, QList<AttachmentInputDTO>{input}));
        QVERIFY2(withFile, qPrintable(failureText(withFile)));
        QVERIFY(!withFile->body);
        QVERIFY(withFile->attachments && withFile->attachments->size() == 1);
        QCOMPARE(withFile->attachments->first().url, upload->url);
        QCOMPARE(withFile->attachments->first().fileName, name);
        QCOMPARE(withFile->attachments->first().sizeBytes, content.size());
        const RawReply fetched = rawRequest(service->url(upload->url), "GET", {}, {}, {});
        QCOMPARE(fetched.status, 200);
        QCOMPARE(fetched.body, content);
        QVERIFY(fetched.contentType.startsWith("text/plain"));

        // The other member finds both unread, in order, and reading clears the count.
        APIClient omarClient;
        QVERIFY(signIn(omarClient, QStringLiteral("omar"), QStringLiteral("lumora-demo")));
        const auto omarInbox = await(omarClient.conversations());
        QVERIFY(omarInbox && !omarInbox->isEmpty());
        QCOMPARE(omarInbox->first().id, chatWithOmar);
        QCOMPARE(omarInbox->first().unreadCount, qint64(2));
        QCOMPARE(omarInbox->first().lastMessage->id, withFile->id);
        QCOMPARE(omarInbox->first().peer->id, amina->user.id);
        const auto messages = await(omarClient.messages(chatWithOmar));
        QVERIFY(messages && messages->size() >= 2);
        QCOMPARE(messages->at(messages->size() - 2), *sent);
        QCOMPARE(messages->last(), *withFile);
        const auto read = await(omarClient.conversations());
        QCOMPARE(withPeer(*read, QStringLiteral("amina"))->unreadCount, qint64(0));

        // Every message time carries milliseconds on the wire.
        const RawReply raw =
            rawRequest(service->url(QStringLiteral("/conversations/%1/messages").arg(chatWithOmar)), "GET",
                       {}, amina->tokens.accessToken.toUtf8());
        const QRegularExpression millis(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"));
        const QJsonDocument document = QJsonDocument::fromJson(raw.body);
        const QJsonArray list = envelope ? document[QStringLiteral("data")].toArray() : document.array();
        QCOMPARE(list.size(), messages->size());
        for (const QJsonValue& m : list)
            QVERIFY2(millis.match(m[QStringLiteral("createdAt")].toString()).hasMatch(),
                     qPrintable(m[QStringLiteral("createdAt")].toString()));
    }

    void changePasswordAndProfile() {
        START_SERVICE(*service, {QStringLiteral("--seed")});
        const auto newbie = signIn(*client, QStringLiteral("newbie"), QStringLiteral("changeme123"));
        QVERIFY(newbie);
        QVERIFY(newbie->user.mustChangePassword);
        APIClient elsewhere; // a second session, which the change must end
        QVERIFY(signIn(elsewhere, QStringLiteral("newbie"), QStringLiteral("changeme123")));

        QCOMPARE(errorOf(await(client->changePassword(QStringLiteral("not-my-password"),
                                                      QStringLiteral("long-enough-1"))))
                     .status(),
                 403);
        // Seven Arabic letters are fourteen bytes, and still too short.
        const auto tooShort =
            errorOf(await(client->changePassword(QStringLiteral("changeme123"), QStringLiteral("كلمةسري"))));
        QCOMPARE(tooShort.status(), 400);
        QVERIFY(tooShort.text().contains(QStringLiteral("8")));
        const QString replacement = QStringLiteral("كلمةسرية");
        const auto changed = await(client->changePassword(QStringLiteral("changeme123"), replacement));
        QVERIFY2(changed, qPrintable(failureText(changed)));

        const auto me = await(client->me());
        QVERIFY(me && !me->mustChangePassword);
        QCOMPARE(errorOf(await(elsewhere.me())).kind(), APIClientError::Kind::Unauthorized);
        QCOMPARE(
            errorOf(await(client->login(QStringLiteral("newbie"), QStringLiteral("changeme123")))).status(),
            401);
        QVERIFY(signIn(*client, QStringLiteral("newbie"), replacement));

        UpdateProfileRequest changes{QStringLiteral("  Nour ✨ "), QStringLiteral("Hello from Rabat"),
                                     QStringLiteral("ma"), std::nullopt, std::nullopt};
        const auto updated = await(client->updateProfile(changes));
        QVERIFY2(updated, qPrintable(failureText(updated)));
        QCOMPARE(updated->displayName, QStringLiteral("Nour ✨"));
        QCOMPARE(updated->bio, QStringLiteral("Hello from Rabat"));
        QCOMPARE(updated->countryCode, QStringLiteral("MA"));
        QCOMPARE(*await(client->me()), *updated);

        const auto bad = errorOf(
            await(client->updateProfile({std::nullopt, std::nullopt, QStringLiteral("EGY"), {}, {}})));
        QCOMPARE(bad.status(), 400);
        QVERIFY(bad.text().contains(QStringLiteral("countryCode")));
        QCOMPARE(await(client->me())->countryCode, QStringLiteral("MA"));

        const auto cleared = await(client->updateProfile({std::nullopt, std::nullopt, QString(), {}, {}}));
        QVERIFY(cleared);
        QVERIFY(!cleared->countryCode);
        QCOMPARE(cleared->displayName, QStringLiteral("Nour ✨")); // absent fields stay as they were
    }
};

QTEST_GUILESS_MAIN(DevServiceApiTest)
#include "tst_devservice_api.moc"
