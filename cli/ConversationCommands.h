#pragma once

#include "CliOutput.h"

#include <QLocale>
#include <QString>

#include <QCoroTask>

#include <optional>

namespace lumora {

class APIClient;

// The inbox and the chat as the desktop client shows them, with the same display texts.

// Each conversation: title, time of day of the last activity, preview and unread count.
QCoro::Task<CliResult> showInbox(APIClient* api, QString currentUserId, QLocale locale);

// The messages of one conversation. With `follow`, keeps polling and prints each new message as it
// arrives (one JSON document per line with `json`) until the process is interrupted.
QCoro::Task<CliResult> showChat(APIClient* api, QString conversationId, bool follow, bool json);

// Sends the trimmed text and the file, as the chat does; a failed send is an error.
QCoro::Task<CliResult> send(APIClient* api, QString conversationId, std::optional<QString> text,
                            std::optional<QString> filePath);

} // namespace lumora
