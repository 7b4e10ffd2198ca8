#include "DevServiceFixture.h"
#include "core/api/MediaDownload.h"
#include "core/conversations/ChatViewModel.h"

#include <QBuffer>
#include <QImage>

#include <QElapsedTimer>
#include <QtEndian>

using namespace lumora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QByteArray unknownMedia = "/media/0123456789abcdef0123456789abcdef";

std::optional<ConversationDTO> withPeer(const APIResult<QList<ConversationDTO>>& list,
                                        const QString& username) {
    for (const ConversationDTO& c : list.value_or(QList<ConversationDTO>{}))
        if (c.peer && c.peer->username == username)
            return c;
    return std::nullopt;
}

AttachmentInputDTO attach(const UploadedFileMetaDTO& upload) {
    return {upload.url, upload.mimeType, upload.sizeBytes, upload.fileName};
}

// A field of /proc/PID/status in KiB, such as "VmHWM" (the peak resident memory); -1 if missing.
qint64 processStatusKib(qint64 pid, const QByteArray& field) {
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

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
        if (!service->start(QStringList{u"--seed"_s} + extra))
            return false;
        amina = signIn(*client, u"amina"_s, u"sunshine123"_s);
        chatWithOmar = withPeer(await(client->conversations()), u"omar"_s).value_or(ConversationDTO{}).id;
        return amina && !chatWithOmar.isEmpty();
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

    // Without a valid access token nothing is served, and a signed-in user reaches nothing of others'.
    void strangersReachNothing() {
        QVERIFY(startAsAmina());
        APIClient claire;
        QVERIFY(signIn(claire, u"claire"_s, u"lumora-demo"_s));
        const auto theirs = withPeer(await(claire.conversations()), u"james"_s);
        const auto upload =
            await(claire.uploadFile(service->writeFile(u"claire.txt"_s, QByteArray(64, 'x'))));
        QVERIFY(theirs && upload);
        const QByteArray before = service->fingerprint();

        const auto inbox = await(client->conversations());
        QVERIFY(inbox && std::ranges::none_of(*inbox, [&](const auto& c) { return c.id == theirs->id; }));
        const auto read = errorOf(await(client->messages(theirs->id)));
        QCOMPARE(read.status(), 404);
        QCOMPARE(errorOf(await(client->sendMessage(theirs->id, u"hello?"_s, std::nullopt))).status(), 404);
        // Someone else's conversation reads exactly like one that does not exist.
        QCOMPARE(errorOf(await(client->messages(u"0123456789abcdef0123456789abcdef"_s))), read);
        // Nor may their file be attached here, though its URL leaked.
        QCOMPARE(
            errorOf(await(client->sendMessage(chatWithOmar, u"look"_s, QList{attach(*upload)}))).status(),
            400);
        QCOMPARE(service->fingerprint(), before);

        APIClient stranger;
        stranger.setAccessToken(u"made-up-token"_s);
        const int files = service->mediaFileCount();
        const QString file = service->writeFile(u"a.txt"_s, "xx");
        QCOMPARE(errorOf(await(stranger.uploadFile(file))).kind(), APIClientError::Kind::Unauthorized);
        QCOMPARE(service->mediaFileCount(), files);

        const QUrl url = service->url(u"/conversations"_s);
        for (const QByteArray& token :
             {QByteArray(), QByteArray("made-up"), amina->tokens.refreshToken->toUtf8()})
            QVERIFY2(rawRequest(url, "GET", {}, token).isError(401, "Unauthorized"), token.constData());
        QCOMPARE(rawRequest(url, "GET", {}, token()).status, 200);
    }

    void badBodiesChangeNothing() {
        QVERIFY(startAsAmina());
        const QByteArray before = service->fingerprint();
        QVERIFY(before.contains("/"));

        const char *send = "POST /conversations/{chat}/messages", *profile = "PATCH /users/me",
                   *password = "POST /auth/change-password";
        // Built from pieces in plain strings: moc loses its way in raw strings with unbalanced braces.
        const QByteArray png = R"("mimeType":"image/png")", file = "{\"url\":\"" + unknownMedia + "\"," + png;
        struct Case {
            const char* request; // method and path
            QByteArray body;
            const char* complaint;
        };
        std::vector<Case> cases = {
            {send, "{\"body\": ", "not valid JSON"},
            {send, "[]", "Expected an object"},
            {send, R"({"body":5})", "(at body)"},
            {send, "{\"attachments\":[" + file + "}]}", "attachments[0].sizeBytes"},
            {send, "{}", "non-empty body"},
            {send, R"({"body":" \n "})", "non-empty body"},
            {send, "{\"body\":\"hi\",\"attachments\":[" + file + ",\"sizeBytes\":3}]}", "attachments[0].url"},
            {send, "{\"attachments\":[{\"url\":\"https://example.com/a.png\"," + png + ",\"sizeBytes\":3}]}",
             "attachments[0].url"},
            {profile, R"({"countryCode":"E1"})", "countryCode"},
            {profile, R"({"countryCode":"EGY"})", "countryCode"},
            {profile, "{\"displayName\":\"" + QByteArray(65, 'a') + "\"}", "displayName"},
            {password, R"({"currentPassword":"sunshine123"})", "newPassword"},
            // Seven Arabic letters are fourteen bytes, and still too short.
            {password, R"({"currentPassword":"sunshine123","newPassword":"كلمةسري"})", "8 characters"},
            {"POST /auth/login", R"({"username":"amina"})", "(at password)"},
        };
        // Names end up in lists and titles, where these would corrupt what is shown.
        for (const char* name : {"Ra\\u0000nia", "Ra\\u0007nia", "Ra\\nnia", "\\u001b[31mRania",
                                 "Ra\\u007fnia", "Ra\\u0085nia", "Ra\\u009bnia"})
            cases.push_back(
                {profile, "{\"displayName\":\"" + QByteArray(name) + "\"}", "control characters"});
        for (const auto& [request, body, complaint] : cases) {
            const QString path =
                QString::fromLatin1(request).section(u' ', 1).replace(u"{chat}"_s, chatWithOmar);
            const RawReply reply =
                rawRequest(service->url(path), QByteArray(request).split(' ')[0], body, token());
            QVERIFY2(reply.isError(400, "Bad Request") &&
                         reply.object().value("message"_L1).toString().contains(QLatin1String(complaint)),
                     (request + (' ' + body) + " gave " + reply.body).constData());
        }
        QCOMPARE(service->fingerprint(), before);
    }

    void oversizedUploadsLeaveNoFile() {
        QVERIFY(startAsAmina({u"--max-upload-bytes"_s, u"1024"_s}));
        const int files = service->mediaFileCount();
        const auto fits = await(client->uploadFile(service->writeFile(u"fits.txt"_s, QByteArray(1024, 'x'))));
        QVERIFY2(fits, qPrintable(failureText(fits)));
        QCOMPARE(service->mediaFileCount(), files + 1);

        // Just over is caught by the service; far over by the HTTP layer before it reads the body.
        for (const qsizetype size : {qsizetype(1025), qsizetype(300 * 1024)}) {
            const QString big = service->writeFile(u"big.txt"_s, QByteArray(size, 'x'));
            const auto refused = errorOf(await(client->uploadFile(big)));
            // The service's limit, as the client words it.
            QCOMPARE(refused.text(), u"File too large: the service takes files up to 1 KiB."_s);
        }
        // Refused as soon as the file passes the limit, not once the whole declared body is in: this
        // client sends a little more than the limit of a body it declares far longer, then trickles,
        // so that only the 60-second deadline would end a service that waits for all of it.
        RawConnection connection(service->url());
        const QByteArray part =
            "--b0undary\r\nContent-Disposition: form-data; name=\"file\"; filename=\"big.txt\"\r\n\r\n";
        connection.send("POST /media/upload HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + token() +
                        "\r\nContent-Type: multipart/form-data; boundary=b0undary\r\nContent-Length: " +
                        QByteArray::number(part.size() + 60000) + "\r\n\r\n" + part +
                        QByteArray(1024 + 200, 'x'));
        QElapsedTimer clock;
        clock.start();
        while (!connection.replied() && clock.elapsed() < 10000) {
            connection.send("x");
            QTest::qWait(100);
        }
        QCOMPARE(connection.status(), 413);
        QVERIFY(connection.error().value("message"_L1).toString().contains(u"1024"_s));
        QCOMPARE(service->mediaFileCount(), files + 1);
        QCOMPARE(queryDatabase(service->databasePath(), "SELECT count(*) FROM media WHERE size_bytes > 1024"),
                 QByteArray("0"));
    }

    void concurrentSendsAllLand() {
        QVERIFY(startAsAmina());
        const int before = queryDatabase(service->databasePath(), "SELECT count(*) FROM messages").toInt();
        constexpr int count = 24;
        std::vector<QCoro::Task<APIResult<MessageDTO>>> sends; // all under way before the first is awaited
        for (int i = 0; i < count; ++i)
            sends.push_back(client->sendMessage(chatWithOmar, u"burst %1"_s.arg(i), std::nullopt));
        for (auto& send : sends) {
            const auto sent = await(std::move(send));
            QVERIFY2(sent, qPrintable(failureText(sent)));
        }
        QCOMPARE(queryDatabase(service->databasePath(), "SELECT count(*) FROM messages").toInt(),
                 before + count);
    }

    void sendAndReadBack_data() {
        QTest::addColumn<bool>("envelope");
        QTest::newRow("bare") << false;
        QTest::newRow("envelope") << true;
    }

    // With --envelope success replies but the upload's are wrapped in {"data": ...}; the client reads both.
    void sendAndReadBack() {
        QFETCH(bool, envelope);
        QVERIFY(startAsAmina(envelope ? QStringList{u"--envelope"_s} : QStringList{}));
        QCOMPARE(rawRequest(service->url(u"/auth/me"_s), "GET", {}, token()).object().contains("data"_L1),
                 envelope);
        // Errors are never wrapped, and no path leads out of the media folder.
        const QList<QPair<QByteArray, QUrl>> missing = {
            {"GET", service->url(u"/nope"_s)},
            {"POST", service->url(u"/conversations"_s)},
            {"GET", service->url(u"/conversations/none/messages"_s)},
            {"GET", service->url(QString::fromLatin1(unknownMedia))},
            {"GET", QUrl::fromEncoded(service->url().toEncoded() + "/media/..%2Fdb.sqlite")},
        };
        for (const auto& [method, url] : missing) {
            const RawReply reply = rawRequest(url, method, {}, token());
            QVERIFY2(reply.isError(404, "Not Found") && !reply.body.contains("SQLite format"),
                     (method + ' ' + url.toEncoded() + " gave " + reply.body).constData());
        }

        // The demo data's files download.
        const auto inbox = await(client->conversations());
        QVERIFY(inbox);
        int pictures = 0;
        for (const ConversationDTO& c : *inbox)
            for (const MessageDTO& m : await(client->messages(c.id)).value_or(QList<MessageDTO>{}))
                for (const AttachmentMetaDTO& a : m.attachments.value_or(QList<AttachmentMetaDTO>{})) {
                    const RawReply file = rawRequest(service->url(a.url), "GET", {}, {}, {});
                    QCOMPARE(file.body.size(), a.sizeBytes);
                    pictures += a.mimeType == u"image/png"_s && file.body.startsWith("\x89PNG");
                }
        QCOMPARE(pictures, 1);

        // Line breaks and tabs stay in message bodies, unlike in names.
        const QString text = u"مرحبا 👋\nhello\tthere"_s;
        const auto sent = await(client->sendMessage(chatWithOmar, text, std::nullopt));
        QVERIFY2(sent, qPrintable(failureText(sent)));
        QCOMPARE(sent->body, text);
        QCOMPARE(sent->senderId, amina->user.id);
        QVERIFY(std::chrono::abs(sent->createdAt - std::chrono::system_clock::now()) < 60s);

        // A name that must be escaped in the multipart header comes back as it was.
        const QString name = u"trip \"final\"\nplan.txt"_s;
        const QByteArray content = "Day 1: Alexandria\n" + QByteArray(300, '\0');
        const auto upload = await(client->uploadFile(service->writeFile(name, content)));
        QVERIFY2(upload, qPrintable(failureText(upload)));
        QCOMPARE(upload->fileName, name);
        QCOMPARE(upload->sizeBytes, content.size());
        QCOMPARE(upload->mimeType, u"text/plain"_s);
        const auto withFile = await(client->sendMessage(chatWithOmar, std::nullopt, QList{attach(*upload)}));
        QVERIFY2(withFile, qPrintable(failureText(withFile)));
        QCOMPARE(withFile->attachments.value_or(QList<AttachmentMetaDTO>{}).value(0).fileName, name);
        const RawReply fetched = rawRequest(service->url(upload->url), "GET", {}, {}, {});
        QCOMPARE(fetched.body, content);
        QVERIFY(fetched.contentType.startsWith("text/plain"));
        // Offered for saving under that name; nothing in the quoted stand-in can end or escape it.
        QCOMPARE(fetched.header("Content-Disposition"),
                 QByteArray("attachment; filename=\"trip _final__plan.txt\"; "
                            "filename*=UTF-8''trip%20%22final%22%0Aplan.txt"));

        // The other member finds this conversation on top with both unread.
        APIClient omar;
        QVERIFY(signIn(omar, u"omar"_s, u"lumora-demo"_s));
        const auto omarInbox = await(omar.conversations());
        QVERIFY(omarInbox && !omarInbox->isEmpty());
        QCOMPARE(omarInbox->first().id, chatWithOmar);
        QCOMPARE(omarInbox->first().unreadCount, qint64(2));
        QCOMPARE(omarInbox->first().lastMessage->id, withFile->id);
        QCOMPARE(omarInbox->first().peer->id, amina->user.id);
        const auto messages = await(omar.messages(chatWithOmar));
        QVERIFY(messages && messages->size() >= 2);
        QCOMPARE(messages->mid(messages->size() - 2), (QList{*sent, *withFile}));
    }

    // A download says its length, resumes from any byte, and offers the stored name for saving.
    void downloadsServeRangesAndNames() {
        QVERIFY(startAsAmina());
        const QString name = u"تقرير مارس.pdf"_s;
        QByteArray content;
        for (int i = 0; content.size() < 1000; ++i)
            content += QByteArray::number(i) + ' ';
        content.truncate(1000);
        const auto upload = await(client->uploadFile(service->writeFile(name, content)));
        QVERIFY2(upload, qPrintable(failureText(upload)));
        const auto get = [&](const QByteArray& range, const QByteArray& ifRange = {}) {
            return rawRequest(service->url(upload->url), "GET", {}, {}, {},
                              {{"Range", range}, {"If-Range", ifRange}});
        };

        const RawReply whole = get({});
        QCOMPARE(whole.status, 200);
        QCOMPARE(whole.body, content);
        QCOMPARE(whole.header("Content-Length"), QByteArray("1000"));
        QCOMPARE(whole.header("Accept-Ranges"), QByteArray("bytes"));
        QCOMPARE(whole.header("X-Content-Type-Options"), QByteArray("nosniff"));
        QCOMPARE(whole.header("Content-Security-Policy"), QByteArray("sandbox"));
        QCOMPARE(whole.header("Content-Disposition"),
                 "attachment; filename=\"_____ ____.pdf\"; filename*=UTF-8''" +
                     name.toUtf8().toPercentEncoding());

        const struct {
            QByteArray range;
            QByteArray ifRange;
            qsizetype first;
            qsizetype length;
            bool partial;
        } cases[] = {
            {"bytes=5-9", {}, 5, 5, true},
            {"bytes=-4", {}, 996, 4, true},
            {"bytes=990-", {}, 990, 10, true},    // resuming
            {"bytes=0-99999", {}, 0, 1000, true}, // up to the end
            {"bytes=0-1, 5-6", {}, 0, 1000, false},
            {"bytes=5-9", "\"some-tag\"", 0, 1000, false}, // no tag of this service's: the file has changed
        };
        for (const auto& [range, ifRange, first, length, partial] : cases) {
            const RawReply reply = get(range, ifRange);
            const QByteArray contentRange =
                "bytes " + QByteArray::number(first) + '-' + QByteArray::number(first + length - 1) + "/1000";
            QVERIFY2(
                reply.status == (partial ? 206 : 200) && reply.body == content.mid(first, length) &&
                    reply.header("Content-Length") == QByteArray::number(length) &&
                    reply.header("Content-Range") == (partial ? contentRange : QByteArray()),
                (range + " gave " + QByteArray::number(reply.status) + ' ' + reply.header("Content-Range"))
                    .constData());
        }
        for (const QByteArray range : {"bytes=1000-", "bytes=-0", "bytes=4000-5000"}) {
            const RawReply refused = get(range);
            QVERIFY2(refused.isError(416, "Range Not Satisfiable") &&
                         refused.header("Content-Range") == "bytes */1000",
                     (range + " gave " + QByteArray::number(refused.status)).constData());
        }

        // The client's own download: a part left by a cut finishes by Range; without a name, the service's.
        QTemporaryDir dir;
        const QString target = dir.filePath(u"report.pdf"_s);
        QFile part(target + u".part"_s);
        QVERIFY(part.open(QIODevice::WriteOnly) && part.write(content.left(400)) == 400);
        part.close();
        const auto resumed = await(MediaDownload(&*client, QUrl(upload->url)).saveTo(target));
        QVERIFY2(resumed, qPrintable(failureText(resumed)));
        QFile saved(target);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), content);
        QVERIFY(!QFile::exists(target + u".part"_s));
        QCOMPARE(await(MediaDownload(&*client, QUrl(upload->url)).saveInto(dir.path())).value_or(QString()),
                 dir.filePath(name));
    }

    // Received pictures are drawn from thumbnails made at the size they are shown at, for the screen's
    // pixel ratio; what is no picture after all is offered as a file.
    void picturesShowAsThumbnails() {
        QVERIFY(startAsAmina());
        QTemporaryDir cache;
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
        const auto encoded = [](QSize size, const char* format) {
            QImage image(size, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, format);
            return bytes;
        };
        QStringList ids;
        for (const auto& [name, content] : {std::pair{u"wide.png"_s, encoded({1200, 800}, "PNG")},
                                            std::pair{u"tall.jpg"_s, encoded({900, 1200}, "JPEG")},
                                            std::pair{u"broken.png"_s, QByteArray(5000, 'x')}}) {
            const auto upload = await(client->uploadFile(service->writeFile(name, content)));
            QVERIFY2(upload, qPrintable(failureText(upload)));
            const auto sent = await(client->sendMessage(chatWithOmar, std::nullopt, QList{attach(*upload)}));
            QVERIFY2(sent, qPrintable(failureText(sent)));
            ids.append(sent->id);
        }
        ChatViewModel chat(&*client, *withPeer(await(client->conversations()), u"omar"_s));
        await(chat.load());
        const auto row = [&](const QString& id) {
            for (int i = 0; i < chat.count(); ++i)
                if (chat.data(chat.index(i), ChatViewModel::IdRole) == id)
                    return chat.index(i);
            return QModelIndex();
        };
        const auto thumbnail = [&](const QString& id, qreal ratio) {
            await(chat.makeThumbnail(id, ratio));
            return QImage(QUrl(row(id).data(ChatViewModel::ThumbnailRole).toString()).toLocalFile());
        };
        QVERIFY(row(ids[0]).data(ChatViewModel::ShowsPictureRole).toBool());
        QCOMPARE(thumbnail(ids[0], 1).size(), QSize(240, 160));
        QCOMPARE(thumbnail(ids[1], 2).size(), QSize(270, 360));
        QVERIFY(row(ids[2]).data(ChatViewModel::ShowsPictureRole).toBool());
        QVERIFY(thumbnail(ids[2], 1).isNull());
        QVERIFY(!row(ids[2]).data(ChatViewModel::ShowsPictureRole).toBool());
        QVERIFY2(!chat.error(), "a picture that cannot be drawn is shown as a file, not as a failure");

        // Made once: a later chat draws it from the disk, with neither the service nor the image.
        ChatViewModel later(&*client, chat.conversation());
        await(later.load());
        service->kill();
        QVERIFY(QDir(cache.filePath(u"Lumora/media"_s)).removeRecursively());
        await(later.makeThumbnail(ids[0], 1));
        QVERIFY(
            !later.data(later.index(row(ids[0]).row()), ChatViewModel::ThumbnailRole).toString().isEmpty());
    }

    // However large the file, the service holds only a piece of it at a time, on the way in and out.
    void largeFilesStreamThroughFlatMemory() {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("AddressSanitizer keeps freed memory in quarantine, so the service's peak says nothing here");
#endif
        constexpr qsizetype size = 64 * 1024 * 1024;
        QVERIFY(startAsAmina({u"--max-upload-bytes"_s, QString::number(2 * size)}));
        QByteArray content(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; i += 4) // every offset different, so a misplaced piece shows
            qToLittleEndian(quint32(i), content.data() + i);
        const QString path = service->writeFile(u"big.bin"_s, content);
        QVERIFY(!path.isEmpty());

        // Signing in hashed a password in 64 MiB a moment ago: the peak starts again from now.
        const qint64 pid = service->process().processId();
        QFile peakReset(u"/proc/%1/clear_refs"_s.arg(pid));
        QVERIFY(peakReset.open(QIODevice::WriteOnly) && peakReset.write("5") == 1);
        peakReset.close();
        const qint64 before = processStatusKib(pid, "VmHWM");
        QVERIFY(before > 0);

        const auto upload = await(client->uploadFile(path));
        QVERIFY2(upload, qPrintable(failureText(upload)));
        QCOMPARE(upload->sizeBytes, size);
        const RawReply fetched = rawRequest(service->url(upload->url), "GET", {}, {}, {});
        QCOMPARE(fetched.status, 200);
        QVERIFY(fetched.body == content);
        const qint64 peak = processStatusKib(pid, "VmHWM");
        qInfo("Service peak RSS %lld KiB, %lld KiB at the start, for a %lld KiB file up and down", peak,
              before, qint64(size / 1024));
        QVERIFY2((peak - before) * 1024 < size / 2,
                 qPrintable(u"the peak grew by %1 KiB"_s.arg(peak - before)));
    }

    // An unchanged list is answered 304 without a body; each user's list has its own tag, and anything
    // the list shows (a message, a read, a profile) changes it.
    void unchangedListsAnswerNotModified() {
        QVERIFY(startAsAmina());
        APIClient omarClient;
        const auto omar = signIn(omarClient, u"omar"_s, u"lumora-demo"_s);
        QVERIFY(omar);
        const QUrl inbox = service->url(u"/conversations"_s);
        const QUrl chat = service->url(u"/conversations/"_s + chatWithOmar + u"/messages"_s);
        const auto get = [&](const QUrl& url, const QByteArray& tag, const QByteArray& as) {
            return rawRequest(url, "GET", {}, as, {}, {{"If-None-Match", tag}});
        };
        const QByteArray omarToken = omar->tokens.accessToken.toUtf8();

        get(chat, {}, token()); // read, so that reading again changes nothing
        const RawReply first = get(inbox, {}, token());
        QCOMPARE(first.status, 200);
        QVERIFY2(first.etag.startsWith('"') && first.etag.size() > 2, first.etag.constData());
        for (const QByteArray& match :
             {first.etag, "W/" + first.etag, "\"other\", " + first.etag, QByteArray("*")}) {
            const RawReply again = get(inbox, match, token());
            QVERIFY2(again.status == 304 && again.body.isEmpty(), match.constData());
            QCOMPARE(again.etag, first.etag);
        }
        QCOMPARE(get(inbox, "\"other\"", token()).status, 200);
        QCOMPARE(get(inbox, first.etag, omarToken).status, 200); // omar's list is another reply

        const RawReply messages = get(chat, {}, token());
        QCOMPARE(get(chat, messages.etag, token()).status, 304);

        // Omar writes: both of amina's replies change, and reading the chat changes her list again.
        QVERIFY(await(omarClient.sendMessage(chatWithOmar, u"news"_s, std::nullopt)));
        const RawReply unread = get(inbox, first.etag, token());
        QCOMPARE(unread.status, 200);
        QVERIFY(unread.etag != first.etag);
        const RawReply newer = get(chat, messages.etag, token());
        QCOMPARE(newer.status, 200);
        QVERIFY(newer.body.contains("news"));
        get(chat, {}, token()); // reading it
        QCOMPARE(get(inbox, unread.etag, token()).status, 200); // it is read now
        const RawReply read = get(inbox, {}, token());
        QCOMPARE(get(inbox, read.etag, token()).status, 304);

        // A member's new name shows in the list, so it changes the tag too.
        const RawReply renamed =
            rawRequest(service->url(u"/users/me"_s), "PATCH", R"({"displayName":"Omar F."})", omarToken);
        QCOMPARE(renamed.status, 200);
        QCOMPARE(get(inbox, read.etag, token()).status, 200);
        // "*" matches only what exists and is the asker's to read.
        QCOMPARE(rawRequest(service->url(u"/conversations/nope/messages"_s), "GET", {}, token(), {},
                            {{"If-None-Match", "*"}})
                     .status,
                 404);
    }

    void changePasswordAndProfile() {
        QVERIFY(service->start({u"--seed"_s}));
        const auto newbie = signIn(*client, u"newbie"_s, u"changeme123"_s);
        QVERIFY(newbie && newbie->user.mustChangePassword);
        APIClient elsewhere; // a second session, which the change must end
        QVERIFY(signIn(elsewhere, u"newbie"_s, u"changeme123"_s));

        QCOMPARE(errorOf(await(client->changePassword(u"not-my-password"_s, u"long-enough-1"_s))).status(),
                 403);
        const QString replacement = u"كلمةسرية"_s; // eight letters are enough
        const auto changed = await(client->changePassword(u"changeme123"_s, replacement));
        QVERIFY2(changed, qPrintable(failureText(changed)));
        const auto me = await(client->me());
        QVERIFY(me && !me->mustChangePassword);
        QCOMPARE(errorOf(await(elsewhere.me())).kind(), APIClientError::Kind::Unauthorized);
        QCOMPARE(errorOf(await(client->login(u"newbie"_s, u"changeme123"_s))).status(), 401);
        QVERIFY(signIn(*client, u"newbie"_s, replacement));

        const auto updated = await(client->updateProfile(
            {u"  Nour ✨ "_s, u"Hello from Rabat"_s, u"ma"_s, std::nullopt, std::nullopt}));
        QVERIFY2(updated, qPrintable(failureText(updated)));
        QCOMPARE(updated->displayName, u"Nour ✨"_s);
        QCOMPARE(updated->bio, u"Hello from Rabat"_s);
        QCOMPARE(updated->countryCode, u"MA"_s);
        QCOMPARE(*await(client->me()), *updated);
        const auto cleared = await(client->updateProfile({std::nullopt, std::nullopt, QString(), {}, {}}));
        QVERIFY(cleared && !cleared->countryCode);
        QCOMPARE(cleared->displayName, u"Nour ✨"_s); // absent fields stay as they were
    }
};

QTEST_GUILESS_MAIN(DevServiceApiTest)
#include "tst_devservice_api.moc"
