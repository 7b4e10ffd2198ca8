#include "DevServiceFixture.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

using namespace lumora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

using Connections = std::vector<std::unique_ptr<RawConnection>>;

bool allReplied(const Connections& connections) {
    return std::all_of(connections.begin(), connections.end(), [](const auto& c) { return c->replied(); });
}

} // namespace

// The executable as a whole: its command line, subcommands, log and database across a crash; and clients
// out to wear it down: bodies without end, requests that trickle in, crowds of connections.
class DevServiceProcessTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DevService> service;

private Q_SLOTS:
    void init() { service = std::make_unique<DevService>(); }
    void cleanup() { service.reset(); }

    void unmeasuredBodiesAreRefusedUnread() {
        QVERIFY(service->start());
        const QByteArray login = "POST /auth/login HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n";
        // Inflated as it is read, a body this small can become hundreds of megabytes.
        const QByteArray deflated = qCompress(R"({"username":"nobody","password":"whatever1"})").mid(4);
        // Never read, it would be taken for the next request on the connection.
        const QByteArray smuggled = "GET /nope HTTP/1.1\r\n\r\n";
        const struct {
            int status;
            const char* complaint;
            QByteArray head;
            QByteArray more = {}; // sent again and again until the reply comes
        } cases[] = {
            {411, "Transfer-Encoding", login + "Transfer-Encoding: chunked\r\n\r\n",
             "1000\r\n" + QByteArray(4096, 'x') + "\r\n"},
            {411, "Content-Length", login + "\r\n", QByteArray(65536, 'x')},
            {413, "too large", login + "Content-Length: 419430400\r\n\r\n", QByteArray(65536, 'x')},
            {415, "Compressed",
             login + "Content-Encoding: deflate\r\nContent-Length: " + QByteArray::number(deflated.size()) +
                 "\r\n\r\n" + deflated},
            {431, "too long", "GET /auth/me HTTP/1.1\r\nHost: x\r\nX-Filler: ", QByteArray(4096, 'a')},
            {400, "no body",
             "GET /auth/me HTTP/1.1\r\nContent-Length: " + QByteArray::number(smuggled.size()) + "\r\n\r\n" +
                 smuggled},
        };
        for (const auto& [status, complaint, head, more] : cases) {
            RawConnection connection(service->url());
            connection.send(head);
            QElapsedTimer clock;
            clock.start();
            while (!connection.replied() && !connection.closed() && clock.elapsed() < 5000) {
                if (!more.isEmpty() && connection.unsent() < 256 * 1024)
                    connection.send(more);
                QTest::qWait(10);
            }
            const QString message = connection.error().value("message"_L1).toString();
            QVERIFY2(connection.replied() && connection.status() == status &&
                         connection.error().value("statusCode"_L1).toInt() == status &&
                         message.contains(QLatin1String(complaint)),
                     qPrintable(
                         u"%1: %2 %3"_s.arg(QLatin1String(complaint)).arg(connection.status()).arg(message)));
            // What was left unread is never served as a request of its own.
            QTRY_VERIFY2_WITH_TIMEOUT(connection.closed(), complaint, 5000);
        }
    }

    void slowClientsAreCutOffWithoutStarvingOthers() {
        constexpr int deadlineMs = 4000;
        QVERIFY(service->start(
            {u"--seed"_s, u"--request-deadline-seconds"_s, QString::number(deadlineMs / 1000)}));
        APIClient signedIn;
        const auto amina = signIn(signedIn, u"amina"_s, u"sunshine123"_s);
        QVERIFY(amina);

        // Twice as many as the library's default workers, half trickling a head and half a body.
        QElapsedTimer clock;
        clock.start();
        Connections slow;
        for (int i = 0; i < 16; ++i) {
            slow.push_back(std::make_unique<RawConnection>(service->url()));
            slow.back()->send(
                i % 2 ? QByteArray("POST /auth/login HTTP/1.1\r\nHost: x\r\nX-Slow: ")
                      : QByteArray("POST /auth/login HTTP/1.1\r\nContent-Length: 100000\r\n\r\n"));
        }
        QTimer trickle;
        connect(&trickle, &QTimer::timeout, this, [&] {
            for (const auto& connection : slow)
                connection->send("a");
        });
        trickle.start(100);
        QTest::qWait(500);

        // On a connection of its own, so that it cannot reuse the one the sign-in left open.
        const RawReply me =
            rawRequest(service->url(u"/auth/me"_s), "GET", {}, amina->tokens.accessToken.toUtf8());
        QVERIFY2(me.status == 200, "a signed-in user was kept waiting behind slow clients");
        QVERIFY2(clock.elapsed() < deadlineMs, "answered only once the slow clients were gone");

        QTRY_VERIFY_WITH_TIMEOUT(allReplied(slow), deadlineMs + 5000);
        QVERIFY2(clock.elapsed() >= deadlineMs, qPrintable(QString::number(clock.elapsed())));
        for (const auto& connection : slow)
            QVERIFY(connection->status() == 408 && connection->error().value("statusCode"_L1).toInt() == 408);
    }

    void crowdsOfConnectionsAreAllServed() {
        QVERIFY(service->start());
        Connections crowd;
        for (int i = 0; i < 256; ++i) {
            crowd.push_back(std::make_unique<RawConnection>(service->url()));
            crowd.back()->send("GET /auth/me HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        }
        QTRY_VERIFY_WITH_TIMEOUT(allReplied(crowd), 10000);
        for (const auto& connection : crowd)
            QCOMPARE(connection->status(), 401);
    }

    void badCommandLines() {
        for (const QString& args :
             {u"--bogus"_s, u"--port|abc"_s, u"--max-upload-bytes|0"_s, u"add-user"_s, u"add-user|-x"_s,
              u"add-user|rania|--country-code|JOR"_s, u"add-user|rania|--title|x"_s,
              u"add-user|rania|--display-name|Ra\u001bnia"_s,
              u"add-conversation|a|b|--title|Book\u0085club"_s, u"add-conversation|a"_s}) {
            const auto run = service->command(args.split(u'|'));
            QVERIFY2(run.exitCode == 2 && run.err.contains("Usage:") && run.out.isEmpty(), qPrintable(args));
        }
    }

    void addUserAndConversationWhileServing() {
        QVERIFY(service->start());
        const auto run = [this](const QString& args, const QByteArray& input = {}) {
            return service->command(args.split(u'|'), input);
        };
        const QString password = u"ورد الياسمين 2024"_s;
        const auto added = run(u"add-user|rania|--display-name|رانيا|--country-code|jo|--verified"_s,
                               password.toUtf8() + "\n");
        QCOMPARE(added.exitCode, 0);
        QVERIFY(!added.out.contains(password.toUtf8()));
        QCOMPARE(run(u"add-user|RANIA"_s, "another-password\n").exitCode, 1);
        QCOMPARE(run(u"add-user|tariq"_s, "short\n").exitCode, 1);
        QCOMPARE(run(u"add-user|tariq"_s).exitCode, 1);
        QCOMPARE(run(u"add-user|tariq|--admin"_s, "tariq-password\r\n").exitCode, 0);

        APIClient client, tariqClient;
        const auto rania = signIn(client, u"rania"_s, password);
        const auto tariq = signIn(tariqClient, u"tariq"_s, u"tariq-password"_s);
        QVERIFY(rania && tariq);
        QCOMPARE(rania->user.displayName, u"رانيا"_s);
        QCOMPARE(rania->user.countryCode, u"JO"_s);
        QVERIFY(rania->user.verified);
        QVERIFY(rania->user.role == UserRole::user && tariq->user.role == UserRole::admin);

        const auto created = run(u"add-conversation|rania|tariq"_s);
        QCOMPARE(created.exitCode, 0);
        QCOMPARE(run(u"add-conversation|rania|tariq"_s).out, created.out); // the same direct conversation
        QCOMPARE(run(u"add-conversation|rania|nobody"_s).exitCode, 1);
        const auto inbox = await(client.conversations());
        QVERIFY(inbox && inbox->size() == 1);
        QCOMPARE(inbox->first().id.toUtf8(), created.out.trimmed());
        QCOMPARE(inbox->first().type, u"direct"_s);
        QCOMPARE(inbox->first().peer->username, u"tariq"_s);
    }

    void logNamesRequestsButNoSecrets() {
        QVERIFY(service->start({u"--seed"_s}, false));
        APIClient client;
        const auto amina = signIn(client, u"amina"_s, u"sunshine123"_s);
        QVERIFY(amina);
        QVERIFY(await(client.me()));
        QVERIFY(!await(client.login(u"amina"_s, u"wrong-password"_s)));
        // A line is written once its reply has gone out, so the last one may trail the reply.
        QByteArray log;
        const auto lineCount = [&] {
            return int((log += service->process().readAllStandardOutput()).count('\n'));
        };
        QTRY_COMPARE(lineCount(), 3);
        const QList<QByteArray> lines = log.trimmed().split('\n');
        QVERIFY2(lines[0].startsWith("POST /auth/login 200 ") && lines[0].endsWith("ms"),
                 lines[0].constData());
        QVERIFY2(lines[1].startsWith("GET /auth/me 200 "), lines[1].constData());
        QVERIFY2(lines[2].startsWith("POST /auth/login 401 "), lines[2].constData());
        for (const QString& secret :
             {u"sunshine123"_s, u"wrong-password"_s, amina->tokens.accessToken, *amina->tokens.refreshToken})
            QVERIFY(!log.contains(secret.toUtf8()));
    }

    void survivesSigkillDuringSends() {
        QVERIFY(service->start({u"--seed"_s}));
        APIClient client;
        QVERIFY(signIn(client, u"amina"_s, u"sunshine123"_s));
        const QString chat = await(client.conversations())->first().id;
        const qsizetype before = await(client.messages(chat))->size();

        // Send one after another until the kill cuts a request off; count those that were answered.
        QTimer::singleShot(1500, [this] { service->process().kill(); });
        int answered = 0;
        while (await(client.sendMessage(chat, u"message %1"_s.arg(answered), std::nullopt)))
            ++answered;
        QVERIFY(answered > 0);
        QCOMPARE(queryDatabase(service->databasePath(), "PRAGMA integrity_check"), QByteArray("ok"));

        QVERIFY(service->start());
        QVERIFY(signIn(client, u"amina"_s, u"sunshine123"_s));
        const auto after = await(client.messages(chat));
        QVERIFY(after);
        const qsizetype stored = after->size() - before;
        QVERIFY2(stored == answered || stored == answered + 1,
                 qPrintable(u"%1 answered, %2 stored"_s.arg(answered).arg(stored)));
        QCOMPARE(after->last().body, u"message %1"_s.arg(stored - 1));
    }
};

QTEST_GUILESS_MAIN(DevServiceProcessTest)
#include "tst_devservice_process.moc"
