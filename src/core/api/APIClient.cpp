#include "core/api/APIClient.h"

#include "core/api/APIConfig.h"
#include "core/api/BoundedReply.h"
#include "core/api/MediaUpload.h"
#include "wire/WireDecode.h"
#include "wire/WireEncode.h"

#include <QBuffer>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QtConcurrent/QtConcurrentRun>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QCoroFuture>
#include <QCoroNetworkReply>

#include <simdjson.h>

#include <memory>

namespace lumora {

namespace {

// Replies above this size are decoded on a worker thread so the interface never stalls on them.
constexpr qsizetype offThreadDecodeThreshold = 64 * 1024;

// A large reply leaves tens of megabytes of freed buffers (the body, the parser's, the replaced
// records) that glibc keeps for the process; a chat polled every 3 seconds would hold on to them.
void releaseFreedMemory(qsizetype replySize) {
#ifdef __GLIBC__
    if (replySize > 1024 * 1024)
        malloc_trim(0);
#else
    Q_UNUSED(replySize);
#endif
}

// g++ 12 may destroy the temporaries of a co_await expression twice, so every awaited task and
// future in this file is started in a statement of its own and then awaited by name.
template <class T> QCoro::Task<Decoded<T>> decodeOffThread(QByteArray body) {
    if (body.size() <= offThreadDecodeThreshold)
        co_return decodeReply<T>(body);
    QFuture<Decoded<T>> decoding = QtConcurrent::run([body] {
        Decoded<T> decoded = decodeReply<T>(body);
        releaseFreedMemory(body.size());
        return decoded;
    });
    co_return co_await decoding;
}

// A reply's record, or why there is none: the one step from body to record for every request.
template <class T> QCoro::Task<APIResult<T>> decodeBody(QByteArray body) {
    if (body.isEmpty())
        co_return std::unexpected(APIClientError::emptyBody());
    auto decoding = decodeOffThread<T>(std::move(body));
    auto decoded = co_await decoding;
    if (!decoded)
        co_return std::unexpected(APIClientError::decoding(decoded.error().description));
    co_return std::move(*decoded);
}

std::optional<QString> messageOf(const QByteArray& body) {
    const auto decoded = decodeJson<APIErrorBody>(body);
    return decoded ? decoded->message : std::nullopt;
}

// The service's own message, else its whole body when that is readable text.
std::optional<QString> failureMessage(const QByteArray& body) {
    if (auto message = messageOf(body))
        return message;
    if (!body.isEmpty() && simdjson::validate_utf8(body.constData(), size_t(body.size())))
        return QString::fromUtf8(body);
    return std::nullopt;
}

bool isSuccess(int status) {
    return status >= 200 && status <= 299;
}

// Why an exchange gave no usable HTTP status, if it did not: errors below 200 are the connection's
// and the proxy's; above, Qt's names for HTTP statuses.
std::optional<APIClientError> transportFailure(const QNetworkReply& reply) {
    const QNetworkReply::NetworkError error = reply.error();
    const bool connectionFailed =
        error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
    if (reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() && !connectionFailed)
        return std::nullopt;
    if (error == QNetworkReply::OperationCanceledError)
        return APIClientError::transportKey("error.timedOut");
    if (error != QNetworkReply::NoError)
        return APIClientError::transport(reply.errorString());
    return APIClientError::transportKey("error.badReply");
}

// "File too large", with the limit when the service's words name one ("… 26214400 bytes", "25 MiB").
APIClientError tooLargeUpload(const QString& serviceMessage) {
    static const QRegularExpression limit(
        QStringLiteral("(\\d+(?:\\.\\d+)?)\\s*(bytes|B|KB|KiB|MB|MiB|GB|GiB)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    const auto match = limit.match(serviceMessage);
    if (!match.hasMatch())
        return APIClientError::file(QString(), "error.fileTooLargeNoLimit");
    static const QHash<QString, double> units{
        {QStringLiteral("bytes"), 1},  {QStringLiteral("b"), 1},           {QStringLiteral("kb"), 1e3},
        {QStringLiteral("kib"), 1024}, {QStringLiteral("mb"), 1e6},        {QStringLiteral("mib"), 1048576},
        {QStringLiteral("gb"), 1e9},   {QStringLiteral("gib"), 1073741824}};
    const qint64 bytes = qint64(match.captured(1).toDouble() * units.value(match.captured(2).toLower(), 1));
    qint64 unit = 1; // the unit formattedDataSize shows it in: whole numbers without decimals
    while (unit * 1024 <= bytes)
        unit *= 1024;
    const int precision = bytes % unit == 0 ? 0 : 1;
    return APIClientError::file(QLocale().formattedDataSize(bytes, precision, QLocale::DataSizeIecFormat),
                                "error.fileTooLarge");
}

} // namespace

APIClient::APIClient(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent)
    , m_network(network ? network : new QNetworkAccessManager(this)) {}

APIClient::~APIClient() = default;

void APIClient::setAccessToken(std::optional<QString> token, QString origin) {
    if (token.value_or(QString()) != m_accessToken)
        m_validators.clear(); // what one session was told is nothing to compare another's replies with
    m_accessToken = token.value_or(QString());
    m_tokenOrigin = origin.isEmpty() ? APIConfig::originOf(APIConfig::baseURL()) : std::move(origin);
}

QNetworkRequest APIClient::newRequest(const QUrl& url) const {
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    request.setRawHeader("Accept", "application/json");
    // Redirects are followed here, only within the origin, so credentials never go elsewhere.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    return request;
}

std::optional<APIClientError> APIClient::authorize(QNetworkRequest& request) {
    if (m_accessToken.isEmpty())
        return APIClientError::unauthorized();
    if (APIConfig::originOf(request.url()) != m_tokenOrigin) {
        reportRefusal(APIClientError::Kind::OtherService);
        return APIClientError::otherService();
    }
    request.setRawHeader("Authorization", "Bearer " + m_accessToken.toUtf8());
    return std::nullopt;
}

std::optional<QString> APIClient::serviceMessage(const QByteArray& body) {
    return failureMessage(body);
}

bool APIClient::addCredentials(QNetworkRequest& request) const {
    if (m_accessToken.isEmpty() || APIConfig::originOf(request.url()) != m_tokenOrigin ||
        !APIConfig::carriesCredentialsSafely(request.url()))
        return false;
    request.setRawHeader("Authorization", "Bearer " + m_accessToken.toUtf8());
    return true;
}

void APIClient::reportRefusal(APIClientError::Kind kind) {
    // Queued: whoever listens may end the session, which must not happen inside the caller's request.
    QMetaObject::invokeMethod(
        this, [this, kind] { Q_EMIT credentialsRefused(kind); }, Qt::QueuedConnection);
}

QCoro::Task<APIResult<APIClient::Reply>> APIClient::send(QNetworkRequest request, QByteArray method,
                                                         BodySource body, bool withDeadline,
                                                         std::function<void(QNetworkReply*)> started) {
    QPointer<APIClient> self(this);
    // Every request carries a password or a token, so none goes out in the clear beyond this machine.
    if (!APIConfig::carriesCredentialsSafely(request.url()))
        co_return std::unexpected(APIClientError::insecure(request.url().host()));
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + m_requestDeadline;
    for (int hop = 0; hop <= maxRedirects; ++hop) {
        QIODevice* device = body ? body() : nullptr;
        std::unique_ptr<QNetworkReply, QScopedPointerDeleteLater> reply(
            m_network->sendCustomRequest(request, method, device));
        if (device)
            device->setParent(reply.get());
        if (started)
            started(reply.get());
        std::optional<std::chrono::milliseconds> remaining;
        if (withDeadline)
            remaining = qMax(std::chrono::milliseconds(0),
                             std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
        auto* bounded = new BoundedReply(reply.get(), m_maxReplyBytes, remaining);
        co_await reply.get();
        if (!self)
            co_return std::unexpected(APIClientError::transportKey("error.clientClosed"));
        QByteArray received = bounded->takeBody();
        if (bounded->failure())
            co_return std::unexpected(*bounded->failure());

        if (auto failure = transportFailure(*reply))
            co_return std::unexpected(*failure);
        const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // Only a request that carried the token can find it refused; a sign-in's 401 is a wrong password.
        if (code == 401 && request.hasRawHeader("Authorization"))
            reportRefusal(APIClientError::Kind::Unauthorized);
        const QByteArray location = reply->rawHeader("Location");
        if (!APIConfig::isRedirect(code) || location.isEmpty())
            co_return Reply{code, std::move(received), reply->rawHeader("ETag")};

        const QUrl target = request.url().resolved(QUrl::fromEncoded(location));
        if (!target.isValid() || APIConfig::originOf(target) != APIConfig::originOf(request.url()))
            co_return std::unexpected(APIClientError::redirected(target.toDisplayString()));
        request.setUrl(target);
        if (code != 307 && code != 308 && method != "GET" && method != "HEAD") {
            // As browsers do: 301, 302 and 303 turn the request into a GET without its body.
            method = QByteArrayLiteral("GET");
            body = nullptr;
            request.setHeader(QNetworkRequest::ContentTypeHeader, QVariant());
            request.setHeader(QNetworkRequest::ContentLengthHeader, QVariant());
        }
    }
    co_return std::unexpected(APIClientError::transportKey("error.tooManyRedirects"));
}

QCoro::Task<APIResult<APIClient::Reply>>
APIClient::exchange(APIEndpoint endpoint, std::optional<QByteArray> body, QByteArray ifNoneMatch) {
    const auto url = APIConfig::requestURL(APIConfig::baseURL(), endpoint.path());
    if (!url)
        co_return std::unexpected(APIClientError::invalidURL());
    QNetworkRequest request = newRequest(*url);
    request.setRawHeader("Content-Type", "application/json");
    if (!ifNoneMatch.isEmpty())
        request.setRawHeader("If-None-Match", ifNoneMatch);
    if (endpoint.requiresAuth()) {
        if (auto refused = authorize(request))
            co_return std::unexpected(*refused);
    }

    BodySource source;
    if (body) {
        source = [data = *body] {
            auto* device = new QBuffer; // owned by the reply once sent
            device->setData(data);
            device->open(QIODevice::ReadOnly);
            return device;
        };
    }
    const QByteArray method = endpoint.method();
    auto sending = send(std::move(request), method, std::move(source), true);
    auto reply = co_await sending;
    if (!reply)
        co_return reply;
    // Nobody is signed in yet at sign-in, so a 401 there is a refusal with the service's own words.
    if (reply->status == 401 && endpoint.kind() != APIEndpoint::Kind::login)
        co_return std::unexpected(APIClientError::unauthorized());
    if (reply->status == 304 && !ifNoneMatch.isEmpty())
        co_return reply; // unchanged: no body to read
    if (!isSuccess(reply->status))
        co_return std::unexpected(APIClientError::http(reply->status, failureMessage(reply->body)));
    co_return reply;
}

template <class T>
QCoro::Task<APIResult<std::optional<T>>> APIClient::fetchList(APIEndpoint endpoint, Ask ask,
                                                              QByteArray keptTag) {
    QPointer<APIClient> self(this);
    const QString key = endpoint.path();
    std::optional<Validator> known;
    if (ask == Ask::IfChanged && m_validators.contains(key))
        known = m_validators.value(key);
    else if (ask == Ask::IfChanged && !keptTag.isEmpty())
        known = Validator{keptTag, 0};
    auto exchanging = exchange(std::move(endpoint), std::nullopt, known ? known->etag : QByteArray());
    auto reply = co_await exchanging;
    if (!reply)
        co_return std::unexpected(reply.error());
    if (reply->status == 304) {
        if (self)
            self->m_validators.insert(key, *known); // the kept list is this client's now
        co_return std::optional<T>();
    }
    // The bytes are hashed only for a service without tags: with one, the tag says it all.
    const QByteArray etag = reply->etag;
    const size_t bodyHash = etag.isEmpty() ? qHash(reply->body) : 0;
    if (known && known->etag.isEmpty() && etag.isEmpty() && known->bodyHash == bodyHash)
        co_return std::optional<T>(); // the same bytes as last time: nothing to decode
    auto decoding = decodeBody<T>(std::move(reply->body));
    auto decoded = co_await decoding;
    if (!decoded)
        co_return std::unexpected(decoded.error());
    if (self)
        self->m_validators.insert(key, Validator{etag, bodyHash});
    co_return std::optional<T>(std::move(*decoded));
}

namespace {

// An unconditional fetch always has a value.
template <class T> APIResult<T> unwrap(APIResult<std::optional<T>> result) {
    if (!result)
        return std::unexpected(result.error());
    return std::move(**result);
}

} // namespace

template <class T>
QCoro::Task<APIResult<T>> APIClient::perform(APIEndpoint endpoint, std::optional<QByteArray> body) {
    auto exchanging = exchange(std::move(endpoint), std::move(body));
    auto reply = co_await exchanging;
    if (!reply)
        co_return std::unexpected(reply.error());
    if constexpr (std::is_same_v<T, EmptyDTO>) {
        co_return EmptyDTO{}; // the body is not looked at
    } else {
        auto decoding = decodeBody<T>(std::move(reply->body));
        co_return co_await decoding;
    }
}

QCoro::Task<APIResult<LoginResponse>> APIClient::login(QString username, QString password) {
    return perform<LoginResponse>(APIEndpoint::login(), encodeJson(LoginRequest{username, password}));
}

QCoro::Task<APIResult<UserDTO>> APIClient::me() {
    return perform<UserDTO>(APIEndpoint::me(), std::nullopt);
}

QCoro::Task<APIResult<EmptyDTO>> APIClient::changePassword(QString current, QString replacement) {
    return perform<EmptyDTO>(APIEndpoint::changePassword(),
                             encodeJson(ChangePasswordRequest{current, replacement}));
}

QCoro::Task<APIResult<UserDTO>> APIClient::updateProfile(UpdateProfileRequest request) {
    return perform<UserDTO>(APIEndpoint::updateProfile(), encodeJson(request));
}

QCoro::Task<APIResult<QList<ConversationDTO>>> APIClient::conversations() {
    auto fetching = fetchList<QList<ConversationDTO>>(APIEndpoint::conversations(), Ask::Whole, {});
    auto fetched = co_await fetching;
    co_return unwrap(std::move(fetched));
}

QCoro::Task<APIResult<QList<MessageDTO>>> APIClient::messages(QString conversationId) {
    auto fetching =
        fetchList<QList<MessageDTO>>(APIEndpoint::messages(std::move(conversationId)), Ask::Whole, {});
    auto fetched = co_await fetching;
    co_return unwrap(std::move(fetched));
}

QCoro::Task<APIResult<std::optional<QList<ConversationDTO>>>> APIClient::conversations(Ask ask,
                                                                                       QByteArray keptTag) {
    return fetchList<QList<ConversationDTO>>(APIEndpoint::conversations(), ask, std::move(keptTag));
}

QCoro::Task<APIResult<std::optional<QList<MessageDTO>>>> APIClient::messages(QString conversationId, Ask ask,
                                                                             QByteArray keptTag) {
    return fetchList<QList<MessageDTO>>(APIEndpoint::messages(std::move(conversationId)), ask,
                                        std::move(keptTag));
}

QCoro::Task<APIResult<MessageDTO>>
APIClient::sendMessage(QString conversationId, std::optional<QString> body,
                       std::optional<QList<AttachmentInputDTO>> attachments) {
    const SendMessageRequest request{std::move(body), std::move(attachments), std::nullopt};
    return perform<MessageDTO>(APIEndpoint::sendMessage(std::move(conversationId)), encodeJson(request));
}

QCoro::Task<APIResult<UploadedFileMetaDTO>> APIClient::uploadFile(QString filePath,
                                                                  QPointer<UploadControl> control) {
    const QByteArray boundary = MediaUpload::newBoundary();
    auto opened = MediaUpload::MultipartBody::open(filePath, boundary);
    if (!opened)
        co_return std::unexpected(opened.error());
    const qint64 size = (*opened)->size();
    const auto url = APIConfig::replacingPath(APIConfig::baseURL(), APIEndpoint::mediaUpload().path());
    if (!url)
        co_return std::unexpected(APIClientError::invalidURL());
    QNetworkRequest request = newRequest(*url);
    request.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary);
    if (auto refused = authorize(request))
        co_return std::unexpected(*refused);
    request.setHeader(QNetworkRequest::ContentLengthHeader, size);

    // The first attempt streams the body already opened; a redirect within the origin opens it again.
    auto first = std::make_shared<std::unique_ptr<QIODevice>>(opened->release());
    BodySource source = [first, filePath, boundary]() -> QIODevice* {
        if (*first)
            return first->release();
        auto again = MediaUpload::MultipartBody::open(filePath, boundary);
        return again ? static_cast<QIODevice*>(again->release()) : nullptr;
    };
    const QByteArray method = QByteArrayLiteral("POST");
    // An upload is bounded by its progress (the transfer time-out), not by a deadline.
    std::function<void(QNetworkReply*)> started;
    if (control)
        started = [control](QNetworkReply* reply) {
            if (control)
                control->follow(reply);
        };
    auto sending = send(std::move(request), method, std::move(source), false, std::move(started));
    auto reply = co_await sending;
    if (control && control->isCancelled())
        co_return std::unexpected(APIClientError::transportKey("error.cancelled"));
    if (!reply)
        co_return std::unexpected(reply.error());
    if (reply->status == 401)
        co_return std::unexpected(APIClientError::unauthorized());
    if (reply->status == 413)
        co_return std::unexpected(tooLargeUpload(messageOf(reply->body).value_or(QString())));
    // Unlike other requests, a failing upload never shows the raw body: it may be an HTML error page.
    if (!isSuccess(reply->status))
        co_return std::unexpected(APIClientError::http(reply->status, messageOf(reply->body)));
    auto decoded = decodeJson<UploadedFileMetaDTO>(reply->body);
    if (!decoded)
        co_return std::unexpected(APIClientError::decoding(decoded.error().description));
    co_return std::move(*decoded);
}

} // namespace lumora
