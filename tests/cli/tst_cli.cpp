#include "ScriptedServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    bool operator==(const Run&) const = default;
};

char* toString(const Run& run) {
    return QTest::toString("exit " + QByteArray::number(run.exitCode) + ", out \"" + run.out + "\", err \"" +
                           run.err + '"');
}

const QByteArray userJson =
    R"({"id":"u1","username":"amina","displayName":"أمينة","role":"user","verified":true,"mustChangePassword":false,"createdAt":"2026-01-02T03:04:05.000+02:00"})";

} // namespace

class CliTest : public QObject {
    Q_OBJECT

    ScriptedServer* server = nullptr;
    QTemporaryDir home;
    QString baseURL;          // LUMORA_API_BASE_URL; unset when empty
    QString workingDirectory; // the test's own when empty

    void start(QProcess& process, const QByteArrayList& arguments, const QByteArray& token) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"LUMORA_API_BASE_URL"_s);
        env.remove(u"LUMORA_ACCESS_TOKEN"_s);
        if (!baseURL.isEmpty())
            env.insert(u"LUMORA_API_BASE_URL"_s, baseURL);
        if (!token.isEmpty())
            env.insert(u"LUMORA_ACCESS_TOKEN"_s, QString::fromUtf8(token));
        env.insert(u"XDG_CONFIG_HOME"_s, home.path());
        process.setProcessEnvironment(env);
        if (!workingDirectory.isEmpty())
            process.setWorkingDirectory(workingDirectory);
        QStringList args;
        for (const QByteArray& argument : arguments)
            args.append(QString::fromUtf8(argument));
        process.start(QStringLiteral(LUMORA_CLI_PATH), args);
    }

    // Runs lumora-cli with `arguments`, feeding `input` to its standard input, while this process's
    // event loop keeps the scripted server answering.
    Run cli(const QByteArrayList& arguments, const QByteArray& input = {}, const QByteArray& token = "tok") {
        QProcess process;
        QSignalSpy finished(&process, &QProcess::finished);
        start(process, arguments, token);
        process.write(input);
        process.closeWriteChannel();
        if (!finished.wait(20000))
            qFatal("lumora-cli did not finish");
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

private Q_SLOTS:
    void init() {
        server = new ScriptedServer(this);
        baseURL = server->url().toString();
    }
    void cleanup() { delete server; }

    void loginReadsThePasswordFromStandardInput() {
        server->answer(200, R"({"tokens":{"accessToken":"T","refreshToken":"R"},"user":)" + userJson + "}");
        const Run run = cli({"--json", "login", "amina"}, "  pass word \r\nnext line\n", {});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray()); // no prompt when not on a terminal, and no warnings
        QCOMPARE(server->requests().size(), 1);
        QCOMPARE(server->requests()[0].body, QByteArray(R"({"password":"  pass word ","username":"amina"})"));
        // One JSON document: wire keys, empty optionals left out, timestamps in UTC.
        QCOMPARE(
            QJsonDocument::fromJson(run.out).object(),
            QJsonDocument::fromJson(
                R"({"tokens":{"accessToken":"T","refreshToken":"R"},"user":{"id":"u1","username":"amina","displayName":"أمينة","role":"user","verified":true,"mustChangePassword":false,"createdAt":"2026-01-02T01:04:05Z"}})")
                .object());

        // No password on standard input, or one in the arguments: nothing is sent.
        QCOMPARE(cli({"login", "amina"}, {}, {}).exitCode, 2);
        QCOMPARE(cli({"login", "amina", "secret"}, "secret\n", {}).exitCode, 2);
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
        QCOMPARE(cli({"login", "amina"}, "sunshine123\n", {}).exitCode, 0);

        // Another process, without LUMORA_ACCESS_TOKEN, restores the stored session.
        const Run who = cli({"whoami"}, {}, {});
        QCOMPARE(who.exitCode, 0);
        QVERIFY2(who.out.startsWith("amina (أمينة)"), who.out.constData());
        QCOMPARE(server->requests().last().header("Authorization"), QByteArray("Bearer stored-tok"));
        QCOMPARE(cli({"me"}, {}, {}).exitCode, 0);

        QCOMPARE(cli({"logout"}, {}, {}).exitCode, 0);
        QCOMPARE(cli({"whoami"}, {}, {}), (Run{1, {}, "Not signed in.\n"}));
    }

    void failuresAndUsage() {
        server->answer(500, R"({"message":"Disk full"})");
        QCOMPARE(cli({"send", "c1", "--text", "hi"}), (Run{1, {}, "Disk full\n"}));
        QCOMPARE(cli({"me"}, {}, {}), (Run{1, {}, "Session expired. Please sign in again.\n"}));

        for (const QByteArrayList& bad : std::initializer_list<QByteArrayList>{
                 {}, {"fly"}, {"messages"}, {"send", "c1", "--colour", "red"}, {"send", "c1", "--text"}}) {
            const Run usage = cli(bad);
            QCOMPARE(usage.exitCode, 2);
            QVERIFY(usage.err.contains("usage: lumora-cli"));
        }
        QCOMPARE(server->requests().size(), 1);
    }

    void networkTextCannotDriveTheTerminal() {
        // Clear the screen, retitle the window, write the clipboard, a C1 control sequence, text
        // turned around by a right-to-left override.
        const QString hostile =
            u"\x1b[2J\x1b]0;owned\x07\x1b]52;c;cm0gLXJm\x07\u009b31m line\nnext\tcol \u202Etxt.exe"_s;
        const QJsonObject message{{u"id"_s, u"m1"_s},
                                  {u"conversationId"_s, u"c1"_s},
                                  {u"senderId"_s, u"u\x1b[8m"_s},
                                  {u"body"_s, hostile},
                                  {u"createdAt"_s, u"2026-01-02T03:04:05Z"_s}};
        server->answer(200, QJsonDocument(QJsonArray{message}).toJson());
        const Run human = cli({"messages", "c1"});
        QCOMPARE(human.exitCode, 0);
        for (const char* raw : {"\x1b", "\x07", "\xc2\x9b"})
            QVERIFY2(!human.out.contains(raw), human.out.toPercentEncoding().constData());
        QVERIFY2(human.out.contains("\u241b[2J\u241b]0;owned\u2407") &&
                     human.out.contains("<U+009B>31m line\nnext\tcol <U+202E>txt.exe") &&
                     human.out.contains("u\u241b[8m"),
                 human.out.constData());

        // --json stays exact.
        const Run json = cli({"--json", "messages", "c1"});
        QCOMPARE(QJsonDocument::fromJson(json.out).array().at(0)["body"_L1].toString(), hostile);

        // A failure's text from the service is made inert too.
        server->answer(500, "{\"message\":\"\\u001b]52;c;cm0gLXJm\\u0007down\"}");
        QCOMPARE(cli({"conversations"}), (Run{1, {}, "\u241b]52;c;cm0gLXJm\u2407down\n"}));
    }

    // How the upload itself is made is APIClient's business; here, that --attach reads the file and
    // the message refers to what the service made of it.
    void sendUploadsFirstThenReferencesTheFile() {
        const QString path = home.filePath(u"notes.txt"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("hello") == 5);
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
        QCOMPARE(cli({"send", "c1", "--text", "see file", "--attach", path.toUtf8()}).exitCode, 0);
        const auto& requests = server->requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].target, QByteArray("/media/upload"));
        QCOMPARE(QJsonDocument::fromJson(requests[1].body).object(),
                 QJsonDocument::fromJson(R"({"body":"see file","attachments":[)" + uploaded + "]}").object());

        // A missing file fails before anything is sent.
        QCOMPARE(cli({"send", "c1", "--attach", home.filePath(u"gone.png"_s).toUtf8()}),
                 (Run{1, {}, "The file could not be read: No such file or directory\n"}));
        QCOMPARE(requests.size(), 2);
    }

    // The file a message carries, saved where the user runs it under the service's name, or where
    // --output says (that it never replaces a file is the download's own test).
    void downloadSavesWithoutOverwriting() {
        QTemporaryDir here;
        workingDirectory = here.path();
        ScriptedServer::Reply file;
        file.stream = [](QTcpSocket* socket) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n"
                          "Content-Disposition: attachment; filename=\"../train-times.txt\"\r\n\r\nhello");
        };
        server->answer(file);
        const QString saved = here.filePath(u"train-times.txt"_s);
        QCOMPARE(cli({"download", "/media/abc"}), (Run{0, "Saved " + saved.toUtf8() + " (5 bytes)\n", {}}));
        QCOMPARE(server->requests().last().target, QByteArray("/media/abc"));
        const Run output =
            cli({"--json", "download", server->url(u"/media/abc"_s).toEncoded(), "--output", "copy.txt"});
        QCOMPARE(output.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(output.out).object().value(u"bytes"_s).toInt(), 5);
        QFile copy(here.filePath(u"copy.txt"_s));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), "hello");
        workingDirectory.clear();
    }

    void inboxAndFollow() {
        QByteArray messages =
            R"([{"id":"m1","conversationId":"c1","senderId":"u2","body":"أهلاً","createdAt":"2026-01-02T03:04:05Z"}])";
        server->answerWith([&messages](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
            if (request.target == "/conversations")
                return {200,
                        R"([{"id":"c1","title":"Team","updatedAt":"2026-01-02T03:04:05Z","unreadCount":3,)"
                        R"("lastMessage":{"id":"m1","senderId":"u2","createdAt":"2026-01-02T03:04:05Z"}}])"};
            return {200, messages};
        });
        const Run inbox = cli({"inbox"});
        QCOMPARE(inbox.exitCode, 0);
        QVERIFY2(inbox.out.startsWith("Team  ") && inbox.out.contains("No messages yet") &&
                     inbox.out.endsWith("(3)\n"),
                 inbox.out.constData());

        // --follow prints the chat, then each message a poll brings in.
        QProcess follow;
        start(follow, {"chat", "c1", "--follow"}, "tok");
        QByteArray printed;
        QTRY_VERIFY_WITH_TIMEOUT((printed += follow.readAllStandardOutput()).contains("u2: أهلاً"), 10000);
        messages.chop(1);
        messages +=
            R"(,{"id":"m2","conversationId":"c1","senderId":"u3","body":"new one","createdAt":"2026-01-02T03:05:00Z"}])";
        QTRY_VERIFY_WITH_TIMEOUT((printed += follow.readAllStandardOutput()).contains("u3: new one"), 10000);
        QCOMPARE(printed.count("u2: "), 1); // the poll adds the new message only
        follow.kill();
        follow.waitForFinished(5000);
    }

    void changePasswordAndProfile() {
        server->answer(204, {});
        QCOMPARE(cli({"--json", "change-password"}, "old secret\nnew secret 1\n"), (Run{0, "{\n}\n", {}}));
        QCOMPARE(server->requests()[0].body,
                 QByteArray(R"({"currentPassword":"old secret","newPassword":"new secret 1"})"));
        QCOMPARE(server->requests()[0].header("Authorization"), QByteArray("Bearer tok"));

        QCOMPARE(cli({"change-password"}, "only one line\n").exitCode, 2);
        QCOMPARE(server->requests().size(), 1);

        server->answer(200, userJson);
        const Run profile = cli({"update-profile", "--bio", "", "--email", "a@b.c", "--country-code", "eg"});
        QCOMPARE(profile.exitCode, 0);
        QCOMPARE(server->requests()[1].method, QByteArray("PATCH"));
        QCOMPARE(server->requests()[1].body, QByteArray(R"({"bio":"","countryCode":"eg"})"));
        QVERIFY(profile.out.startsWith("amina (أمينة)"));
    }

    void baseURLPreference() {
        baseURL.clear(); // no server involved
        const QByteArray stored = "http://10.0.0.1:3001/api/";
        QCOMPARE(cli({"base-url", "--set", stored}), (Run{0, stored + '\n', {}}));
        QFile settings(home.filePath(u"Lumora/Lumora.conf"_s)); // where the application looks too
        QVERIFY(settings.open(QIODevice::ReadOnly) && settings.readAll().contains("apiBaseURL=" + stored));
        baseURL = server->url().toString(); // the environment still wins over the stored preference
        QCOMPARE(cli({"base-url"}).out, baseURL.toUtf8() + '\n');
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
