#pragma once

#include "wire/WireRecords.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <expected>

namespace lumora {

// Why a reply could not be decoded, naming the failing key path, e.g.
// "Bad date: 2024-01-01 (at [3].lastMessage.createdAt)".
struct DecodeError {
    QString description;

    bool operator==(const DecodeError&) const = default;
};

template <class T> using Decoded = std::expected<T, DecodeError>;

// Decodes `json` as T. Fails as a whole when any field anywhere fails.
template <class T> Decoded<T> decodeJson(QByteArrayView json);

// Decodes a successful reply: first directly as T, then as an object holding T under "data".
// When both fail, the error of the direct attempt is returned.
template <class T> Decoded<T> decodeReply(QByteArrayView json);

// Reply records, and the lists the service answers with.
extern template Decoded<UserDTO> decodeJson<UserDTO>(QByteArrayView);
extern template Decoded<LoginResponse> decodeJson<LoginResponse>(QByteArrayView);
extern template Decoded<ConversationDTO> decodeJson<ConversationDTO>(QByteArrayView);
extern template Decoded<QList<ConversationDTO>> decodeJson<QList<ConversationDTO>>(QByteArrayView);
extern template Decoded<MessageDTO> decodeJson<MessageDTO>(QByteArrayView);
extern template Decoded<QList<MessageDTO>> decodeJson<QList<MessageDTO>>(QByteArrayView);
extern template Decoded<UploadedFileMetaDTO> decodeJson<UploadedFileMetaDTO>(QByteArrayView);
extern template Decoded<APIErrorBody> decodeJson<APIErrorBody>(QByteArrayView);

extern template Decoded<UserDTO> decodeReply<UserDTO>(QByteArrayView);
extern template Decoded<LoginResponse> decodeReply<LoginResponse>(QByteArrayView);
extern template Decoded<QList<ConversationDTO>> decodeReply<QList<ConversationDTO>>(QByteArrayView);
extern template Decoded<MessageDTO> decodeReply<MessageDTO>(QByteArrayView);
extern template Decoded<QList<MessageDTO>> decodeReply<QList<MessageDTO>>(QByteArrayView);

// Request records, read by the reference service.
extern template Decoded<LoginRequest> decodeJson<LoginRequest>(QByteArrayView);
extern template Decoded<ChangePasswordRequest> decodeJson<ChangePasswordRequest>(QByteArrayView);
extern template Decoded<UpdateProfileRequest> decodeJson<UpdateProfileRequest>(QByteArrayView);
extern template Decoded<SendMessageRequest> decodeJson<SendMessageRequest>(QByteArrayView);

} // namespace lumora
