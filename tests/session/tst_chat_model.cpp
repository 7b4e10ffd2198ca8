#include "ScriptedServer.h"
#include "TestSupport.h"
#include "core/conversations/ChatViewModel.h"
#include "core/conversations/InboxViewModel.h"

#include <QAbstractItemModelTester>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace lumora;
using namespace std::chrono_literals;

namespace {

QJsonObject message(const QString& id, const QString& createdAt,
                    const QString& body = QStringLiteral("text")) {
    return {{QStringLiteral("id"), id},
            {QStringLiteral("conversationId"), QStringLiteral("c1")},
            {QStringLiteral("senderId"), QStringLiteral("u2")},
            {QStringLiteral("body"), body},
            {QStringLiteral("createdAt"), createdAt}};
}

QByteArray list(std::initializer_list<QJsonObject> messages) {
    QJsonArray array;
    for (const auto& m : messages)
        array.append(m);
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

const QString t1 = QStringLiteral("2026-01-01T10:00:00Z");
const QString t2 = QStringLiteral("2026-01-01T10:00:01.500Z");
const QString t3 = QStringLiteral("2026-01-01T10:00:02Z");

template <class T> QStringList ids(const QList<T>& records) {
    QStringList out;
    for (const auto& r : records)
        out.append(r.id);
    return out;
}

ConversationDTO conversationWithLastMessage() {
    ConversationDTO c;
    c.id = QStringLiteral("c1");
    c.lastMessage =
        MessageSummaryDTO{QStringLiteral("last"), QStringLiteral("see you"), QStringLiteral("u2"), {}, {}};
    return c;
}

QByteArray conversation(const char* id, const char* updatedAt, const char* title) {
    return QByteArray(R"({"id":")") + id + R"(","updatedAt":")" + updatedAt + R"(","title":")" + title +
           R"("})";
}

} // namespace

// The chat's and the inbox's models against a scripted service.
class ChatModelTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    APIClient* api = nullptr;
    ChatViewModel* chat = nullptr;

    // Serves the conversation's messages as `messages` says, and answers sends with `sendReply`.
    QByteArray messages;
    ScriptedServer::Reply sendReply{201, {}};

private Q_SLOTS:
    void init() {
        server = new ScriptedServer(this);
        server->answerWith([this](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            if (request.method == "POST" && request.target == "/conversations/c1/messages")
                return sendReply;
            if (request.target == "/media/upload")
                return {201,
                        R"({"url":"/media/f","mimeType":"text/plain","sizeBytes":2,"fileName":"note.txt"})"};
            return {200, messages};
        });
        useBaseURL(server->url().toString());
        api = new APIClient(nullptr, this);
        api->setAccessToken(QStringLiteral("tok"));
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
        QCOMPARE(chat->errorText(), QStringLiteral("down"));
        QCOMPARE(ids(chat->messages()), QStringList{QStringLiteral("last")});
        QCOMPARE(chat->messages().first().body, QStringLiteral("see you"));

        init(); // a fresh model and server
        messages = list({message(QStringLiteral("c"), t3), message(QStringLiteral("a"), t1),
                         message(QStringLiteral("b1"), t2), message(QStringLiteral("b2"), t2)});
        await(chat->load());
        QCOMPARE(ids(chat->messages()), (QStringList{QStringLiteral("a"), QStringLiteral("b1"),
                                                     QStringLiteral("b2"), QStringLiteral("c")}));
        server->answer(500, R"({"message":"down"})");
        await(chat->load());
        QCOMPARE(chat->messages().size(), 4); // what was shown stays
    }

    void pollsInsertNewRowsAndIgnoreEdits() {
        messages = list({message(QStringLiteral("a"), t1)});
        await(chat->load());
        QSignalSpy inserted(chat, &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(chat, &QAbstractItemModel::modelReset);
        QSignalSpy changed(chat, &QAbstractItemModel::dataChanged);

        messages = list({message(QStringLiteral("a"), t1), message(QStringLiteral("b"), t2)});
        chat->startPolling();
        QTRY_COMPARE(chat->count(), 2);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(reset.count(), 0);

        // The ids are what counts: an edit on the service alone does not redraw the chat.
        messages = list(
            {message(QStringLiteral("a"), t1, QStringLiteral("edited")), message(QStringLiteral("b"), t2)});
        const qsizetype polled = server->requests().size();
        QTRY_VERIFY(server->requests().size() >= polled + 2);
        QCOMPARE(chat->messages().first().body, QStringLiteral("text"));
        QCOMPARE(changed.count(), 0);

        messages = list({message(QStringLiteral("b"), t1), message(QStringLiteral("a"), t2)});
        QTRY_COMPARE(reset.count(), 1);
        QCOMPARE(ids(chat->messages()), (QStringList{QStringLiteral("b"), QStringLiteral("a")}));

        const qsizetype before = server->requests().size();
        chat->stopPolling();
        QTest::qWait(200);
        QVERIFY(server->requests().size() <= before + 1); // at most the one already on its way
    }

    void oneLoopOnly() {
        chat->setPollIntervalForTesting(100ms);
        chat->startPolling();
        chat->startPolling();
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

    void sendTrimsAndNeverDuplicates() {
        chat->setDraft(QStringLiteral(" \n "));
        await(chat->send(QStringLiteral("me")));
        QVERIFY(server->requests().isEmpty());
        QCOMPARE(chat->draft(), QStringLiteral(" \n ")); // nothing to send, nothing changed

        // A poll brought the message in before the send's reply arrived.
        messages = list({message(QStringLiteral("a"), t1), message(QStringLiteral("mine"), t2)});
        await(chat->load());
        sendReply = {201, json(message(QStringLiteral("mine"), t2))};
        chat->setDraft(QStringLiteral("  hello there \n"));
        QSignalSpy sending(chat, &ChatViewModel::isSendingChanged);
        await(chat->send(QStringLiteral("me")));
        QCOMPARE(server->requests().last().body, QByteArray(R"({"body":"hello there"})"));
        QCOMPARE(ids(chat->messages()), (QStringList{QStringLiteral("a"), QStringLiteral("mine")}));
        QCOMPARE(chat->count(), 2);
        QCOMPARE(chat->draft(), QString());
        QCOMPARE(sending.count(), 2);
    }

    void failedSendStaysUntilRetriedOrDiscarded() {
        messages = list({message(QStringLiteral("a"), t1)});
        await(chat->load());
        sendReply = {503, R"({"message":"Try later"})"};
        chat->setDraft(QStringLiteral("keep me"));
        await(chat->send(QStringLiteral("me")));
        QCOMPARE(chat->draft(), QString());
        QCOMPARE(chat->errorText(), QStringLiteral("Try later"));
        const QList<MessageDTO> unsent = chat->unsentMessages();
        QCOMPARE(unsent.size(), 1);
        const QString localId = unsent.first().id;
        QCOMPARE(chat->sendState(localId), ChatViewModel::SendState::failed);
        QCOMPARE(chat->data(chat->index(1), ChatViewModel::BodyRole).toString(), QStringLiteral("keep me"));

        // Polls replace the service's messages only; the failed one stays after them.
        messages = list({message(QStringLiteral("a"), t1), message(QStringLiteral("b"), t2)});
        chat->startPolling();
        QTRY_COMPARE(chat->messages().size(), 2);
        chat->stopPolling();
        QCOMPARE(chat->count(), 3);
        QCOMPARE(chat->data(chat->index(2), ChatViewModel::IdRole).toString(), localId);

        await(chat->retry(localId)); // still failing
        QCOMPARE(chat->sendState(localId), ChatViewModel::SendState::failed);
        QCOMPARE(server->requests().last().body, QByteArray(R"({"body":"keep me"})"));

        sendReply = {201, json(message(QStringLiteral("stored"), t3, QStringLiteral("keep me")))};
        await(chat->retry(localId));
        QCOMPARE(chat->sendState(localId), ChatViewModel::SendState::sent);
        QVERIFY(chat->unsentMessages().isEmpty());
        QCOMPARE(ids(chat->messages()),
                 (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("stored")}));

        sendReply = {500, {}};
        chat->setDraft(QStringLiteral("drop me"));
        await(chat->send(QStringLiteral("me")));
        chat->discard(chat->unsentMessages().first().id);
        QVERIFY(chat->unsentMessages().isEmpty());
        QCOMPARE(chat->count(), 3);
    }

    void attachments() {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("note.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("hi");
        file.close();
        sendReply = {201, json(message(QStringLiteral("m"), t1, QString()))};
        chat->setPendingAttachmentURL(QUrl::fromLocalFile(file.fileName()));
        chat->setPendingAttachmentName(QStringLiteral("note.txt"));
        await(chat->send(QStringLiteral("me")));
        QCOMPARE(server->requests().size(), 2);
        QCOMPARE(
            server->requests().last().body,
            QByteArray(
                R"({"attachments":[{"fileName":"note.txt","mimeType":"text/plain","sizeBytes":2,"url":"/media/f"}]})"));
        QCOMPARE(chat->pendingAttachmentURL(), std::nullopt);
        QCOMPARE(chat->pendingAttachmentName(), std::nullopt);

        // A file that is gone by the time of sending: kept as a failed message, with the file's name.
        chat->setPendingAttachmentURL(QUrl::fromLocalFile(dir.filePath(QStringLiteral("gone.pdf"))));
        await(chat->send(QStringLiteral("me")));
        QCOMPARE(chat->error()->kind(), APIClientError::Kind::File);
        QCOMPARE(chat->errorText(), QStringLiteral("The file could not be read: No such file or directory"));
        QCOMPARE(chat->unsentMessages().size(), 1);
        QCOMPARE(chat->unsentMessages().first().body, QStringLiteral("\U0001F4CE gone.pdf"));
        QCOMPARE(server->requests().size(), 2);

        // The label under a bubble is the message's attachment name, and only when it has one: the
        // body already shows the first file's name.
        QJsonObject named = message(QStringLiteral("n"), t2, QString());
        named[QStringLiteral("attachmentName")] = QStringLiteral("Holiday photos");
        named[QStringLiteral("attachments")] =
            QJsonArray{QJsonObject{{QStringLiteral("url"), QStringLiteral("/media/p")},
                                   {QStringLiteral("mimeType"), QStringLiteral("image/png")},
                                   {QStringLiteral("sizeBytes"), 3},
                                   {QStringLiteral("fileName"), QStringLiteral("beach.png")}}};
        QJsonObject unnamed = named;
        unnamed[QStringLiteral("id")] = QStringLiteral("u");
        unnamed[QStringLiteral("createdAt")] = t3;
        unnamed.remove(QStringLiteral("attachmentName"));
        messages = list({named, unnamed});
        await(chat->load());
        const auto label = [&](int row) {
            return chat->data(chat->index(row), ChatViewModel::AttachmentNameRole).toString();
        };
        QCOMPARE(chat->data(chat->index(0), ChatViewModel::BodyRole).toString(),
                 QStringLiteral("\U0001F4CE beach.png"));
        QCOMPARE(label(0), QStringLiteral("Holiday photos"));
        QCOMPARE(label(1), QString());
    }

    void inbox_newestFirstKeepingTheServiceOrderForTies() {
        InboxViewModel model(api);
        InboxViewModel* inbox = &model;
        QAbstractItemModelTester tester(inbox, QAbstractItemModelTester::FailureReportingMode::QtTest);
        server->answer(200, "[" + conversation("a", "2026-01-01T10:00:00Z", "A") + "," +
                                conversation("b", "2026-01-03T10:00:00Z", "B") + "," +
                                conversation("c", "2026-01-02T10:00:00Z", "C") + "," +
                                conversation("d", "2026-01-03T10:00:00Z", "D") + "]");
        QSignalSpy loading(inbox, &InboxViewModel::isLoadingChanged);
        await(inbox->load());
        QCOMPARE(ids(inbox->conversations()), (QStringList{QStringLiteral("b"), QStringLiteral("d"),
                                                           QStringLiteral("c"), QStringLiteral("a")}));
        QCOMPARE(loading.count(), 2);
        QCOMPARE(inbox->data(inbox->index(1), InboxViewModel::TitleRole).toString(), QStringLiteral("D"));
        QVERIFY(!inbox->error());

        // A later failure keeps what is shown and says why.
        server->answer(503, R"({"message":"Maintenance"})");
        await(inbox->load());
        QCOMPARE(inbox->conversations().size(), 4);
        QCOMPARE(inbox->errorText(), QStringLiteral("Maintenance"));

        // An unchanged reload announces nothing.
        server->answer(200, "[" + conversation("b", "2026-01-03T10:00:00Z", "B") + "," +
                                conversation("d", "2026-01-03T10:00:00Z", "D") + "," +
                                conversation("c", "2026-01-02T10:00:00Z", "C") + "," +
                                conversation("a", "2026-01-01T10:00:00Z", "A") + "]");
        await(inbox->load());
        QSignalSpy reset(inbox, &QAbstractItemModel::modelReset);
        QSignalSpy changed(inbox, &QAbstractItemModel::dataChanged);
        await(inbox->load());
        QCOMPARE(reset.count() + changed.count(), 0);
    }

    void inbox_placeholdersOnlyWhenNothingWasLoaded() {
        InboxViewModel model(api);
        InboxViewModel* inbox = &model;
        QAbstractItemModelTester tester(inbox, QAbstractItemModelTester::FailureReportingMode::QtTest);
        server->answer(502, QByteArray());
        await(inbox->load());
        QCOMPARE(inbox->errorText(), QStringLiteral("HTTP 502"));
        QCOMPARE(ids(inbox->conversations()),
                 (QStringList{QStringLiteral("demo-1"), QStringLiteral("demo-2")}));
        const ConversationDTO& first = inbox->conversations().first();
        QCOMPARE(first.unreadCount, 2);
        QCOMPARE(first.peer->countryCode, QStringLiteral("SA"));
        QCOMPARE(first.lastMessage->body, QStringLiteral("مرحباً — هل التطبيق جاهز؟"));
        QCOMPARE(inbox->conversations().at(1).peer->countryCode, QStringLiteral("AE"));

        // A success replaces them completely, even with an empty inbox.
        server->answer(200, "[]");
        await(inbox->load());
        QVERIFY(inbox->conversations().isEmpty());
        QVERIFY(!inbox->error());
        QCOMPARE(inbox->rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(ChatModelTest)
#include "tst_chat_model.moc"
