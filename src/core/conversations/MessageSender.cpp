#include "core/conversations/MessageSender.h"

namespace lumora {

QCoro::Task<APIResult<MessageDTO>> sendMessage(APIClient* api, QString conversationId, QString text,
                                               std::optional<QString> filePath,
                                               QPointer<UploadControl> upload) {
    std::optional<QList<AttachmentInputDTO>> attachments;
    if (filePath) {
        auto uploading = api->uploadFile(*filePath, upload);
        const auto file = co_await uploading;
        if (!file)
            co_return std::unexpected(file.error());
        attachments = QList{AttachmentInputDTO{file->url, file->mimeType, file->sizeBytes, file->fileName}};
    }
    const std::optional<QString> body = text.isEmpty() ? std::nullopt : std::optional(text);
    auto sending = api->sendMessage(conversationId, body, attachments);
    co_return co_await sending;
}

} // namespace lumora
