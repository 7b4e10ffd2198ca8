#include "ScriptedServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

const QByteArray userJson =
    R"({"id":"u1","username":"amina","displayName":"أمينة","role":"user","verified":true,"mustChangePassword":false,"createdAt":"2026-01-02T03:04:05.000+02:00"})";

} // namespace

class CliTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    QTemporaryDir home;

    // Runs lumora-cli with `arguments`, feeding `input` to its standard input, while this process's
    // event loop keeps the scripted server answering.
    Run cli(const QStringList& arguments, const QByteArray& input = {}, const QByteArray& token = "tok") {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMORA_API_BASE_URL"), server->url().toString());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        if (token.isEmpty())
            env.remove(QStringLiteral("LUMORA_ACCESS_TOKEN"));
        else
            env.insert(QStringLiteral("LUMORA_ACCESS_TOKEN"), QString::fromUtf8(token));
        process.setProcessEnvironment(env);
        QSignalSpy finished(&process, &QProcess::finished);
        process.start(QStringLiteral(LUMORA_CLI_PATH), arguments);
        process.write(input);
        process.closeWriteChannel();
        if (!finished.wait(20000))
            qFatal("lumora-cli did not finish");
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

private Q_SLOTS:
    void init() { server = new ScriptedServer(this); }
    void cleanup() { delete server; }

    void loginReadsThePasswordFromStandardInput() {
        server->answer(200, R"({"tokens":{"accessToken":"T","refreshToken":"R"},"user":)" + userJson + "}");
        const Run run = cli({QStringLiteral("--json"), QStringLiteral("login"), QStringLiteral("amina")},
                            "  pass word \r\nnext line\n", {});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray()); // no prompt when not on a terminal, and no warnings
        QCOMPARE(server->requests().size(), 1);
        QCOMPARE(server->requests()[0].body, QByteArray(R"({"password":"  pass word ","username":"amina"})"));
        QVERIFY(!server->requests()[0].hasHeader("Authorization"));

        // One JSON document: wire keys, empty optionals left out, timestamps in UTC.
        const QJsonObject reply = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(reply[QStringLiteral("tokens")][QStringLiteral("accessToken")].toString(),
                 QStringLiteral("T"));
        const QJsonObject user = reply[QStringLiteral("user")].toObject();
        QCOMPARE(user[QStringLiteral("displayName")].toString(), QStringLiteral("أمينة"));
        QCOMPARE(user[QStringLiteral("createdAt")].toString(), QStringLiteral("2026-01-02T01:04:05Z"));
        QVERIFY(!user.contains(QStringLiteral("email")));
        QVERIFY(!reply[QStringLiteral("tokens")].toObject().contains(QStringLiteral("tokenType")));

        const Run noPassword = cli({QStringLiteral("login"), QStringLiteral("amina")}, {}, {});
        QCOMPARE(noPassword.exitCode, 2);
        QCOMPARE(server->requests().size(), 1);
    }

    void storedSessionIsUsedByLaterRuns() {
        server->answerWith([](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            if (request.target == "/auth/login")
                return {200, R"({"tokens":{"accessToken":"stored-tok"},"user":)" + userJson + "}"};
            if (request.header("Authorization") == "Bearer stored-tok")
                return {200, userJson};
            return {401, R"({"message":"unknown token"})"};
        });
        QCOMPARE(cli({QStringLiteral("login"), QStringLiteral("amina")}, "sunshine123\n", {}).exitCode, 0);

        // Another process, without LUMORA_ACCESS_TOKEN, restores the stored session.
        const Run who = cli({QStringLiteral("whoami")}, {}, {});
        QCOMPARE(who.exitCode, 0);
        QVERIFY2(who.out.startsWith("amina (أمينة)"), who.out.constData());
        QCOMPARE(server->requests().last().header("Authorization"), QByteArray("Bearer stored-tok"));
        QCOMPARE(cli({QStringLiteral("me")}, {}, {}).exitCode, 0);

        QCOMPARE(cli({QStringLiteral("logout")}, {}, {}).exitCode, 0);
        const qsizetype before = server->requests().size();
        const Run signedOut = cli({QStringLiteral("whoami")}, {}, {});
        QCOMPARE(signedOut.exitCode, 1);
        QCOMPARE(signedOut.err, QByteArray("Not signed in.\n"));
        QCOMPARE(server->requests().size(), before); // nothing stored, nothing asked
    }

    void failuresAndUsage() {
        server->answer(500, R"({"message":"Database is down"})");
        const Run failed = cli({QStringLiteral("conversations")});
        QCOMPARE(failed.exitCode, 1);
        QCOMPARE(failed.err, QByteArray("Database is down\n"));
        QVERIFY(failed.out.isEmpty());

        const Run noToken = cli({QStringLiteral("me")}, {}, {});
        QCOMPARE(noToken.exitCode, 1);
        QCOMPARE(noToken.err, QByteArray("Session expired. Please sign in again.\n"));

        for (const QStringList& bad :
             {QStringList{}, QStringList{QStringLiteral("fly")}, QStringList{QStringLiteral("messages")},
              QStringList{QStringLiteral("send"), QStringLiteral("c1"), QStringLiteral("--colour"),
                          QStringLiteral("red")},
              QStringList{QStringLiteral("send"), QStringLiteral("c1"), QStringLiteral("--text")}}) {
            const Run usage = cli(bad);
            QCOMPARE(usage.exitCode, 2);
            QVERIFY(usage.err.contains("usage: lumora-cli"));
        }
        QCOMPARE(server->requests().size(), 1);
    }

    void networkTextCannotDriveTheTerminal() {
        // Clear the screen, retitle the window, write the clipboard, a C1 control sequence, text
        // turned around by a right-to-left override.
        const QString hostile = QStringLiteral(
            "\x1b[2J\x1b]0;owned\x07\x1b]52;c;cm0gLXJm\x07\u009b31m line\nnext\tcol \u202Etxt.exe");
        const QJsonObject message{{QStringLiteral("id"), QStringLiteral("m1")},
                                  {QStringLiteral("conversationId"), QStringLiteral("c1")},
                                  {QStringLiteral("senderId"), QStringLiteral("u\x1b[8m")},
                                  {QStringLiteral("body"), hostile},
                                  {QStringLiteral("createdAt"), QStringLiteral("2026-01-02T03:04:05Z")}};
        server->answer(200, QJsonDocument(QJsonArray{message}).toJson());
        const Run human = cli({QStringLiteral("messages"), QStringLiteral("c1")});
        QCOMPARE(human.exitCode, 0);
        for (const char* raw : {"\x1b", "\x07", "\xc2\x9b"})
            QVERIFY2(!human.out.contains(raw), human.out.toPercentEncoding().constData());
        QVERIFY2(human.out.contains("\u241b[2J\u241b]0;owned\u2407") &&
                     human.out.contains("<U+009B>31m line\nnext\tcol <U+202E>txt.exe") &&
                     human.out.contains("u\u241b[8m"),
                 human.out.constData());

        // --json stays exact.
        const Run json = cli({QStringLiteral("--json"), QStringLiteral("messages"), QStringLiteral("c1")});
        QCOMPARE(QJsonDocument::fromJson(json.out).array().at(0)[QStringLiteral("body")].toString(), hostile);

        // So does a failure's text from the service.
        server->answer(500, "{\"message\":\"\\u001b]52;c;cm0gLXJm\\u0007down\"}");
        const Run failed = cli({QStringLiteral("conversations")});
        QCOMPARE(failed.err, QByteArray("\u241b]52;c;cm0gLXJm\u2407down\n"));
    }

    void sendUploadsFirstThenReferencesTheFile() {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("notes.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("hello");
        file.close();
        const QByteArray uploaded =
            R"({"url":"/media/abc","mimeType":"text/plain","sizeBytes":5,"fileName":"notes.txt"})";
        server->answerWith([&](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            if (request.target == "/media/upload")
                return {201, uploaded};
            return {
                201,
                R"({"id":"m9","conversationId":"c1","senderId":"u1","createdAt":"2026-01-02T03:04:05Z"})"};
        });
        const Run run = cli({QStringLiteral("--json"), QStringLiteral("send"), QStringLiteral("c1"),
                             QStringLiteral("--text"), QStringLiteral("see file"), QStringLiteral("--attach"),
                             file.fileName()});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(server->requests().size(), 2);
        QCOMPARE(server->requests()[0].target + ' ' + server->requests()[1].target,
                 QByteArray("/media/upload /conversations/c1/messages"));
        const QJsonObject body = QJsonDocument::fromJson(server->requests()[1].body).object();
        QCOMPARE(body[QStringLiteral("body")].toString(), QStringLiteral("see file"));
        const QJsonObject attachment = body[QStringLiteral("attachments")].toArray().first().toObject();
        QCOMPARE(attachment, QJsonDocument::fromJson(uploaded).object()); // all the upload's reply says

        // A missing file fails before anything is sent.
        const Run missing = cli({QStringLiteral("send"), QStringLiteral("c1"), QStringLiteral("--attach"),
                                 dir.filePath(QStringLiteral("gone.png"))});
        QCOMPARE(missing.exitCode, 1);
        QCOMPARE(missing.err, QByteArray("The file could not be read: No such file or directory\n"));
        QCOMPARE(server->requests().size(), 2);
    }

    void inboxChatAndFollow() {
        QByteArray messages =
            R"([{"id":"m1","conversationId":"c1","senderId":"u2","body":"أهلاً","createdAt":"2026-01-02T03:04:05Z"}])";
        server->answerWith([&messages](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            if (request.target == "/conversations")
                return {200,
                        R"([{"id":"c1","title":"Team","updatedAt":"2026-01-02T03:04:05Z","unreadCount":3,)"
                        R"("lastMessage":{"id":"m1","senderId":"u2","createdAt":"2026-01-02T03:04:05Z"}}])"};
            if (request.method == "POST")
                return {500, R"({"message":"Disk full"})"};
            return {200, messages};
        });
        const Run inbox = cli({QStringLiteral("inbox")});
        QCOMPARE(inbox.exitCode, 0);
        QVERIFY2(inbox.out.startsWith("Team  ") && inbox.out.contains("No messages yet") &&
                     inbox.out.endsWith("(3)\n"),
                 inbox.out.constData());

        const Run failed = cli(
            {QStringLiteral("send"), QStringLiteral("c1"), QStringLiteral("--text"), QStringLiteral("hi")});
        QCOMPARE(failed.exitCode, 1);
        QCOMPARE(failed.err, QByteArray("Disk full\n"));

        // --follow prints the chat, then each message a poll brings in.
        QProcess follow;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMORA_API_BASE_URL"), server->url().toString());
        env.insert(QStringLiteral("LUMORA_ACCESS_TOKEN"), QStringLiteral("tok"));
        follow.setProcessEnvironment(env);
        follow.start(QStringLiteral(LUMORA_CLI_PATH),
                     {QStringLiteral("chat"), QStringLiteral("c1"), QStringLiteral("--follow")});
        QByteArray printed;
        QTRY_VERIFY_WITH_TIMEOUT((printed += follow.readAllStandardOutput()).contains("u2: أهلاً"), 10000);
        messages =
            R"([{"id":"m1","conversationId":"c1","senderId":"u2","body":"أهلاً","createdAt":"2026-01-02T03:04:05Z"},)"
            R"({"id":"m2","conversationId":"c1","senderId":"u3","body":"new one","createdAt":"2026-01-02T03:05:00Z"}])";
        QTRY_VERIFY_WITH_TIMEOUT((printed += follow.readAllStandardOutput()).contains("u3: new one"), 10000);
        QCOMPARE(printed.count("u2: "), 1); // the poll adds the new message only
        follow.kill();
        follow.waitForFinished(5000);
    }

    void changePasswordAndProfile() {
        server->answer(204, {});
        const Run changed =
            cli({QStringLiteral("--json"), QStringLiteral("change-password")}, "old secret\nnew secret 1\n");
        QCOMPARE(changed.exitCode, 0);
        QCOMPARE(changed.out.trimmed(), QByteArray("{\n}"));
        QCOMPARE(server->requests()[0].body,
                 QByteArray(R"({"currentPassword":"old secret","newPassword":"new secret 1"})"));
        QCOMPARE(server->requests()[0].header("Authorization"), QByteArray("Bearer tok"));

        QCOMPARE(cli({QStringLiteral("change-password")}, "only one line\n").exitCode, 2);
        QCOMPARE(server->requests().size(), 1);

        server->answer(200, userJson);
        const Run profile = cli({QStringLiteral("update-profile"), QStringLiteral("--bio"), QString(),
                                 QStringLiteral("--email"), QStringLiteral("a@b.c"),
                                 QStringLiteral("--country-code"), QStringLiteral("eg")});
        QCOMPARE(profile.exitCode, 0);
        QCOMPARE(server->requests()[1].method, QByteArray("PATCH"));
        QCOMPARE(server->requests()[1].body, QByteArray(R"({"bio":"","countryCode":"eg"})"));
        QVERIFY(profile.out.startsWith("amina (أمينة)"));
    }

    void baseURLPreference() {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("LUMORA_API_BASE_URL"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LUMORA_CLI_PATH), {QStringLiteral("base-url"), QStringLiteral("--set"),
                                                        QStringLiteral("http://10.0.0.1:3001/api/")});
        QVERIFY(process.waitForFinished(10000)); // no server involved
        QCOMPARE(process.readAllStandardOutput(), QByteArray("http://10.0.0.1:3001/api/\n"));
        QFile stored(home.filePath(QStringLiteral("Lumora/Lumora.conf")));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY(stored.readAll().contains("apiBaseURL=http://10.0.0.1:3001/api/"));

        // The environment still wins over the stored preference.
        const Run run = cli({QStringLiteral("base-url")});
        QCOMPARE(run.out, server->url().toString().toUtf8() + "\n");
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
