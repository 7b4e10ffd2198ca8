// Feeds arbitrary bytes to every reply and request decoder. Beyond crashes and sanitizer reports,
// anything that decodes must survive encodeJson and decode again to the same value: that is what
// the client and the reference service rely on when one reads what the other wrote.

#include "wire/Timestamp.h"
#include "wire/WireDecode.h"
#include "wire/WireEncode.h"
#include "wire/WireRecords.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

namespace {

using namespace lumora;

[[noreturn]] void mismatch(const char* type, const char* what, const QByteArray& encoded) {
    std::fprintf(stderr, "%s: %s\nencoded: %s\n", type, what, encoded.constData());
    __builtin_trap();
}

// Records without operator== are compared field by field, with what the encoder deliberately
// drops or the decoder never reads taken into account.
bool same(const APIErrorBody& a, const APIErrorBody& b) {
    return a.message == b.message && a.statusCode == b.statusCode && a.error == b.error;
}

bool same(const LoginRequest& a, const LoginRequest& b) {
    return a.username == b.username && a.password == b.password;
}

bool same(const ChangePasswordRequest& a, const ChangePasswordRequest& b) {
    return a.currentPassword == b.currentPassword && a.newPassword == b.newPassword;
}

// The encoder leaves out an empty body and an empty attachment list, and never sends
// attachmentName, so those come back empty.
bool same(const SendMessageRequest& decoded, const SendMessageRequest& again) {
    const auto body = decoded.body && !decoded.body->isEmpty() ? decoded.body : std::nullopt;
    const auto attachments =
        decoded.attachments && !decoded.attachments->isEmpty() ? decoded.attachments : std::nullopt;
    return again.body == body && again.attachments == attachments && !again.attachmentName;
}

template <class T> bool same(const T& a, const T& b) {
    return a == b;
}

template <class T> void roundTrip(const T& value, const char* type) {
    const QByteArray encoded = encodeJson(value);
    const auto again = decodeJson<T>(encoded);
    if (!again)
        mismatch(type, qPrintable(QStringLiteral("re-decoding failed: ") + again.error().description),
                 encoded);
    if (!same(value, *again))
        mismatch(type, "re-decoded value differs", encoded);
}

template <class T> Decoded<T> decode(QByteArrayView bytes, const char* type) {
    auto value = decodeJson<T>(bytes);
    if (value)
        roundTrip(*value, type);
    return value;
}

// decodeReply tries the bytes as T first, so it must agree with decodeJson; and a value wrapped
// under "data" must come back unchanged.
template <class T> void decodeReplyOf(QByteArrayView bytes, const Decoded<T>& direct, const char* type) {
    const auto reply = decodeReply<T>(bytes);
    if (direct && (!reply || !(*reply == *direct)))
        mismatch(type, "decodeReply disagrees with decodeJson", bytes.toByteArray());
    if (!reply) {
        // Both attempts failed: the caller is told why the direct one did.
        if (!direct && reply.error().description != direct.error().description)
            mismatch(type, "decodeReply reports another error than the direct attempt", bytes.toByteArray());
        return;
    }
    roundTrip(*reply, type);
    const QByteArray wrapped = "{\"data\":" + encodeJson(*reply) + '}';
    const auto unwrapped = decodeReply<T>(wrapped);
    if (!unwrapped || !(*unwrapped == *reply))
        mismatch(type, "the value under \"data\" did not come back", wrapped);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    const auto user = decode<UserDTO>(bytes, "UserDTO");
    const auto login = decode<LoginResponse>(bytes, "LoginResponse");
    decode<ConversationDTO>(bytes, "ConversationDTO");
    const auto conversations = decode<QList<ConversationDTO>>(bytes, "QList<ConversationDTO>");
    const auto message = decode<MessageDTO>(bytes, "MessageDTO");
    const auto messages = decode<QList<MessageDTO>>(bytes, "QList<MessageDTO>");
    decode<UploadedFileMetaDTO>(bytes, "UploadedFileMetaDTO");
    decode<APIErrorBody>(bytes, "APIErrorBody");
    decode<LoginRequest>(bytes, "LoginRequest");
    decode<ChangePasswordRequest>(bytes, "ChangePasswordRequest");
    decode<UpdateProfileRequest>(bytes, "UpdateProfileRequest");
    decode<SendMessageRequest>(bytes, "SendMessageRequest");

    decodeReplyOf(bytes, user, "reply UserDTO");
    decodeReplyOf(bytes, login, "reply LoginResponse");
    decodeReplyOf(bytes, conversations, "reply QList<ConversationDTO>");
    decodeReplyOf(bytes, message, "reply MessageDTO");
    decodeReplyOf(bytes, messages, "reply QList<MessageDTO>");

    // A timestamp that parses must print as one that parses to the same instant.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto instant = parseTimestamp(text)) {
        const QByteArray printed = formatTimestamp(*instant).toUtf8();
        const auto again = parseTimestamp(std::string_view(printed.constData(), size_t(printed.size())));
        if (!again || *again != *instant)
            mismatch("timestamp", "formatTimestamp output does not parse back", printed);
    }
    return 0;
}
