#include "ConversationCommands.h"

#include "core/conversations/ChatViewModel.h"
#include "core/conversations/DisplayTexts.h"
#include "core/conversations/InboxViewModel.h"
#include "Terminal.h"
#include "core/settings/TextCatalogue.h"
#include "wire/WireEncode.h"

#include <QCoroTimer>

namespace lumora {

namespace {

QString messageLine(const ChatViewModel& chat, int row) {
    const QModelIndex index = chat.index(row);
    const QDateTime time = index.data(ChatViewModel::CreatedAtRole).toDateTime().toLocalTime();
    return QStringLiteral("%1  %2: %3")
        .arg(time.toString(Qt::ISODate), index.data(ChatViewModel::SenderIdRole).toString(),
             index.data(ChatViewModel::BodyRole).toString());
}

QJsonDocument messageDocument(const ChatViewModel& chat, int row) {
    const auto& messages = chat.messages();
    return row < messages.size() ? QJsonDocument(toJson(messages.at(row))) : QJsonDocument(QJsonObject{});
}

} // namespace

QCoro::Task<CliResult> showInbox(APIClient* api, QString currentUserId, QLocale locale) {
    InboxViewModel inbox(api);
    inbox.setCurrentUserId(currentUserId);
    auto loading = inbox.load();
    co_await loading;
    if (inbox.errorMessage()) // the inbox would show samples; a command says what went wrong
        co_return std::unexpected(*inbox.errorMessage());
    CliOutput out{QJsonDocument(toJson(inbox.conversations())), {}};
    for (int row = 0; row < inbox.count(); ++row) {
        const QModelIndex index = inbox.index(row);
        QString preview = index.data(InboxViewModel::PreviewRole).toString();
        if (preview.isEmpty())
            preview = catalogueText("inbox.noMessages");
        const QTime time = index.data(InboxViewModel::UpdatedAtRole).toDateTime().toLocalTime().time();
        QString line = QStringLiteral("%1  %2  %3")
                           .arg(index.data(InboxViewModel::TitleRole).toString(),
                                locale.toString(time, QLocale::ShortFormat), preview);
        if (const qint64 unread = index.data(InboxViewModel::UnreadCountRole).toLongLong(); unread > 0)
            line += QStringLiteral("  (%1)").arg(unread);
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
    if (chat.errorMessage())
        co_return std::unexpected(*chat.errorMessage());
    CliOutput out{QJsonDocument(toJson(chat.messages())), {}};
    for (int row = 0; row < chat.count(); ++row)
        out.lines.append(messageLine(chat, row));
    if (!follow)
        co_return out;

    // Print what is there, then each message as a poll brings it in, until interrupted.
    if (json)
        for (int row = 0; row < chat.count(); ++row)
            Terminal::printExact(
                QString::fromUtf8(messageDocument(chat, row).toJson(QJsonDocument::Compact)));
    else
        for (const QString& line : out.lines)
            Terminal::printOut(line);
    QObject::connect(&chat, &QAbstractItemModel::rowsInserted, &chat,
                     [&chat, json](const QModelIndex&, int first, int last) {
                         for (int row = first; row <= last; ++row) {
                             if (json)
                                 Terminal::printExact(QString::fromUtf8(
                                     messageDocument(chat, row).toJson(QJsonDocument::Compact)));
                             else
                                 Terminal::printOut(messageLine(chat, row));
                         }
                     });
    chat.startPolling();
    for (;;) {
        auto waiting = QCoro::sleepFor(std::chrono::hours(1));
        co_await waiting;
    }
}

QCoro::Task<CliResult> sendThroughChat(APIClient* api, QString conversationId, QString senderId,
                                       std::optional<QString> text, std::optional<QString> filePath) {
    ConversationDTO conversation;
    conversation.id = conversationId;
    ChatViewModel chat(api, conversation);
    chat.setDraft(text.value_or(QString()));
    if (filePath)
        chat.setPendingAttachmentURL(QUrl::fromLocalFile(*filePath));
    auto sending = chat.send(senderId);
    co_await sending;
    if (!chat.unsentMessages().isEmpty())
        co_return std::unexpected(chat.errorText());
    if (chat.messages().isEmpty())
        co_return std::unexpected(QStringLiteral("Nothing to send: give --text or --attach."));
    const MessageDTO& sent = chat.messages().last();
    co_return CliOutput{QJsonDocument(toJson(sent)), {QStringLiteral("Sent message %1.").arg(sent.id)}};
}

} // namespace lumora
