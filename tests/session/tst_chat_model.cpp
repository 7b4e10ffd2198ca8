#include "ScriptedServer.h"
#include "TestSupport.h"
#include "core/conversations/ChatViewModel.h"
#include "core/conversations/InboxViewModel.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace lumora;
using namespace std::chrono_literals;

namespace {

const QString t1 = u"2026-01-01T10:00:00Z"_qs;
const QString t2 = u"2026-01-01T10:00:01.500Z"_qs;
const QString t3 = u"2026-01-01T10:00:02Z"_qs;

// A message as the service sends it, with `more` fields besides the usual ones.
QJsonObject message(const QString& id, const QString& createdAt, const QString& body = u"text"_qs,
                    QJsonObject more = {}) {
    more.insert(u"id"_qs, id);
    more.insert(u"conversationId"_qs, u"c1"_qs);
    more.insert(u"senderId"_qs, u"u2"_qs);
    more.insert(u"body"_qs, body);
    more.insert(u"createdAt"_qs, createdAt);
    return more;
}

QByteArray json(const QJsonValue& value) {
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

QByteArray list(std::initializer_list<QJsonObject> messages) {
    QJsonArray array;
    for (const auto& m : messages)
        array.append(m);
    return json(array);
}

// An inbox reply: conversation ids with the day in January each was last updated; titles are the
// ids in capitals.
QByteArray inbox(std::initializer_list<std::pair<const char*, int>> rows) {
    QJsonArray array;
    for (const auto& [id, day] : rows)
        array.append(
            QJsonObject{{u"id"_qs, QString::fromLatin1(id)},
                        {u"title"_qs, QString::fromLatin1(id).toUpper()},
                        {u"updatedAt"_qs, u"2026-01-%1T10:00:00Z"_qs.arg(day, 2, 10, QLatin1Char('0'))}});
    return json(array);
}

// The records' ids in order, in one string so that a mismatch shows the whole order.
template <class T> QString ids(const QList<T>& records) {
    QStringList out;
    for (const auto& r : records)
        out.append(r.id);
    return out.join(u' ');
}

ConversationDTO conversationWithLastMessage() {
    ConversationDTO c;
    c.id = u"c1"_qs;
    c.lastMessage = MessageSummaryDTO{u"last"_qs, u"see you"_qs, u"u2"_qs, {}, {}};
    return c;
}

} // namespace

// The chat's and the inbox's models against a scripted service.
class ChatModelTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    QByteArray mediaBody; // what /media/big serves
    APIClient* api = nullptr;
    ChatViewModel* chat = nullptr;

    // Serves the conversation's messages as `messages` says, and answers sends with `sendReply`.
    QByteArray messages;
    ScriptedServer::Reply sendReply{201, {}};

    QString body(int row) const { return chat->data(chat->index(row), ChatViewModel::BodyRole).toString(); }
    void sendDraft(const QString& draft) {
        chat->setDraft(draft);
        await(chat->send(u"me"_qs));
    }

private Q_SLOTS:
    void init() {
        server = new ScriptedServer(this);
        server->answerWith([this](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            if (request.method == "POST" && request.target == "/conversations/c1/messages")
                return sendReply;
            if (request.target == "/media/big")
                return {200, mediaBody, "application/pdf"};
            if (request.target == "/media/upload")
                return {201,
                        R"({"url":"/media/f","mimeType":"text/plain","sizeBytes":2,"fileName":"note.txt"})"};
            return {200, messages};
        });
        useBaseURL(server->url().toString());
        api = new APIClient(nullptr, this);
        api->setAccessToken(u"tok"_qs);
        chat = new ChatViewModel(api, conversationWithLastMessage(), this);
        chat->setPollIntervalForTesting(50ms);
        new QAbstractItemModelTester(chat, QAbstractItemModelTester::FailureReportingMode::QtTest, chat);
        messages = list({});
    }

    void cleanup() {
        delete chat;
        delete api;
        delete server;
    }

    void loadSortsAndFallsBack() {
        server->answer(500, R"({"message":"down"})");
        await(chat->load());
        QCOMPARE(chat->errorText(), u"down"_qs);
        QCOMPARE(ids(chat->messages()), u"last"_qs);
        QCOMPARE(body(0), u"see you"_qs);

        server->answer(200, list({message(u"c"_qs, t3), message(u"a"_qs, t1), message(u"b1"_qs, t2),
                                  message(u"b2"_qs, t2)}));
        await(chat->load());
        QCOMPARE(ids(chat->messages()), u"a b1 b2 c"_qs);
        // A new model of the same chat (the user came back to it) loads it whole, although the client
        // has seen these very bytes: "unchanged" is only news to whoever holds the list.
        ChatViewModel again(api, conversationWithLastMessage());
        await(again.load());
        QCOMPARE(ids(again.messages()), u"a b1 b2 c"_qs);
        server->answer(500, R"({"message":"down"})");
        await(chat->load());
        QCOMPARE(chat->messages().size(), 4); // what was shown stays
    }

    void pollsInsertNewRowsAndIgnoreEdits() {
        messages = list({message(u"a"_qs, t1)});
        await(chat->load());
        QSignalSpy inserted(chat, &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(chat, &QAbstractItemModel::modelReset);
        QSignalSpy changed(chat, &QAbstractItemModel::dataChanged);

        messages = list({message(u"a"_qs, t1), message(u"b"_qs, t2)});
        chat->startPolling();
        QTRY_COMPARE(chat->count(), 2);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(reset.count(), 0);

        // The ids are what counts: an edit on the service alone does not redraw the chat.
        messages = list({message(u"a"_qs, t1, u"edited"_qs), message(u"b"_qs, t2)});
        const qsizetype polled = server->requests().size();
        QTRY_VERIFY(server->requests().size() >= polled + 2);
        QCOMPARE(body(0), u"text"_qs);
        QCOMPARE(changed.count(), 0);

        messages = list({message(u"b"_qs, t1), message(u"a"_qs, t2)});
        QTRY_COMPARE(reset.count(), 1);
        QCOMPARE(ids(chat->messages()), u"b a"_qs);

        const qsizetype before = server->requests().size();
        chat->stopPolling();
        QTest::qWait(200);
        QVERIFY(server->requests().size() <= before + 1); // at most the one already on its way
    }

    void oneLoopOnly() {
        chat->setPollIntervalForTesting(100ms);
        for (int i = 0; i < 3; ++i)
            chat->startPolling();
        QTest::qWait(1050);
        chat->stopPolling();
        // One loop makes about ten requests in that time; three would make about thirty.
        QVERIFY2(server->requests().size() <= 12, qPrintable(QString::number(server->requests().size())));
        QVERIFY(server->requests().size() >= 3);
    }

    void modelGoneWhileWaiting() {
        // Destroyed while its loop sleeps, and while a refresh is on its way: nothing runs afterwards.
        chat->startPolling();
        delete chat;
        chat = nullptr;
        QTest::qWait(150);
        QVERIFY(server->requests().isEmpty());

        chat = new ChatViewModel(api, conversationWithLastMessage(), this);
        chat->setPollIntervalForTesting(20ms);
        api->setTransferTimeout(200ms);
        server->answer(ScriptedServer::Reply{200, {}, {}, true});
        chat->startPolling();
        QTRY_VERIFY(!server->requests().isEmpty());
        delete chat;
        chat = nullptr;
        QTest::qWait(400); // the silent request times out and finds no model
        api->setTransferTimeout(APIClient::defaultTransferTimeout);
    }

    void failedSendStaysUntilRetriedOrDiscarded() {
        sendDraft(u" \n "_qs);
        QVERIFY(server->requests().isEmpty());
        QCOMPARE(chat->draft(), u" \n "_qs); // nothing to send, nothing changed

        messages = list({message(u"a"_qs, t1)});
        await(chat->load());
        sendReply = {503, R"({"message":"Try later"})"};
        sendDraft(u"  keep me \n"_qs);
        QCOMPARE(chat->draft(), QString());
        QCOMPARE(chat->errorText(), u"Try later"_qs);
        QCOMPARE(chat->unsentMessages().size(), 1);
        const QString localId = chat->unsentMessages().first().id;
        QCOMPARE(chat->sendState(localId), ChatViewModel::SendState::failed);
        QCOMPARE(body(1), u"keep me"_qs);

        // Polls replace the service's messages only; the failed one stays after them.
        messages = list({message(u"a"_qs, t1), message(u"b"_qs, t2)});
        chat->startPolling();
        QTRY_COMPARE(chat->messages().size(), 2);
        chat->stopPolling();
        QCOMPARE(chat->count(), 3);
        QCOMPARE(chat->data(chat->index(2), ChatViewModel::IdRole).toString(), localId);

        await(chat->retry(localId)); // still failing
        QCOMPARE(chat->sendState(localId), ChatViewModel::SendState::failed);
        QCOMPARE(server->requests().last().body, QByteArray(R"({"body":"keep me"})"));

        sendReply = {201, json(message(u"stored"_qs, t3, u"keep me"_qs))};
        QSignalSpy sending(chat, &ChatViewModel::isSendingChanged);
        await(chat->retry(localId));
        QCOMPARE(chat->sendState(localId), ChatViewModel::SendState::sent);
        QVERIFY(chat->unsentMessages().isEmpty());
        QCOMPARE(ids(chat->messages()), u"a b stored"_qs);
        QCOMPARE(sending.count(), 2);

        // A poll brought the next one in before the send's reply arrived: it shows once. The same
        // reply edits a row that stays (the model tester checks it is not changed inside the insertion).
        messages = list({message(u"a"_qs, t1), message(u"b"_qs, t2), message(u"stored"_qs, t3, u"kept"_qs),
                         message(u"mine"_qs, t3)});
        await(chat->load());
        sendReply = {201, json(message(u"mine"_qs, t3))};
        sendDraft(u"hello"_qs);
        QCOMPARE(ids(chat->messages()), u"a b stored mine"_qs);
        QCOMPARE(chat->count(), 4);

        sendReply = {500, {}};
        sendDraft(u"drop me"_qs);
        chat->discard(chat->unsentMessages().first().id);
        QVERIFY(chat->unsentMessages().isEmpty());
        QCOMPARE(chat->count(), 4);
    }

    void attachments() {
        QTemporaryDir dir;
        QFile file(dir.filePath(u"note.txt"_qs));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("hi");
        file.close();
        sendReply = {201, json(message(u"m"_qs, t1, QString()))};
        chat->setPendingAttachmentURL(QUrl::fromLocalFile(file.fileName()));
        chat->setPendingAttachmentName(u"note.txt"_qs);
        await(chat->send(u"me"_qs));
        QCOMPARE(server->requests().size(), 2);
        QCOMPARE(server->requests().last().body,
                 QByteArray(R"({"attachments":[{"fileName":"note.txt","mimeType":"text/plain",)"
                            R"("sizeBytes":2,"url":"/media/f"}]})"));
        QCOMPARE(chat->pendingAttachmentURL(), std::nullopt);
        QCOMPARE(chat->pendingAttachmentName(), std::nullopt);

        // A file that is gone by the time of sending: kept as a failed message, with the file's name.
        chat->setPendingAttachmentURL(QUrl::fromLocalFile(dir.filePath(u"gone.pdf"_qs)));
        await(chat->send(u"me"_qs));
        QCOMPARE(chat->error()->kind(), APIClientError::Kind::File);
        QCOMPARE(chat->errorText(), u"The file could not be read: No such file or directory"_qs);
        QCOMPARE(chat->unsentMessages().size(), 1);
        QCOMPARE(chat->unsentMessages().first().body, u"\U0001F4CE gone.pdf"_qs);
        QCOMPARE(server->requests().size(), 2);

        // The label under a bubble is the message's attachment name, and only when it has one: the
        // body already shows the first file's name.
        const QJsonArray photo{QJsonObject{{u"url"_qs, u"/media/p"_qs},
                                           {u"mimeType"_qs, u"image/png"_qs},
                                           {u"sizeBytes"_qs, 3},
                                           {u"fileName"_qs, u"beach.png"_qs}}};
        messages = list({message(u"n"_qs, t2, {},
                                 {{u"attachmentName"_qs, u"Holiday photos"_qs}, {u"attachments"_qs, photo}}),
                         message(u"u"_qs, t3, {}, {{u"attachments"_qs, photo}})});
        await(chat->load());
        const auto label = [&](int row) {
            return chat->data(chat->index(row), ChatViewModel::AttachmentNameRole).toString();
        };
        QCOMPARE(body(0), u"\U0001F4CE beach.png"_qs);
        QCOMPARE(label(0), u"Holiday photos"_qs);
        QCOMPARE(label(1), QString());

        // A received file opens from the cache, fetched once; saving writes a copy where the user chose.
        qputenv("XDG_CACHE_HOME", dir.filePath(u"cache"_qs).toUtf8());
        mediaBody.clear();
        for (int i = 0; mediaBody.size() < 2'100'000; ++i)
            mediaBody += QByteArray::number(i) + ' ';
        const QJsonArray report{QJsonObject{{u"url"_qs, u"/media/big"_qs},
                                            {u"mimeType"_qs, u"application/pdf"_qs},
                                            {u"sizeBytes"_qs, mediaBody.size()},
                                            {u"fileName"_qs, u"report.pdf"_qs}}};
        messages = list({message(u"v"_qs, t3, {}, {{u"attachments"_qs, report}})});
        await(chat->load());
        QCOMPARE(chat->data(chat->index(0), ChatViewModel::AttachmentSizeRole).toString(), u"2.1 MB"_qs);
        QSignalSpy ready(chat, &ChatViewModel::fileReady);
        QSignalSpy changed(chat, &QAbstractItemModel::dataChanged);
        await(chat->openAttachment(u"v"_qs));
        QCOMPARE(ready.size(), 1);
        const QString cached = ready.last().at(0).toUrl().toLocalFile();
        QVERIFY2(cached.startsWith(dir.filePath(u"cache/Lumora/media/"_qs)) &&
                     cached.endsWith(u"/report.pdf"_qs),
                 qPrintable(cached));
        const auto contents = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QCOMPARE(contents(cached), mediaBody);
        QVERIFY(std::any_of(changed.begin(), changed.end(), [](const QList<QVariant>& args) {
            return args.at(2).value<QList<int>>().contains(ChatViewModel::AttachmentProgressRole);
        }));
        QCOMPARE(chat->data(chat->index(0), ChatViewModel::AttachmentProgressRole).toDouble(), -1.0);
        const auto fetches = [&] {
            return std::count_if(server->requests().begin(), server->requests().end(),
                                 [](const ScriptedServer::Request& r) { return r.target == "/media/big"; });
        };
        QCOMPARE(fetches(), 1);
        await(chat->openAttachment(u"v"_qs));
        QCOMPARE(ready.size(), 2);
        QCOMPARE(fetches(), 1);
        await(chat->saveAttachment(u"v"_qs, QUrl::fromLocalFile(dir.filePath(u"copy.pdf"_qs))));
        QCOMPARE(contents(dir.filePath(u"copy.pdf"_qs)), mediaBody);
        QVERIFY(!chat->error());
    }

    // A file's upload shows its progress; cancelled, the message stays not sent with its file, and Retry
    // sends it.
    void uploadProgressAndCancel() {
        QTemporaryDir dir;
        QFile file(dir.filePath(u"video.mp4"_qs));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(600 * 1024, 'v'));
        file.close();
        bool answerUploads = false;
        server->answerWith([&](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            if (request.target == "/media/upload") {
                ScriptedServer::Reply reply{
                    201, R"({"url":"/media/v","mimeType":"video/mp4","sizeBytes":8,"fileName":"video.mp4"})"};
                reply.silent = !answerUploads;
                return reply;
            }
            return {201, json(message(u"m"_qs, t1, QString()))};
        });
        QSignalSpy changed(chat, &QAbstractItemModel::dataChanged);
        chat->setPendingAttachmentURL(QUrl::fromLocalFile(file.fileName()));
        chat->send(u"me"_qs); // runs on; the test follows it through the model
        const int row = chat->count() - 1;
        QTRY_COMPARE(chat->data(chat->index(row), ChatViewModel::SendProgressRole).toDouble(), 1.0);
        const QString localId = chat->data(chat->index(row), ChatViewModel::IdRole).toString();
        chat->cancelSend(localId);
        QTRY_COMPARE(chat->sendState(localId), ChatViewModel::SendState::failed);
        QVERIFY2(!chat->error(), "cancelling is no failure to report");
        QCOMPARE(chat->data(chat->index(row), ChatViewModel::SendProgressRole).toDouble(), -1.0);
        QVERIFY(std::count_if(changed.begin(), changed.end(), [](const QList<QVariant>& args) {
                    return args.at(2).value<QList<int>>().contains(ChatViewModel::SendProgressRole);
                }) > 1);

        answerUploads = true;
        await(chat->retry(localId));
        QCOMPARE(chat->sendState(localId), ChatViewModel::SendState::sent);
        QCOMPARE(chat->unsentMessages().size(), 0);
    }

    // What is written survives the model: the draft and its file half a second after the last keystroke,
    // a message from the moment it is sent; the next model of the conversation has them back, the
    // message as not sent (never sent again by itself), and one the service took is forgotten.
    void keptInTheStore() {
        QTemporaryDir dir;
        auto store = LocalStore::open(dir.filePath(u"store.sqlite"_qs));
        chat->setStore(store.get());
        sendReply = {503, R"({"message":"Service unavailable"})"};
        sendDraft(u"lost in the outage"_qs);
        sendReply = {201, json(message(u"m"_qs, t1, u"arrived"_qs))};
        sendDraft(u"arrived"_qs);
        chat->setDraft(u"half a thou"_qs);
        chat->setDraft(u"half a thought"_qs);
        chat->setPendingAttachmentURL(QUrl::fromLocalFile(dir.filePath(u"plan.pdf"_qs)));
        chat->setPendingAttachmentName(u"plan.pdf"_qs);
        QCOMPARE(store->drafts(), QList<StoredDraft>{});
        QTRY_COMPARE(store->drafts(), (QList<StoredDraft>{{u"c1"_qs, u"half a thought"_qs,
                                                           dir.filePath(u"plan.pdf"_qs), u"plan.pdf"_qs}}));

        ChatViewModel next(api, conversationWithLastMessage());
        next.setStore(store.get());
        QCOMPARE(next.draft(), u"half a thought"_qs);
        QCOMPARE(next.pendingAttachmentName(), u"plan.pdf"_qs);
        QCOMPARE(next.unsentMessages().size(), 1);
        QCOMPARE(next.unsentMessages().first().body, u"lost in the outage"_qs);
        QCOMPARE(next.sendState(next.unsentMessages().first().id), ChatViewModel::SendState::failed);
        next.discard(next.unsentMessages().first().id);
        QCOMPARE(store->unsent(), QList<StoredUnsent>{});

        // The messages kept with the service's tag: the next run asks "if changed", and unchanged keeps them.
        store->saveMessages(u"c1"_qs, {MessageDTO{.id = u"kept"_qs, .conversationId = u"c1"_qs}}, R"("M1")");
        ChatViewModel third(api, conversationWithLastMessage());
        third.setStore(store.get());
        server->answerWith([](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            return request.header("If-None-Match") == R"("M1")" ? ScriptedServer::Reply{304, {}}
                                                                : ScriptedServer::Reply{200, "[]"};
        });
        await(third.load());
        QCOMPARE(ids(third.messages()), u"kept"_qs);
        third.setStore(nullptr);

        chat->setStore(nullptr);
        next.setStore(nullptr);
    }

    // The cache loses what was not used for a month, then the least recently used down to its bound.
    void cachePruning() {
        QTemporaryDir dir;
        qputenv("XDG_CACHE_HOME", dir.path().toUtf8());
        const auto put = [&](const QString& path, int daysAgo) {
            const QString full = dir.filePath(u"Lumora/"_qs + path);
            QDir().mkpath(QFileInfo(full).absolutePath());
            QFile file(full);
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray(600, 'x'));
            file.flush(); // written before it is dated, or the write dates it now
            file.setFileTime(QDateTime::currentDateTimeUtc().addDays(-daysAgo),
                             QFileDevice::FileModificationTime);
            return full;
        };
        const QString stale = put(u"media/a/old.pdf"_qs, 40), used = put(u"media/b/used.pdf"_qs, 1),
                      thumbnail = put(u"thumbnails/b-240x180.png"_qs, 2),
                      pasted = put(u"pasted/p/pasted-image.png"_qs, 3), other = put(u"keep.txt"_qs, 90);
        AttachmentFiles::pruneCache(1000);
        QCOMPARE((QList<bool>{QFile::exists(stale), QFile::exists(used), QFile::exists(thumbnail),
                              QFile::exists(pasted), QFile::exists(other)}),
                 (QList<bool>{false, true, false, false, true}));
    }

    // A file the service refuses as too large keeps the message, not sent, with its text; another file
    // can take its place, and Retry sends that one.
    void refusedFileTakesAnother() {
        QTemporaryDir dir;
        const auto write = [&](const QString& name, qsizetype size) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(size, 'x'));
        };
        write(u"huge.mov"_qs, 4000);
        write(u"small.txt"_qs, 10);
        server->answerWith([&](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            if (request.target == "/media/upload")
                return request.body.size() > 2000
                           ? ScriptedServer::Reply{413, R"({"message":"File too large"})"}
                           : ScriptedServer::Reply{201, R"({"url":"/media/s","mimeType":"text/plain",)"
                                                        R"("sizeBytes":10,"fileName":"small.txt"})"};
            return {201, json(message(u"m"_qs, t1, u"the file"_qs))};
        });
        chat->setDraft(u"the file"_qs);
        chat->setPendingAttachmentURL(QUrl::fromLocalFile(dir.filePath(u"huge.mov"_qs)));
        await(chat->send(u"me"_qs));
        QCOMPARE(chat->errorText(), u"File too large for the service."_qs);
        const QString localId = chat->unsentMessages().value(0).id;
        QCOMPARE(chat->sendState(localId), ChatViewModel::SendState::failed);

        QVERIFY(!chat->replaceUnsentFile(localId, QUrl::fromLocalFile(dir.path())));
        QVERIFY(chat->replaceUnsentFile(localId, QUrl::fromLocalFile(dir.filePath(u"small.txt"_qs))));
        QCOMPARE(chat->unsentMessages().first().attachmentName, u"small.txt"_qs);
        await(chat->retry(localId));
        QCOMPARE(chat->sendState(localId), ChatViewModel::SendState::sent);
        QVERIFY(server->requests().last().body.contains(R"("fileName":"small.txt")"));
        QCOMPARE(body(chat->count() - 1), u"the file"_qs);
    }

    void inboxPlaceholdersThenNewestFirstKeepingTheServiceOrderForTies() {
        InboxViewModel model(api);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Nothing loaded yet: a failure shows the placeholders.
        server->answer(502, QByteArray());
        await(model.load());
        QCOMPARE(model.errorText(), u"HTTP 502"_qs);
        QCOMPARE(ids(model.conversations()), u"demo-1 demo-2"_qs);
        QCOMPARE(model.conversations().first().peer->countryCode, u"SA"_qs);

        // A success replaces them completely, even with an empty inbox.
        server->answer(200, "[]");
        await(model.load());
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.error());

        // Three conversations tie on the newest time, in an order sorted neither way by id.
        const QByteArray rows = inbox({{"a", 1}, {"d", 3}, {"c", 2}, {"b", 3}, {"e", 3}});
        server->answer(200, rows);
        QSignalSpy loading(&model, &InboxViewModel::isLoadingChanged);
        await(model.load());
        QCOMPARE(ids(model.conversations()), u"d b e c a"_qs);
        QCOMPARE(loading.count(), 2);
        QCOMPARE(model.data(model.index(1), InboxViewModel::TitleRole).toString(), u"B"_qs);

        // A later failure keeps what is shown and says why.
        server->answer(503, R"({"message":"Maintenance"})");
        await(model.load());
        QCOMPARE(model.conversations().size(), 5);
        QCOMPARE(model.errorText(), u"Maintenance"_qs);

        // An unchanged reload announces nothing.
        server->answer(200, rows);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        await(model.load());
        QCOMPARE(reset.count() + changed.count(), 0);
    }
};

QTEST_GUILESS_MAIN(ChatModelTest)
#include "tst_chat_model.moc"
