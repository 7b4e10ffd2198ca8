#include "wire/WireDecode.h"

#include <simdjson.h>

#include <QVarLengthArray>

#include <string>
#include <type_traits>
#include <unordered_map>

namespace lumora {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

// One step of the key path, kept on the stack; the path text is built only when decoding fails.
struct Frame {
    const Frame* parent = nullptr;
    std::string_view key;
    qsizetype index = -1; // an array element when not negative
};

QString pathText(const Frame& at) {
    std::string path;
    for (const Frame* f = &at; f && f->parent; f = f->parent) {
        std::string step = f->index >= 0 ? "[" + std::to_string(f->index) + "]" : std::string(f->key);
        if (f->index < 0 && f->parent->parent)
            step.insert(step.begin(), '.');
        path.insert(0, step);
    }
    return path.empty() ? QStringLiteral("the top level") : QString::fromStdString(path);
}

// Thrown inside this file only; the public functions turn it into a DecodeError.
struct Failure {
    QString description;
};

[[noreturn]] void fail(const Frame& at, const QString& problem) {
    throw Failure{problem + QStringLiteral(" (at ") + pathText(at) + QLatin1Char(')')};
}

QString asString(element e, const Frame& at) {
    std::string_view text;
    if (e.get_string().get(text))
        fail(at, QStringLiteral("Expected a string"));
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Identifiers such as a conversation's or a sender's id repeat in every message of a reply; one
// shared QString per distinct text saves an allocation each and the memory of the copies.
thread_local std::unordered_map<std::string_view, QString>* sharedTexts = nullptr;

class SharedTextScope {
public:
    SharedTextScope() { sharedTexts = &m_texts; }
    ~SharedTextScope() { sharedTexts = nullptr; }
    SharedTextScope(const SharedTextScope&) = delete;
    SharedTextScope& operator=(const SharedTextScope&) = delete;

private:
    std::unordered_map<std::string_view, QString> m_texts; // views into the parser's buffer
};

QString asSharedString(element e, const Frame& at) {
    std::string_view text;
    if (e.get_string().get(text))
        fail(at, QStringLiteral("Expected a string"));
    if (!sharedTexts)
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    auto [it, inserted] = sharedTexts->try_emplace(text);
    if (inserted)
        it->second = QString::fromUtf8(text.data(), qsizetype(text.size()));
    return it->second;
}

std::int64_t asInteger(element e, const Frame& at) {
    std::int64_t value;
    if (e.get_int64().get(value))
        fail(at, QStringLiteral("Expected a 64-bit integer"));
    return value;
}

bool asFlag(element e, const Frame& at) {
    bool value;
    if (e.get_bool().get(value))
        fail(at, QStringLiteral("Expected true or false"));
    return value;
}

Instant asInstant(element e, const Frame& at) {
    std::string_view text;
    if (e.get_string().get(text))
        fail(at, QStringLiteral("Expected a date string"));
    if (auto instant = parseTimestamp(text))
        return *instant;
    fail(at, QStringLiteral("Bad date: ") + QString::fromUtf8(text.data(), qsizetype(text.size())));
}

UserRole asRole(element e, const Frame& at) {
    const QString text = asString(e, at);
    if (auto role = userRoleFromString(text))
        return *role;
    fail(at, QStringLiteral("Unknown role \"%1\"").arg(text));
}

template <class Convert> auto asList(element e, const Frame& at, Convert convert) {
    simdjson::dom::array array;
    if (e.get_array().get(array))
        fail(at, QStringLiteral("Expected an array"));
    QList<decltype(convert(e, at))> list;
    list.reserve(qsizetype(array.size()));
    qsizetype index = 0;
    for (element item : array) {
        const Frame child{&at, {}, index++};
        list.append(convert(item, child));
    }
    return list;
}

// The fields of one JSON object, read by key; unknown keys are ignored. The object is walked once
// up front: records look up most of their keys and several are usually absent, which would cost a
// full scan each.
class Fields {
public:
    Fields(element e, const Frame& at)
        : m_at(at) {
        object fields;
        if (e.get_object().get(fields))
            fail(at, QStringLiteral("Expected an object"));
        for (const auto field : fields)
            m_fields.append({field.key, field.value});
    }

    // Absent, null or of the wrong type: the whole record fails.
    template <class Convert> auto required(std::string_view key, Convert convert) const {
        const Frame child{&m_at, key};
        const element* value = find(key);
        if (!value)
            fail(child, QStringLiteral("Missing value"));
        if (value->is_null())
            fail(child, QStringLiteral("Unexpected null"));
        return convert(*value, child);
    }

    // Absent or null gives an empty value; a present value of the wrong type still fails.
    template <class Convert>
    auto optional(std::string_view key, Convert convert) const
        -> std::optional<std::invoke_result_t<Convert, element, const Frame&>> {
        const Frame child{&m_at, key};
        const element* value = find(key);
        if (!value || value->is_null())
            return std::nullopt;
        return convert(*value, child);
    }

    // The raw value under `key`, if present and not null.
    std::optional<element> raw(std::string_view key) const {
        const element* value = find(key);
        if (!value || value->is_null())
            return std::nullopt;
        return *value;
    }

private:
    const element* find(std::string_view key) const {
        for (const auto& [name, value] : m_fields) // the first of repeated keys wins
            if (name == key)
                return &value;
        return nullptr;
    }

    QVarLengthArray<std::pair<std::string_view, element>, 16> m_fields;
    const Frame& m_at;
};

UserDTO asUser(element e, const Frame& at) {
    const Fields f(e, at);
    UserDTO u;
    u.id = f.required("id", asString);
    u.username = f.required("username", asString);
    u.displayName = f.optional("displayName", asString);
    u.email = f.optional("email", asString);
    u.bio = f.optional("bio", asString);
    u.countryCode = f.optional("countryCode", asString);
    u.role = f.required("role", asRole);
    u.verified = f.required("verified", asFlag);
    u.mustChangePassword = f.required("mustChangePassword", asFlag);
    u.avatarUrl = f.optional("avatarUrl", asString);
    u.createdAt = f.optional("createdAt", asInstant);
    u.updatedAt = f.optional("updatedAt", asInstant);
    return u;
}

PublicUserRefDTO asUserRef(element e, const Frame& at) {
    const Fields f(e, at);
    PublicUserRefDTO u;
    u.id = f.required("id", asString);
    u.username = f.required("username", asString);
    u.displayName = f.optional("displayName", asString);
    u.avatarUrl = f.optional("avatarUrl", asString);
    u.verified = f.required("verified", asFlag);
    return u;
}

AuthTokensDTO asTokens(element e, const Frame& at) {
    const Fields f(e, at);
    AuthTokensDTO t;
    t.accessToken = f.required("accessToken", asString);
    t.refreshToken = f.optional("refreshToken", asString);
    t.tokenType = f.optional("tokenType", asString);
    t.expiresIn = f.optional("expiresIn", asInteger);
    return t;
}

// Tokens come nested under "tokens" or, from older services, as flat keys beside "user".
LoginResponse asLoginResponse(element e, const Frame& at) {
    const Fields f(e, at);
    LoginResponse r;
    r.user = f.required("user", asUser);
    if (auto nested = f.optional("tokens", asTokens)) {
        r.tokens = *nested;
    } else {
        r.tokens.accessToken = f.required("accessToken", asString);
        r.tokens.refreshToken = f.optional("refreshToken", asString);
    }
    return r;
}

ConversationMemberDTO asMember(element e, const Frame& at) {
    const Fields f(e, at);
    ConversationMemberDTO m;
    m.id = f.required("id", asString);
    m.conversationId = f.required("conversationId", asSharedString);
    m.userId = f.required("userId", asSharedString);
    m.role = f.required("role", asSharedString);
    m.joinedAt = f.optional("joinedAt", asInstant);
    m.user = f.optional("user", asUserRef);
    return m;
}

MessageSummaryDTO asSummary(element e, const Frame& at) {
    const Fields f(e, at);
    MessageSummaryDTO m;
    m.id = f.required("id", asString);
    m.body = f.optional("body", asString);
    m.senderId = f.required("senderId", asSharedString);
    m.createdAt = f.required("createdAt", asInstant);
    m.deletedAt = f.optional("deletedAt", asInstant);
    return m;
}

ConversationDTO asConversation(element e, const Frame& at) {
    const Fields f(e, at);
    ConversationDTO c;
    c.id = f.required("id", asString);
    c.type = f.optional("type", asString);
    c.title = f.optional("title", asString);
    c.members = f.optional("members", [](element v, const Frame& a) { return asList(v, a, asMember); });
    c.peer = f.optional("peer", asUser);
    c.lastMessage = f.optional("lastMessage", asSummary);
    c.createdAt = f.optional("createdAt", asInstant);
    c.updatedAt = f.required("updatedAt", asInstant);
    c.unreadCount = f.optional("unreadCount", asInteger).value_or(0);
    return c;
}

AttachmentMetaDTO asAttachment(element e, const Frame& at) {
    const Fields f(e, at);
    AttachmentMetaDTO a;
    a.id = f.optional("id", asString);
    a.messageId = f.optional("messageId", asSharedString);
    a.url = f.required("url", asString);
    a.mimeType = f.required("mimeType", asSharedString);
    a.sizeBytes = f.required("sizeBytes", asInteger);
    a.fileName = f.optional("fileName", asString);
    a.createdAt = f.optional("createdAt", asInstant);
    return a;
}

MessageDTO asMessage(element e, const Frame& at) {
    const Fields f(e, at);
    MessageDTO m;
    m.id = f.required("id", asString);
    m.conversationId = f.required("conversationId", asSharedString);
    m.senderId = f.required("senderId", asSharedString);
    m.body = f.optional("body", asString);
    m.createdAt = f.required("createdAt", asInstant);
    m.updatedAt = f.optional("updatedAt", asInstant);
    m.deletedAt = f.optional("deletedAt", asInstant);
    m.attachmentName = f.optional("attachmentName", asString);
    m.attachments =
        f.optional("attachments", [](element v, const Frame& a) { return asList(v, a, asAttachment); });
    return m;
}

UploadedFileMetaDTO asUploadedFile(element e, const Frame& at) {
    const Fields f(e, at);
    UploadedFileMetaDTO u;
    u.url = f.required("url", asString);
    u.mimeType = f.required("mimeType", asString);
    u.sizeBytes = f.required("sizeBytes", asInteger);
    u.fileName = f.required("fileName", asString);
    return u;
}

// "message" is a string or a list of strings; anything else leaves it empty rather than failing.
std::optional<QString> lenientMessage(std::optional<element> value) {
    if (!value)
        return std::nullopt;
    std::string_view text;
    if (!value->get_string().get(text))
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    simdjson::dom::array parts;
    if (value->get_array().get(parts))
        return std::nullopt;
    QStringList joined;
    for (element part : parts) {
        if (part.get_string().get(text))
            return std::nullopt;
        joined.append(QString::fromUtf8(text.data(), qsizetype(text.size())));
    }
    return joined.join(QStringLiteral(", "));
}

APIErrorBody asErrorBody(element e, const Frame& at) {
    const Fields f(e, at);
    APIErrorBody b;
    b.message = lenientMessage(f.raw("message"));
    b.statusCode = f.optional("statusCode", asInteger);
    b.error = f.optional("error", asString);
    return b;
}

LoginRequest asLoginRequest(element e, const Frame& at) {
    const Fields f(e, at);
    return {f.required("username", asString), f.required("password", asString)};
}

ChangePasswordRequest asChangePasswordRequest(element e, const Frame& at) {
    const Fields f(e, at);
    return {f.required("currentPassword", asString), f.required("newPassword", asString)};
}

UpdateProfileRequest asUpdateProfileRequest(element e, const Frame& at) {
    const Fields f(e, at);
    UpdateProfileRequest r;
    r.displayName = f.optional("displayName", asString);
    r.bio = f.optional("bio", asString);
    r.countryCode = f.optional("countryCode", asString);
    r.avatarUrl = f.optional("avatarUrl", asString);
    return r;
}

AttachmentInputDTO asAttachmentInput(element e, const Frame& at) {
    const Fields f(e, at);
    AttachmentInputDTO a;
    a.url = f.required("url", asString);
    a.mimeType = f.required("mimeType", asString);
    a.sizeBytes = f.required("sizeBytes", asInteger);
    a.fileName = f.optional("fileName", asString);
    return a;
}

SendMessageRequest asSendMessageRequest(element e, const Frame& at) {
    const Fields f(e, at);
    SendMessageRequest r;
    r.body = f.optional("body", asString);
    r.attachments =
        f.optional("attachments", [](element v, const Frame& a) { return asList(v, a, asAttachmentInput); });
    return r;
}

template <class T> struct Reader;
template <> struct Reader<UserDTO> { static constexpr auto read = asUser; };
template <> struct Reader<LoginResponse> { static constexpr auto read = asLoginResponse; };
template <> struct Reader<ConversationDTO> { static constexpr auto read = asConversation; };
template <> struct Reader<MessageDTO> { static constexpr auto read = asMessage; };
template <> struct Reader<UploadedFileMetaDTO> { static constexpr auto read = asUploadedFile; };
template <> struct Reader<APIErrorBody> { static constexpr auto read = asErrorBody; };
template <> struct Reader<LoginRequest> { static constexpr auto read = asLoginRequest; };
template <> struct Reader<ChangePasswordRequest> { static constexpr auto read = asChangePasswordRequest; };
template <> struct Reader<UpdateProfileRequest> { static constexpr auto read = asUpdateProfileRequest; };
template <> struct Reader<SendMessageRequest> { static constexpr auto read = asSendMessageRequest; };
template <class T> struct Reader<QList<T>> {
    static QList<T> read(element e, const Frame& at) { return asList(e, at, Reader<T>::read); }
};

// One parser per thread: it keeps its buffers between replies, and large replies are decoded on
// worker threads.
simdjson::dom::parser& threadParser() {
    thread_local simdjson::dom::parser parser;
    return parser;
}

// Buffers grown for a reply above this size are given back once it is decoded: a long chat would
// otherwise pin several times its size per worker thread for the life of the process.
constexpr qsizetype parserBuffersKeptUpTo = 1 << 20;

struct ShrinkParserAfter {
    qsizetype size;
    ~ShrinkParserAfter() {
        if (size > parserBuffersKeptUpTo)
            threadParser() = simdjson::dom::parser{};
    }
};

Decoded<element> parse(QByteArrayView json) {
    const auto invalid = [](simdjson::error_code error) {
        return std::unexpected(DecodeError{QStringLiteral("The reply is not valid JSON: ") +
                                           QString::fromUtf8(simdjson::error_message(error))});
    };
    // An empty body (a 204, or an error with nothing in it) often has a null data pointer, which
    // the parser would hand to memcpy.
    if (json.isEmpty())
        return invalid(simdjson::EMPTY);
    simdjson::dom::parser& parser = threadParser();
    element root;
    if (auto error = parser.parse(json.data(), size_t(json.size())).get(root))
        return invalid(error);
    return root;
}

} // namespace

template <class T> Decoded<T> decodeJson(QByteArrayView json) {
    const ShrinkParserAfter shrink{json.size()}; // outlives every element of the document
    const auto root = parse(json);
    if (!root)
        return std::unexpected(root.error());
    const SharedTextScope sharing;
    try {
        return Reader<T>::read(*root, Frame{});
    } catch (const Failure& failure) {
        return std::unexpected(DecodeError{failure.description});
    }
}

template <class T> Decoded<T> decodeReply(QByteArrayView json) {
    const ShrinkParserAfter shrink{json.size()}; // outlives every element of the document
    const auto root = parse(json);
    if (!root)
        return std::unexpected(root.error());
    const Frame top;
    const SharedTextScope sharing;
    try {
        return Reader<T>::read(*root, top);
    } catch (const Failure& direct) {
        try {
            return Fields(*root, top).required("data", Reader<T>::read);
        } catch (const Failure&) {
            return std::unexpected(DecodeError{direct.description});
        }
    }
}

QString toString(UserRole role) {
    switch (role) {
    case UserRole::admin:
        return QStringLiteral("admin");
    case UserRole::moderator:
        return QStringLiteral("moderator");
    case UserRole::user:
        break;
    }
    return QStringLiteral("user");
}

std::optional<UserRole> userRoleFromString(QStringView text) {
    if (text == u"admin")
        return UserRole::admin;
    if (text == u"user")
        return UserRole::user;
    if (text == u"moderator")
        return UserRole::moderator;
    return std::nullopt;
}

template Decoded<UserDTO> decodeJson<UserDTO>(QByteArrayView);
template Decoded<LoginResponse> decodeJson<LoginResponse>(QByteArrayView);
template Decoded<ConversationDTO> decodeJson<ConversationDTO>(QByteArrayView);
template Decoded<QList<ConversationDTO>> decodeJson<QList<ConversationDTO>>(QByteArrayView);
template Decoded<MessageDTO> decodeJson<MessageDTO>(QByteArrayView);
template Decoded<QList<MessageDTO>> decodeJson<QList<MessageDTO>>(QByteArrayView);
template Decoded<UploadedFileMetaDTO> decodeJson<UploadedFileMetaDTO>(QByteArrayView);
template Decoded<APIErrorBody> decodeJson<APIErrorBody>(QByteArrayView);
template Decoded<LoginRequest> decodeJson<LoginRequest>(QByteArrayView);
template Decoded<ChangePasswordRequest> decodeJson<ChangePasswordRequest>(QByteArrayView);
template Decoded<UpdateProfileRequest> decodeJson<UpdateProfileRequest>(QByteArrayView);
template Decoded<SendMessageRequest> decodeJson<SendMessageRequest>(QByteArrayView);

template Decoded<UserDTO> decodeReply<UserDTO>(QByteArrayView);
template Decoded<LoginResponse> decodeReply<LoginResponse>(QByteArrayView);
template Decoded<QList<ConversationDTO>> decodeReply<QList<ConversationDTO>>(QByteArrayView);
template Decoded<MessageDTO> decodeReply<MessageDTO>(QByteArrayView);
template Decoded<QList<MessageDTO>> decodeReply<QList<MessageDTO>>(QByteArrayView);

} // namespace lumora
