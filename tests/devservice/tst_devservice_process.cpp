#include "core/api/APIClient.h"
#include "DevServiceFixture.h"
#include "TestSupport.h"

#include <QTest>
#include <QTimer>

using namespace lumora;

// The executable as a whole: its command line, its subcommands, its log, and its database across a crash.
class DevServiceProcessTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DevService> service;

private Q_SLOTS:
    void init() { service = std::make_unique<DevService>(); }
    void cleanup() { service.reset(); }

    void badCommandLines_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")};
        QTest::newRow("port not a number") << QStringList{QStringLiteral("--port"), QStringLiteral("abc")};
        QTest::newRow("port too high") << QStringList{QStringLiteral("--port"), QStringLiteral("70000")};
        QTest::newRow("missing value") << QStringList{QStringLiteral("--db")};
        QTest::newRow("upload limit zero")
            << QStringList{QStringLiteral("--max-upload-bytes"), QStringLiteral("0")};
        QTest::newRow("add-user without name") << QStringList{QStringLiteral("add-user")};
        QTest::newRow("add-user bad name") << QStringList{QStringLiteral("add-user"), QStringLiteral("-x")};
        QTest::newRow("add-user bad country")
            << QStringList{QStringLiteral("add-user"), QStringLiteral("rania"),
                           QStringLiteral("--country-code"), QStringLiteral("JOR")};
        QTest::newRow("add-user with --title")
            << QStringList{QStringLiteral("add-user"), QStringLiteral("rania"), QStringLiteral("--title"),
                           QStringLiteral("x")};
        QTest::newRow("add-user display name with a control character")
            << QStringList{QStringLiteral("add-user"), QStringLiteral("rania"),
                           QStringLiteral("--display-name"), QStringLiteral("Ra\u001bnia")};
        QTest::newRow("add-conversation title with a control character")
            << QStringList{QStringLiteral("add-conversation"), QStringLiteral("a"), QStringLiteral("b"),
                           QStringLiteral("--title"), QStringLiteral("Book\u0085club")};
        QTest::newRow("conversation of one")
            << QStringList{QStringLiteral("add-conversation"), QStringLiteral("a")};
        QTest::newRow("stray word") << QStringList{QStringLiteral("serve")};
    }

    void badCommandLines() {
        QFETCH(QStringList, args);
        const auto run = service->command(args);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("Usage:"), run.err.constData());
        QVERIFY(run.out.isEmpty());
    }

    void helpGoesToStandardOutput() {
        const auto help = DevService::run({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("Usage:") && help.out.contains("--max-upload-bytes") &&
                help.out.contains("--request-deadline-seconds"));
        QVERIFY(help.err.isEmpty());
    }

    void addUserAndConversationWhileServing() {
        const QString started = service->start();
        QVERIFY2(started.isEmpty(), qPrintable(started));
        const QString password = QStringLiteral("ورد الياسمين 2024");
        const auto added = service->command({QStringLiteral("add-user"), QStringLiteral("rania"),
                                             QStringLiteral("--display-name"), QStringLiteral("رانيا"),
                                             QStringLiteral("--country-code"), QStringLiteral("jo"),
                                             QStringLiteral("--verified")},
                                            password.toUtf8() + "\n");
        QCOMPARE(added.exitCode, 0);
        QVERIFY(!added.out.contains(password.toUtf8()));
        QCOMPARE(service->command({QStringLiteral("add-user"), QStringLiteral("RANIA")}, "another-password\n")
                     .exitCode,
                 1);
        QCOMPARE(service->command({QStringLiteral("add-user"), QStringLiteral("tariq")}, "short\n").exitCode,
                 1);
        QCOMPARE(service->command({QStringLiteral("add-user"), QStringLiteral("tariq")}, "").exitCode, 1);
        QCOMPARE(
            service
                ->command({QStringLiteral("add-user"), QStringLiteral("tariq"), QStringLiteral("--admin")},
                          "tariq-password\r\n")
                .exitCode,
            0);

        APIClient client;
        const auto rania = signIn(client, QStringLiteral("rania"), password);
        QVERIFY(rania);
        QCOMPARE(rania->user.displayName, QStringLiteral("رانيا"));
        QCOMPARE(rania->user.countryCode, QStringLiteral("JO"));
        QVERIFY(rania->user.verified);
        QCOMPARE(toString(rania->user.role), QStringLiteral("user"));
        APIClient tariqClient;
        const auto tariq = signIn(tariqClient, QStringLiteral("tariq"), QStringLiteral("tariq-password"));
        QVERIFY(tariq);
        QCOMPARE(toString(tariq->user.role), QStringLiteral("admin"));

        const QStringList pair{QStringLiteral("add-conversation"), QStringLiteral("rania"),
                               QStringLiteral("tariq")};
        const auto created = service->command(pair);
        QCOMPARE(created.exitCode, 0);
        const QString id = QString::fromUtf8(created.out.trimmed());
        QCOMPARE(QString::fromUtf8(service->command(pair).out.trimmed()), id); // the same direct conversation
        QCOMPARE(service
                     ->command({QStringLiteral("add-conversation"), QStringLiteral("rania"),
                                QStringLiteral("nobody")})
                     .exitCode,
                 1);
        const auto inbox = await(client.conversations());
        QVERIFY(inbox);
        QCOMPARE(inbox->size(), 1);
        QCOMPARE(inbox->first().id, id);
        QCOMPARE(inbox->first().type, QStringLiteral("direct"));
        QCOMPARE(inbox->first().peer->username, QStringLiteral("tariq"));
    }

    void logNamesRequestsButNoSecrets() {
        const QString started = service->start({QStringLiteral("--seed")}, false);
        QVERIFY2(started.isEmpty(), qPrintable(started));
        APIClient client;
        const auto amina = signIn(client, QStringLiteral("amina"), QStringLiteral("sunshine123"));
        QVERIFY(amina);
        QVERIFY(await(client.me()));
        QVERIFY(!await(client.login(QStringLiteral("amina"), QStringLiteral("wrong-password"))));
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
        for (const QString& secret : {QStringLiteral("sunshine123"), QStringLiteral("wrong-password"),
                                      amina->tokens.accessToken, *amina->tokens.refreshToken})
            QVERIFY(!log.contains(secret.toUtf8()));
    }

    void survivesSigkillDuringSends() {
        QString started = service->start({QStringLiteral("--seed")});
        QVERIFY2(started.isEmpty(), qPrintable(started));
        APIClient client;
        QVERIFY(signIn(client, QStringLiteral("amina"), QStringLiteral("sunshine123")));
        const QString chat = await(client.conversations())->first().id;
        const qsizetype before = await(client.messages(chat))->size();

        // Send one after another until the kill cuts a request off; count those that were answered.
        QTimer::singleShot(1500, [this] { service->process().kill(); });
        int answered = 0;
        for (int i = 0; i < 100000; ++i) {
            const auto sent =
                await(client.sendMessage(chat, QStringLiteral("message %1").arg(i), std::nullopt));
            if (!sent)
                break;
            ++answered;
        }
        QVERIFY(answered > 0);
        QCOMPARE(queryDatabase(service->databasePath(), "PRAGMA integrity_check"), QByteArray("ok"));

        started = service->start();
        QVERIFY2(started.isEmpty(), qPrintable(started));
        QVERIFY(signIn(client, QStringLiteral("amina"), QStringLiteral("sunshine123")));
        const auto after = await(client.messages(chat));
        QVERIFY(after);
        const qsizetype stored = after->size() - before;
        QVERIFY2(stored == answered || stored == answered + 1,
                 qPrintable(QStringLiteral("%1 answered, %2 stored").arg(answered).arg(stored)));
        QCOMPARE(after->last().body, QStringLiteral("message %1").arg(stored - 1));
    }
};

QTEST_GUILESS_MAIN(DevServiceProcessTest)
#include "tst_devservice_process.moc"
