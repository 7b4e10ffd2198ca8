#include "ConversationCommands.h"

#include "Terminal.h"
#include "core/conversations/ChatViewModel.h"
#include "core/conversations/DisplayTexts.h"
#include "core/conversations/MessageSender.h"
#include "core/settings/TextCatalogue.h"
#include "wire/Timestamp.h"
#include "wire/WireEncode.h"

#include <QCoroTimer>

namespace lumora {

namespace {

QString messageLine(const MessageDTO& message) {
    return QStringLiteral("%1  %2: %3")
        .arg(toDateTime(message.createdAt).toLocalTime().toString(Qt::ISODate), message.senderId,
             displayBody(message));
}

QString compactJson(const MessageDTO& message) {
    return QString::fromUtf8(QJsonDocument(toJson(message)).toJson(QJsonDocument::Compact));
}

} // namespace

QCoro::Task<CliResult> showInbox(APIClient* api, QString currentUserId, QLocale locale) {
    auto asking = api->conversations();
    auto conversations = co_await asking;
    if (!conversations)
        co_return std::unexpected(conversations.error().text());
    sortForInbox(*conversations);
    const std::optional<QString> me = currentUserId.isEmpty() ? std::nullopt : std::optional(currentUserId);
    CliOutput out{QJsonDocument(toJson(*conversations)), {}};
    for (const ConversationDTO& conversation : std::as_const(*conversations)) {
        QString preview =
            conversation.lastMessage ? conversation.lastMessage->body.value_or(QString()) : QString();
        if (preview.isEmpty())
            preview = catalogueText("inbox.noMessages");
        const QTime time = toDateTime(conversation.updatedAt).toLocalTime().time();
        QString line =
            QStringLiteral("%1  %2  %3")
                .arg(displayTitle(conversation, me), locale.toString(time, QLocale::ShortFormat), preview);
        if (conversation.unreadCount > 0)
            line += QStringLiteral("  (%1)").arg(conversation.unreadCount);
        out.lines.append(line);
    }
    co_return out;
}

QCoro::Task<CliResult> showChat(APIClient* api, QString conversationId, bool follow, bool json) {
    ConversationDTO conversation;
    conversation.id = conversationId;
    ChatViewModel chat(api, conversation);
    auto loading = chat.load();
    co_await loading;
    if (chat.error())
        co_return std::unexpected(chat.error()->text());
    CliOutput out{QJsonDocument(toJson(chat.messages())), {}};
    for (const MessageDTO& message : chat.messages())
        out.lines.append(messageLine(message));
    if (!follow)
        co_return out;

    // Print what is there, then each message as a poll brings it in, until interrupted.
    if (json)
        for (const MessageDTO& message : chat.messages())
            Terminal::printExact(compactJson(message));
    else
        for (const QString& line : out.lines)
            Terminal::printOut(line);
    QObject::connect(&chat, &QAbstractItemModel::rowsInserted, &chat,
                     [&chat, json](const QModelIndex&, int first, int last) {
                         // Only the service's messages: this chat never sends, so it has no unsent rows.
                         for (int row = first; row <= last; ++row) {
                             const MessageDTO& message = chat.messages().at(row);
                             if (json)
                                 Terminal::printExact(compactJson(message));
                             else
                                 Terminal::printOut(messageLine(message));
                         }
                     });
    chat.startPolling();
    for (;;) {
        auto waiting = QCoro::sleepFor(std::chrono::hours(1));
        co_await waiting;
    }
}

QCoro::Task<CliResult> send(APIClient* api, QString conversationId, std::optional<QString> text,
                            std::optional<QString> filePath) {
    const QString trimmed = text.value_or(QString()).trimmed();
    if (trimmed.isEmpty() && !filePath)
        co_return std::unexpected(catalogueText("cli.nothingToSend"));
    auto sending = sendMessage(api, conversationId, trimmed, filePath);
    const auto sent = co_await sending;
    if (!sent)
        co_return std::unexpected(sent.error().text());
    co_return CliOutput{QJsonDocument(toJson(*sent)), {catalogueText("cli.sent").arg(sent->id)}};
}

} // namespace lumora
