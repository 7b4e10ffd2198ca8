#pragma once

#include "core/api/APIClient.h"
#include "wire/WireRecords.h"

#include <QString>

#include <QCoroTask>

#include <optional>

namespace lumora {

// One message to a conversation: the file first, when there is one (its upload's reply becomes the
// message's attachment), then the message with the text, which may be empty when a file goes. The
// chat model and the command-line tool both send through this.
// `upload`, when given, follows and may stop the file's upload.
QCoro::Task<APIResult<MessageDTO>> sendMessage(APIClient* api, QString conversationId, QString text,
                                               std::optional<QString> filePath,
                                               QPointer<UploadControl> upload = {});

} // namespace lumora
