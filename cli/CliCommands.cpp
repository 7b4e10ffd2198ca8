#include "CliCommands.h"

#include "APIClient.h"
#include "APIConfig.h"
#include "CliArguments.h"
#include "Terminal.h"
#include "WireEncode.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace lumora {

namespace {

using Terminal::printError;
using Terminal::printOut;

const QString usage = QStringLiteral(
    "usage: lumora-cli [--json] COMMAND [ARGS]\n"
    "commands:\n"
    "  login USERNAME                 sign in; the password is read from standard input\n"
    "  me                             the signed-in user\n"
    "  conversations                  the inbox\n"
    "  messages CONVERSATION_ID       the messages of one conversation\n"
    "  send CONVERSATION_ID [--text TEXT] [--attach FILE]\n"
    "  upload FILE\n"
    "  change-password                current and new password, one line each, from standard input\n"
    "  update-profile [--display-name X] [--bio X] [--country-code X] [--avatar-url X] [--email X]\n"
    "  base-url [--set URL]           the service address in use (or store a new one)\n"
    "The service address comes from LUMORA_API_BASE_URL, else the stored preference.\n"
    "The access token comes from LUMORA_ACCESS_TOKEN.");

QHash<QString, CliGrammar> grammar() {
    const auto s = [](std::initializer_list<const char*> names) {
        QSet<QString> set;
        for (const char* name : names)
            set.insert(QString::fromLatin1(name));
        return set;
    };
    return {
        {QStringLiteral("login"), {{}, {}, 1, 1}},
        {QStringLiteral("me"), {{}, {}, 0, 0}},
        {QStringLiteral("conversations"), {{}, {}, 0, 0}},
        {QStringLiteral("messages"), {{}, {}, 1, 1}},
        {QStringLiteral("send"), {s({"--text", "--attach"}), {}, 1, 1}},
        {QStringLiteral("upload"), {{}, {}, 1, 1}},
        {QStringLiteral("change-password"), {{}, {}, 0, 0}},
        {QStringLiteral("update-profile"),
         {s({"--display-name", "--bio", "--country-code", "--avatar-url", "--email"}), {}, 0, 0}},
        {QStringLiteral("base-url"), {s({"--set"}), {}, 0, 0}},
    };
}

// What a command printed on success, as JSON and as short lines for a person.
struct Output {
    QJsonDocument json;
    QStringList lines;
};

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

APIClient& client() {
    static APIClient* instance = [] {
        auto* c = new APIClient(nullptr, qApp);
        c->setAccessToken(qEnvironmentVariable("LUMORA_ACCESS_TOKEN"));
        return c;
    }();
    return *instance;
}

using Result = APIResult<Output>;

QCoro::Task<Result> login(QString username, QString password) {
    auto task = client().login(username, password);
    auto reply = co_await task;
    if (!reply)
        co_return std::unexpected(reply.error());
    co_return Output{documentOf(*reply), {QStringLiteral("Signed in as %1.").arg(userLine(reply->user))}};
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

QCoro::Task<Result> send(QString conversationId, std::optional<QString> text, std::optional<QString> attach) {
    std::optional<QList<AttachmentInputDTO>> attachments;
    if (attach) {
        auto uploading = client().uploadFile(*attach);
        auto file = co_await uploading;
        if (!file)
            co_return std::unexpected(file.error());
        attachments = QList{AttachmentInputDTO{file->url, file->mimeType, file->sizeBytes, file->fileName}};
    }
    auto sending = client().sendMessage(conversationId, text, attachments);
    auto message = co_await sending;
    if (!message)
        co_return std::unexpected(message.error());
    co_return Output{documentOf(*message), {QStringLiteral("Sent message %1.").arg(message->id)}};
}

QCoro::Task<Result> changePassword(QString current, QString replacement) {
    auto task = client().changePassword(current, replacement);
    auto done = co_await task;
    if (!done)
        co_return std::unexpected(done.error());
    co_return Output{documentOf(EmptyDTO{}), {QStringLiteral("Password changed.")}};
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

    const QString& command = args->command;
    const QStringList& words = args->positional;
    Result result = Output{};
    if (command == QLatin1String("login")) {
        const auto password = readSecret(QStringLiteral("Password for %1: ").arg(words[0]));
        if (!password)
            co_return usageError(QStringLiteral("the password is read from standard input"));
        auto task = login(words[0], *password);
        result = co_await task;
    } else if (command == QLatin1String("me")) {
        auto task = me();
        result = co_await task;
    } else if (command == QLatin1String("conversations")) {
        auto task = conversations();
        result = co_await task;
    } else if (command == QLatin1String("messages")) {
        auto task = messages(words[0]);
        result = co_await task;
    } else if (command == QLatin1String("send")) {
        auto task =
            send(words[0], args->option(QStringLiteral("--text")), args->option(QStringLiteral("--attach")));
        result = co_await task;
    } else if (command == QLatin1String("upload")) {
        auto task = upload(words[0]);
        result = co_await task;
    } else if (command == QLatin1String("change-password")) {
        const auto current = readSecret(QStringLiteral("Current password: "));
        const auto replacement = current ? readSecret(QStringLiteral("New password: ")) : std::nullopt;
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

    if (!result) {
        printError(result.error().text());
        co_return 1;
    }
    if (args->json)
        printOut(QString::fromUtf8(result->json.toJson(QJsonDocument::Indented)).trimmed());
    else
        for (const QString& line : result->lines)
            printOut(line);
    co_return 0;
}

} // namespace lumora
