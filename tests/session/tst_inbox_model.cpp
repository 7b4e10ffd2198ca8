#include "core/conversations/InboxViewModel.h"
#include "ScriptedServer.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace lumora;

namespace {

QByteArray conversation(const char* id, const char* updatedAt, const char* title) {
    return QByteArray(R"({"id":")") + id + R"(","updatedAt":")" + updatedAt + R"(","title":")" + title +
           R"("})";
}

QStringList ids(const QList<ConversationDTO>& list) {
    QStringList out;
    for (const auto& c : list)
        out.append(c.id);
    return out;
}

} // namespace

class InboxModelTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    APIClient* api = nullptr;
    InboxViewModel* inbox = nullptr;

private Q_SLOTS:
    void init() {
        server = new ScriptedServer(this);
        useBaseURL(server->url().toString());
        api = new APIClient(nullptr, this);
        api->setAccessToken(QStringLiteral("tok"));
        inbox = new InboxViewModel(api, this);
        new QAbstractItemModelTester(inbox, QAbstractItemModelTester::FailureReportingMode::QtTest, inbox);
    }

    void cleanup() {
        delete inbox;
        delete api;
        delete server;
    }

    void newestFirstKeepingTheServiceOrderForTies() {
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
        QCOMPARE(inbox->errorMessage(), std::nullopt);

        // A later failure keeps what is shown and says why.
        server->answer(503, R"({"message":"Maintenance"})");
        await(inbox->load());
        QCOMPARE(inbox->conversations().size(), 4);
        QCOMPARE(inbox->errorMessage(), QStringLiteral("Maintenance"));

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

    void placeholdersOnlyWhenNothingWasLoaded() {
        server->answer(502, QByteArray());
        await(inbox->load());
        QCOMPARE(inbox->errorMessage(), QStringLiteral("HTTP 502"));
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
        QCOMPARE(inbox->errorMessage(), std::nullopt);
        QCOMPARE(inbox->rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(InboxModelTest)
#include "tst_inbox_model.moc"
