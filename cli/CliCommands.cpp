#include "CliCommands.h"

#include "CliArguments.h"
#include "CliOutput.h"
#include "ConversationCommands.h"
#include "Terminal.h"
#include "core/api/APIClient.h"
#include "core/api/APIConfig.h"
#include "core/api/MediaDownload.h"
#include "core/mesh/LocalMeshService.h"
#include "core/session/AuthService.h"
#include "core/settings/LanguageManager.h"
#include "core/settings/TextCatalogue.h"
#include "wire/WireEncode.h"

#include <QCoroTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include <cstdio>

namespace lumora {

namespace {

using Terminal::printError;
using Terminal::printOut;

const QString usage = QStringLiteral(
    "usage: lumora-cli [--json] COMMAND [ARGS]\n"
    "commands:\n"
    "  login USERNAME                 sign in and keep the session; the password is read from standard "
    "input\n"
    "  logout                         sign out and forget the stored session\n"
    "  whoami                         the user of the stored session\n"
    "  me                             the signed-in user\n"
    "  conversations                  the conversations as the service sends them\n"
    "  inbox                          the inbox as Lumora shows it: title, time, preview, unread\n"
    "  messages CONVERSATION_ID       the messages of one conversation as the service sends them\n"
    "  chat CONVERSATION_ID [--follow]  the chat; with --follow, new messages as they arrive\n"
    "  send CONVERSATION_ID [--text TEXT] [--attach FILE]  send as the chat does (text trimmed)\n"
    "  upload FILE\n"
    "  download MEDIA_URL [--output FILE]  save a message's file (relative URLs are the service's); without\n"
    "                                 --output, under the name the service gives, never over an existing "
    "file\n"
    "  change-password                current and new password, one line each, from standard input\n"
    "  update-profile [--display-name X] [--bio X] [--country-code X] [--avatar-url X] [--email X]\n"
    "  base-url [--set URL]           the service address in use (or store a new one)\n"
    "  mesh [--seconds N]             show the local mesh for N seconds (default 5): states, then peers\n"
    "The service address comes from LUMORA_API_BASE_URL, else the stored preference.\n"
    "The access token comes from LUMORA_ACCESS_TOKEN, else from the session stored by login.");

QHash<QString, CliGrammar> grammar() {
    const auto s = [](std::initializer_list<const char*> names) {
        QSet<QString> set;
        for (const char* name : names)
            set.insert(QString::fromLatin1(name));
        return set;
    };
    return {
        {QStringLiteral("login"), {{}, {}, 1, 1}},
        {QStringLiteral("logout"), {{}, {}, 0, 0}},
        {QStringLiteral("whoami"), {{}, {}, 0, 0}},
        {QStringLiteral("me"), {{}, {}, 0, 0}},
        {QStringLiteral("conversations"), {{}, {}, 0, 0}},
        {QStringLiteral("messages"), {{}, {}, 1, 1}},
        {QStringLiteral("send"), {s({"--text", "--attach"}), {}, 1, 1}},
        {QStringLiteral("inbox"), {{}, {}, 0, 0}},
        {QStringLiteral("chat"), {{}, s({"--follow"}), 1, 1}},
        {QStringLiteral("upload"), {{}, {}, 1, 1}},
        {QStringLiteral("download"), {s({"--output"}), {}, 1, 1}},
        {QStringLiteral("change-password"), {{}, {}, 0, 0}},
        {QStringLiteral("update-profile"),
         {s({"--display-name", "--bio", "--country-code", "--avatar-url", "--email"}), {}, 0, 0}},
        {QStringLiteral("base-url"), {s({"--set"}), {}, 0, 0}},
        {QStringLiteral("mesh"), {s({"--seconds"}), {}, 0, 0}},
    };
}

// What a command printed on success, as JSON and as short lines for a person.
using Output = CliOutput;

template <class T> QJsonDocument documentOf(const T& value) {
    return QJsonDocument(toJson(value));
}

QString orDash(const std::optional<QString>& text) {
    return text && !text->isEmpty() ? *text : QStringLiteral("-");
}

QString userLine(const UserDTO& u) {
    return QStringLiteral("%1 (%2) id=%3 role=%4%5%6")
        .arg(u.username, orDash(u.displayName), u.id, toString(u.role),
             u.verified ? QStringLiteral(" verified") : QString(),
             u.mustChangePassword ? QStringLiteral(" must-change-password") : QString());
}

QString conversationLine(const ConversationDTO& c) {
    QString name = c.title.value_or(QString());
    if (name.isEmpty() && c.peer)
        name = c.peer->displayName.value_or(c.peer->username);
    QString line = QStringLiteral("%1  %2  updated %3")
                       .arg(c.id, name.isEmpty() ? QStringLiteral("-") : name, formatTimestamp(c.updatedAt));
    if (c.unreadCount > 0)
        line += QStringLiteral("  unread %1").arg(c.unreadCount);
    if (c.lastMessage && c.lastMessage->body)
        line += QStringLiteral("  \u201c%1\u201d").arg(*c.lastMessage->body);
    return line;
}

QString messageLine(const MessageDTO& m) {
    QString text = m.body.value_or(QString());
    if (m.attachments)
        for (const AttachmentMetaDTO& a : *m.attachments)
            text += QStringLiteral(" [%1 %2]").arg(a.fileName.value_or(a.url), a.mimeType);
    return QStringLiteral("%1  %2: %3").arg(formatTimestamp(m.createdAt), m.senderId, text);
}

std::optional<QString> readSecret(const QString& prompt) {
    return Terminal::readSecretLine(prompt);
}

// The one session of this run: the same stored tokens the desktop client uses.
struct Session {
    LanguageManager language; // installs the text table of the user's language
    APIClient api;
    AuthService auth{&api};
};

Session& session() {
    static Session* instance = new Session;
    return *instance;
}

APIClient& client() {
    return session().api;
}

using Result = APIResult<Output>;

// Failures of the session itself (sign-in, restore) are reported as plain texts.
using SessionResult = CliResult;

QCoro::Task<SessionResult> login(QString username, QString password) {
    auto task = session().auth.login(username, password);
    auto reply = co_await task;
    if (!reply)
        co_return std::unexpected(session().auth.lastErrorText());
    co_return Output{documentOf(*reply), {catalogueText("cli.signedInAs").arg(userLine(reply->user))}};
}

QCoro::Task<SessionResult> logout() {
    auto task = session().auth.logout();
    co_await task;
    co_return Output{documentOf(EmptyDTO{}), {catalogueText("cli.signedOutDone")}};
}

// Uses LUMORA_ACCESS_TOKEN when set; otherwise restores the stored session, as the desktop client does.
QCoro::Task<std::expected<void, QString>> restoreSession() {
    const QString token = qEnvironmentVariable("LUMORA_ACCESS_TOKEN");
    if (!token.isEmpty()) {
        client().setAccessToken(token);
        co_return std::expected<void, QString>{};
    }
    auto task = session().auth.bootstrap();
    co_await task;
    if (!session().auth.isAuthenticated() && session().auth.lastError())
        co_return std::unexpected(session().auth.lastError()->text());
    co_return std::expected<void, QString>{};
}

SessionResult whoami() {
    const auto& user = session().auth.currentUser();
    if (!user)
        return std::unexpected(catalogueText("cli.signedOut"));
    return Output{documentOf(*user), {userLine(*user)}};
}

QCoro::Task<Result> me() {
    auto task = client().me();
    auto user = co_await task;
    if (!user)
        co_return std::unexpected(user.error());
    co_return Output{documentOf(*user), {userLine(*user)}};
}

QCoro::Task<Result> conversations() {
    auto task = client().conversations();
    auto list = co_await task;
    if (!list)
        co_return std::unexpected(list.error());
    Output out{QJsonDocument(toJson(*list)), {}};
    for (const ConversationDTO& c : *list)
        out.lines.append(conversationLine(c));
    co_return out;
}

QCoro::Task<Result> messages(QString conversationId) {
    auto task = client().messages(conversationId);
    auto list = co_await task;
    if (!list)
        co_return std::unexpected(list.error());
    Output out{QJsonDocument(toJson(*list)), {}};
    for (const MessageDTO& m : *list)
        out.lines.append(messageLine(m));
    co_return out;
}

QCoro::Task<Result> upload(QString path) {
    auto task = client().uploadFile(path);
    auto file = co_await task;
    if (!file)
        co_return std::unexpected(file.error());
    co_return Output{documentOf(*file),
                     {QStringLiteral("Uploaded %1 as %2 (%3, %4 bytes)")
                          .arg(file->fileName, file->url, file->mimeType)
                          .arg(file->sizeBytes)}};
}

QCoro::Task<Result> download(QString url, std::optional<QString> output) {
    MediaDownload download(&client(), QUrl(url));
    // Progress for a person watching, on one line that rewrites itself; nothing for a script.
    if (isatty(STDERR_FILENO)) {
        QObject::connect(&download, &MediaDownload::progress, [](qint64 received, qint64 total) {
            if (total > 0)
                std::fprintf(stderr, "\r%3d %%  %lld / %lld bytes", int(received * 100 / total),
                             static_cast<long long>(received), static_cast<long long>(total));
            else
                std::fprintf(stderr, "\r%lld bytes", static_cast<long long>(received));
        });
    }
    auto task = output ? download.saveTo(*output) : download.saveInto(QDir::currentPath());
    auto saved = co_await task;
    if (isatty(STDERR_FILENO))
        std::fputs("\n", stderr);
    if (!saved)
        co_return std::unexpected(saved.error());
    const qint64 size = QFileInfo(*saved).size();
    QJsonObject json{{QStringLiteral("path"), *saved}, {QStringLiteral("bytes"), size}};
    co_return Output{QJsonDocument(json), {QStringLiteral("Saved %1 (%2 bytes)").arg(*saved).arg(size)}};
}

QCoro::Task<Result> changePassword(QString current, QString replacement) {
    auto task = client().changePassword(current, replacement);
    auto done = co_await task;
    if (!done)
        co_return std::unexpected(done.error());
    co_return Output{documentOf(EmptyDTO{}), {catalogueText("cli.passwordChanged")}};
}

QCoro::Task<Result> updateProfile(UpdateProfileRequest request) {
    auto task = client().updateProfile(request);
    auto user = co_await task;
    if (!user)
        co_return std::unexpected(user.error());
    co_return Output{documentOf(*user), {userLine(*user)}};
}

Output baseURL(std::optional<QString> set) {
    if (set)
        APIConfig::setBaseURL(*set);
    const QString url = APIConfig::baseURL().toString();
    return Output{QJsonDocument(QJsonObject{{QStringLiteral("baseURL"), url}}), {url}};
}

// Runs the local mesh for `seconds`. For a person each state is printed as it comes; the peers
// still visible at the end follow. JSON gathers both into one document.
QCoro::Task<Output> mesh(int seconds, bool json) {
    LocalMeshService service;
    QJsonArray states;
    const auto noted = QObject::connect(&service, &LocalMeshService::statusMessageChanged, &service, [&] {
        states.append(service.statusMessage());
        if (!json)
            printOut(service.statusMessage());
    });
    service.start();
    auto waiting = QCoro::sleepFor(std::chrono::seconds(seconds));
    co_await waiting;
    QObject::disconnect(noted);
    const QList<MeshPeer> peers = service.discoveredPeers();
    service.stop();

    Output out;
    QJsonArray peerArray;
    for (const MeshPeer& peer : peers) {
        peerArray.append(QJsonObject{{QStringLiteral("id"), peer.id},
                                     {QStringLiteral("name"), peer.name},
                                     {QStringLiteral("endpointDescription"), peer.endpointDescription}});
        out.lines.append(QStringLiteral("%1  %2").arg(peer.name, peer.endpointDescription));
    }
    if (peers.isEmpty())
        out.lines.append(catalogueText("cli.noPeers"));
    out.json =
        QJsonDocument(QJsonObject{{QStringLiteral("status"), states}, {QStringLiteral("peers"), peerArray}});
    co_return out;
}

std::optional<int> meshSeconds(const std::optional<QString>& text) {
    if (!text)
        return 5;
    bool ok = false;
    const int seconds = text->toInt(&ok);
    return ok && seconds >= 0 && seconds <= 86400 ? std::optional<int>(seconds) : std::nullopt;
}

// Prints what a command produced, or its failure as one line on standard error; gives the exit code.
int finish(const SessionResult& result, bool json) {
    if (!result) {
        printError(result.error());
        return 1;
    }
    if (json)
        Terminal::printExact(QString::fromUtf8(result->json.toJson(QJsonDocument::Indented)).trimmed());
    else
        for (const QString& line : result->lines)
            printOut(line);
    return 0;
}

int usageError(const QString& problem) {
    printError(QStringLiteral("lumora-cli: ") + problem);
    printError(usage.section(QLatin1Char('\n'), 0, 0));
    return 2;
}

} // namespace

QCoro::Task<int> runCli(QStringList arguments) {
    QString problem;
    const auto args = parseCliArguments(arguments, grammar(), &problem);
    if (!args)
        co_return usageError(problem);
    if (args->help) {
        printOut(usage);
        co_return 0;
    }
    session(); // the text table of the user's language, before the first prompt

    const QString& command = args->command;
    const QStringList& words = args->positional;
    SessionResult sessionResult = Output{};
    if (command == QLatin1String("login")) {
        const auto password = readSecret(catalogueText("cli.passwordPrompt").arg(words[0]));
        if (!password)
            co_return usageError(QStringLiteral("the password is read from standard input"));
        auto task = login(words[0], *password);
        sessionResult = co_await task;
        co_return finish(sessionResult, args->json);
    }
    if (command == QLatin1String("logout")) {
        auto task = logout();
        sessionResult = co_await task;
        co_return finish(sessionResult, args->json);
    }
    if (command == QLatin1String("mesh")) {
        const auto seconds = meshSeconds(args->option(QStringLiteral("--seconds")));
        if (!seconds)
            co_return usageError(QStringLiteral("--seconds takes a whole number from 0 to 86400"));
        auto task = mesh(*seconds, args->json);
        sessionResult = co_await task;
        co_return finish(sessionResult, args->json);
    }
    if (command != QLatin1String("base-url")) {
        auto restoring = restoreSession();
        const auto restored = co_await restoring;
        if (!restored)
            co_return finish(std::unexpected(restored.error()), args->json);
    }
    if (command == QLatin1String("whoami"))
        co_return finish(whoami(), args->json);
    const QString userId = session().auth.currentUser() ? session().auth.currentUser()->id : QString();
    if (command == QLatin1String("inbox")) {
        auto task = showInbox(&client(), userId, session().language.effectiveLocale());
        sessionResult = co_await task;
        co_return finish(sessionResult, args->json);
    }
    if (command == QLatin1String("chat")) {
        auto task =
            showChat(&client(), words[0], args->flags.contains(QStringLiteral("--follow")), args->json);
        sessionResult = co_await task;
        co_return finish(sessionResult, args->json);
    }
    if (command == QLatin1String("send")) {
        auto task = send(&client(), words[0], args->option(QStringLiteral("--text")),
                         args->option(QStringLiteral("--attach")));
        sessionResult = co_await task;
        co_return finish(sessionResult, args->json);
    }

    Result result = Output{};
    if (command == QLatin1String("me")) {
        auto task = me();
        result = co_await task;
    } else if (command == QLatin1String("conversations")) {
        auto task = conversations();
        result = co_await task;
    } else if (command == QLatin1String("messages")) {
        auto task = messages(words[0]);
        result = co_await task;
    } else if (command == QLatin1String("upload")) {
        auto task = upload(words[0]);
        result = co_await task;
    } else if (command == QLatin1String("download")) {
        auto task = download(words[0], args->option(QStringLiteral("--output")));
        result = co_await task;
    } else if (command == QLatin1String("change-password")) {
        const auto current = readSecret(catalogueText("cli.currentPasswordPrompt"));
        const auto replacement = current ? readSecret(catalogueText("cli.newPasswordPrompt")) : std::nullopt;
        if (!replacement)
            co_return usageError(
                QStringLiteral("the current and the new password are read from standard input"));
        auto task = changePassword(*current, *replacement);
        result = co_await task;
    } else if (command == QLatin1String("update-profile")) {
        UpdateProfileRequest request;
        request.displayName = args->option(QStringLiteral("--display-name"));
        request.bio = args->option(QStringLiteral("--bio"));
        request.countryCode = args->option(QStringLiteral("--country-code"));
        request.avatarUrl = args->option(QStringLiteral("--avatar-url"));
        request.email = args->option(QStringLiteral("--email"));
        auto task = updateProfile(request);
        result = co_await task;
    } else if (command == QLatin1String("base-url")) {
        result = baseURL(args->option(QStringLiteral("--set")));
    }

    if (!result)
        co_return finish(std::unexpected(result.error().text()), args->json);
    co_return finish(*result, args->json);
}

} // namespace lumora
