#include "core/api/APIClient.h"
#include "DevServiceFixture.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

using namespace lumora;
using namespace std::chrono_literals;

namespace {

std::optional<ConversationDTO> withPeer(const QList<ConversationDTO>& list, const QString& username) {
    for (const ConversationDTO& c : list)
        if (c.peer && c.peer->username == username)
            return c;
    return std::nullopt;
}

std::optional<ConversationDTO> byId(const QList<ConversationDTO>& list, const QString& id) {
    for (const ConversationDTO& c : list)
        if (c.id == id)
            return c;
    return std::nullopt;
}

} // namespace

// The happy paths, through the client the app uses, against a seeded service.
class DevServiceApiTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DevService> service;
    std::unique_ptr<APIClient> client;

private Q_SLOTS:
    void init() {
        service = std::make_unique<DevService>();
        client = std::make_unique<APIClient>();
    }

    void cleanup() {
        client.reset();
        service.reset();
    }

    void seededInbox_data() {
        QTest::addColumn<bool>("envelope");
        QTest::newRow("bare") << false;
        QTest::newRow("envelope") << true;
    }

    void seededInbox() {
        QFETCH(bool, envelope);
        QStringList args{QStringLiteral("--seed")};
        if (envelope)
            args.append(QStringLiteral("--envelope"));
        const QString started = service->start(args);
        QVERIFY2(started.isEmpty(), qPrintable(started));

        const auto login = signIn(*client, QStringLiteral("amina"), QStringLiteral("sunshine123"));
        QVERIFY(login);
        QCOMPARE(login->tokens.tokenType, QStringLiteral("Bearer"));
        QVERIFY(login->tokens.expiresIn.value_or(0) > 0);
        QVERIFY(login->tokens.refreshToken && *login->tokens.refreshToken != login->tokens.accessToken);
        QCOMPARE(login->user.displayName, QStringLiteral("أمينة"));
        QCOMPARE(login->user.countryCode, QStringLiteral("EG"));
        QVERIFY(login->user.verified);
        QVERIFY(!login->user.mustChangePassword);
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
        QFETCH(bool, envelope);
        QStringList args{QStringLiteral("--seed")};
        if (envelope)
            args.append(QStringLiteral("--envelope")); // the upload's reply stays bare even then
        const QString started = service->start(args);
        QVERIFY2(started.isEmpty(), qPrintable(started));
        const auto amina = signIn(*client, QStringLiteral("amina"), QStringLiteral("sunshine123"));
        QVERIFY(amina);
        const auto inbox = await(client->conversations());
        QVERIFY(inbox);
        const auto chat = withPeer(*inbox, QStringLiteral("omar"));
        QVERIFY(chat);

        const QString text = QStringLiteral("مرحبا 👋 hello");
        const auto sent = await(client->sendMessage(chat->id, text, std::nullopt));
        QVERIFY2(sent, qPrintable(failureText(sent)));
        QCOMPARE(sent->body, text);
        QCOMPARE(sent->senderId, amina->user.id);
        QCOMPARE(sent->conversationId, chat->id);
        QVERIFY(std::chrono::abs(sent->createdAt - std::chrono::system_clock::now()) < 60s);

        // A name that must be escaped in the multipart header comes back as it was.
        const QString name = QStringLiteral("trip \"final\"\nplan.txt");
        const QByteArray content =
            QByteArray("Day 1: Alexandria\nDay 2: the Citadel\n") + QByteArray(300, '\0');
        QFile file(service->tempPath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        const int filesBefore = fileCount(service->mediaPath());
        const auto upload = await(client->uploadFile(file.fileName()));
        QVERIFY2(upload, qPrintable(failureText(upload)));
        QCOMPARE(upload->fileName, name);
        QCOMPARE(upload->sizeBytes, content.size());
        QCOMPARE(upload->mimeType, QStringLiteral("text/plain"));
        QVERIFY(upload->url.startsWith(QStringLiteral("/media/")));
        QCOMPARE(fileCount(service->mediaPath()), filesBefore + 1);

        const AttachmentInputDTO input{upload->url, upload->mimeType, upload->sizeBytes, upload->fileName};
        const auto withFile =
            await(client->sendMessage(chat->id, std::nullopt, QList<AttachmentInputDTO>{input}));
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
        QCOMPARE(omarInbox->first().id, chat->id);
        QCOMPARE(omarInbox->first().unreadCount, qint64(2));
        QCOMPARE(omarInbox->first().lastMessage->id, withFile->id);
        QCOMPARE(omarInbox->first().peer->id, amina->user.id);
        const auto messages = await(omarClient.messages(chat->id));
        QVERIFY(messages && messages->size() >= 2);
        QCOMPARE(messages->at(messages->size() - 2), *sent);
        QCOMPARE(messages->last(), *withFile);
        const auto read = await(omarClient.conversations());
        QCOMPARE(byId(*read, chat->id)->unreadCount, qint64(0));

        // Every message time carries milliseconds on the wire.
        const RawReply raw =
            rawRequest(service->url(QStringLiteral("/conversations/%1/messages").arg(chat->id)), "GET", {},
                       amina->tokens.accessToken.toUtf8());
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
        const QString started = service->start({QStringLiteral("--seed")});
        QVERIFY2(started.isEmpty(), qPrintable(started));
        const auto newbie = signIn(*client, QStringLiteral("newbie"), QStringLiteral("changeme123"));
        QVERIFY(newbie);
        QVERIFY(newbie->user.mustChangePassword);
        APIClient elsewhere; // a second session, which the change must end
        QVERIFY(signIn(elsewhere, QStringLiteral("newbie"), QStringLiteral("changeme123")));

        const auto wrong =
            await(client->changePassword(QStringLiteral("not-my-password"), QStringLiteral("long-enough-1")));
        QVERIFY(!wrong);
        QCOMPARE(wrong.error().status(), 403);
        // Seven Arabic letters are fourteen bytes, and still too short.
        const auto tooShort =
            await(client->changePassword(QStringLiteral("changeme123"), QStringLiteral("كلمةسري")));
        QVERIFY(!tooShort);
        QCOMPARE(tooShort.error().status(), 400);
        QVERIFY(tooShort.error().text().contains(QStringLiteral("8")));
        const QString replacement = QStringLiteral("كلمةسرية");
        const auto changed = await(client->changePassword(QStringLiteral("changeme123"), replacement));
        QVERIFY2(changed, qPrintable(failureText(changed)));

        const auto me = await(client->me());
        QVERIFY(me && !me->mustChangePassword);
        const auto signedOut = await(elsewhere.me());
        QVERIFY(!signedOut);
        QCOMPARE(signedOut.error().kind(), APIClientError::Kind::Unauthorized);
        const auto old = await(client->login(QStringLiteral("newbie"), QStringLiteral("changeme123")));
        QVERIFY(!old);
        QCOMPARE(old.error().status(), 401);
        QVERIFY(signIn(*client, QStringLiteral("newbie"), replacement));

        UpdateProfileRequest changes{QStringLiteral("  Nour ✨ "), QStringLiteral("Hello from Rabat"),
                                     QStringLiteral("ma"), std::nullopt, std::nullopt};
        const auto updated = await(client->updateProfile(changes));
        QVERIFY2(updated, qPrintable(failureText(updated)));
        QCOMPARE(updated->displayName, QStringLiteral("Nour ✨"));
        QCOMPARE(updated->bio, QStringLiteral("Hello from Rabat"));
        QCOMPARE(updated->countryCode, QStringLiteral("MA"));
        QCOMPARE(*await(client->me()), *updated);

        const auto bad =
            await(client->updateProfile({std::nullopt, std::nullopt, QStringLiteral("EGY"), {}, {}}));
        QVERIFY(!bad);
        QCOMPARE(bad.error().status(), 400);
        QVERIFY(bad.error().text().contains(QStringLiteral("countryCode")));
        QCOMPARE(await(client->me())->countryCode, QStringLiteral("MA"));

        const auto cleared = await(client->updateProfile({std::nullopt, std::nullopt, QString(), {}, {}}));
        QVERIFY(cleared);
        QVERIFY(!cleared->countryCode);
        QCOMPARE(cleared->displayName, QStringLiteral("Nour ✨")); // absent fields stay as they were
    }
};

QTEST_GUILESS_MAIN(DevServiceApiTest)
#include "tst_devservice_api.moc"
