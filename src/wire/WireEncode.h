#pragma once

#include "wire/WireRecords.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// JSON forms of the records: the request bodies the client sends, and the reply records that the
// reference service sends and the command-line tool prints. Empty optionals are left out.
namespace lumora {

QJsonObject toJson(const UserDTO& user);
QJsonObject toJson(const PublicUserRefDTO& user);
QJsonObject toJson(const AuthTokensDTO& tokens);
QJsonObject toJson(const LoginResponse& response);
QJsonObject toJson(const ConversationMemberDTO& member);
QJsonObject toJson(const MessageSummaryDTO& summary);
QJsonObject toJson(const ConversationDTO& conversation);
QJsonObject toJson(const AttachmentMetaDTO& attachment);
QJsonObject toJson(const UploadedFileMetaDTO& file);
QJsonObject toJson(const MessageDTO& message);
QJsonObject toJson(const APIErrorBody& body);
QJsonObject toJson(const EmptyDTO&);

QJsonObject toJson(const LoginRequest& request);
QJsonObject toJson(const ChangePasswordRequest& request);
QJsonObject toJson(const UpdateProfileRequest& request); // "email" never written
QJsonObject toJson(const AttachmentInputDTO& attachment);
QJsonObject toJson(const SendMessageRequest& request); // empty body and empty list left out

template <class T> QJsonArray toJson(const QList<T>& list) {
    QJsonArray array;
    for (const T& item : list)
        array.append(toJson(item));
    return array;
}

// Compact UTF-8 bytes of a record or a list of records.
template <class T> QByteArray encodeJson(const T& value) {
    return QJsonDocument(toJson(value)).toJson(QJsonDocument::Compact);
}

} // namespace lumora
