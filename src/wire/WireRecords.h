#pragma once

#include "wire/Timestamp.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// The service's JSON records, which are also the client's in-memory data model.
// Field order follows the wire documentation; equality compares every field.
namespace lumora {

enum class UserRole { admin, user, moderator };

struct UserDTO {
    QString id;
    QString username;
    std::optional<QString> displayName;
    std::optional<QString> email;
    std::optional<QString> bio;
    std::optional<QString> countryCode;
    UserRole role = UserRole::user;
    bool verified = false;
    bool mustChangePassword = false;
    std::optional<QString> avatarUrl;
    std::optional<Instant> createdAt;
    std::optional<Instant> updatedAt;

    bool operator==(const UserDTO&) const = default;
};

struct PublicUserRefDTO {
    QString id;
    QString username;
    std::optional<QString> displayName;
    std::optional<QString> avatarUrl;
    bool verified = false;

    bool operator==(const PublicUserRefDTO&) const = default;
};

struct AuthTokensDTO {
    QString accessToken;
    std::optional<QString> refreshToken;
    std::optional<QString> tokenType;
    std::optional<std::int64_t> expiresIn;

    bool operator==(const AuthTokensDTO&) const = default;
};

struct LoginRequest {
    QString username;
    QString password;
};

struct LoginResponse {
    AuthTokensDTO tokens;
    UserDTO user;

    bool operator==(const LoginResponse&) const = default;
};

struct ChangePasswordRequest {
    QString currentPassword;
    QString newPassword;
};

struct UpdateProfileRequest {
    std::optional<QString> displayName;
    std::optional<QString> bio;
    std::optional<QString> countryCode;
    std::optional<QString> avatarUrl;
    std::optional<QString> email; // kept in memory only; never sent

    bool operator==(const UpdateProfileRequest&) const = default;
};

struct ConversationMemberDTO {
    QString id;
    QString conversationId;
    QString userId;
    QString role; // free text, not a UserRole
    std::optional<Instant> joinedAt;
    std::optional<PublicUserRefDTO> user;

    bool operator==(const ConversationMemberDTO&) const = default;
};

struct MessageSummaryDTO {
    QString id;
    std::optional<QString> body;
    QString senderId;
    Instant createdAt{};
    std::optional<Instant> deletedAt;

    bool operator==(const MessageSummaryDTO&) const = default;
};

struct ConversationDTO {
    QString id;
    std::optional<QString> type;
    std::optional<QString> title;
    std::optional<QList<ConversationMemberDTO>> members;
    std::optional<UserDTO> peer;
    std::optional<MessageSummaryDTO> lastMessage;
    std::optional<Instant> createdAt;
    Instant updatedAt{};
    std::int64_t unreadCount = 0;

    bool operator==(const ConversationDTO&) const = default;
};

struct AttachmentMetaDTO {
    std::optional<QString> id;
    std::optional<QString> messageId;
    QString url;
    QString mimeType;
    std::int64_t sizeBytes = 0;
    std::optional<QString> fileName;
    std::optional<Instant> createdAt;

    bool operator==(const AttachmentMetaDTO&) const = default;
};

struct UploadedFileMetaDTO {
    QString url;
    QString mimeType;
    std::int64_t sizeBytes = 0;
    QString fileName;

    bool operator==(const UploadedFileMetaDTO&) const = default;
};

struct AttachmentInputDTO {
    QString url;
    QString mimeType;
    std::int64_t sizeBytes = 0;
    std::optional<QString> fileName;

    bool operator==(const AttachmentInputDTO&) const = default;
};

struct MessageDTO {
    QString id;
    QString conversationId;
    QString senderId;
    std::optional<QString> body;
    Instant createdAt{};
    std::optional<Instant> updatedAt;
    std::optional<Instant> deletedAt;
    std::optional<QString> attachmentName;
    std::optional<QList<AttachmentMetaDTO>> attachments;

    bool operator==(const MessageDTO&) const = default;
};

struct SendMessageRequest {
    std::optional<QString> body;
    std::optional<QList<AttachmentInputDTO>> attachments;
    std::optional<QString> attachmentName; // never sent
};

struct APIErrorBody {
    std::optional<QString> message;
    std::optional<std::int64_t> statusCode;
    std::optional<QString> error;
};

// The result of requests whose reply carries no data.
struct EmptyDTO {
    bool operator==(const EmptyDTO&) const = default;
};

QString toString(UserRole role);
std::optional<UserRole> userRoleFromString(QStringView text);

} // namespace lumora
