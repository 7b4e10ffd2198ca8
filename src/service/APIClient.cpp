#include "APIClient.h"

#include "APIConfig.h"
#include "MediaUpload.h"
#include "WireDecode.h"
#include "WireEncode.h"

#include <QBuffer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
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

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

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

} // namespace

APIClient::APIClient(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent)
    , m_network(network ? network : new QNetworkAccessManager(this)) {}

APIClient::~APIClient() = default;

void APIClient::setAccessToken(std::optional<QString> token) {
    m_accessToken = token.value_or(QString());
}

QNetworkRequest APIClient::newRequest(const QUrl& url) const {
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    request.setRawHeader("Accept", "application/json");
    return request;
}

QCoro::Task<APIResult<APIClient::Reply>> APIClient::send(QNetworkRequest request, QByteArray method,
                                                         QIODevice* body) {
    std::unique_ptr<QNetworkReply, DeleteLater> reply(m_network->sendCustomRequest(request, method, body));
    if (body && !body->parent())
        body->setParent(reply.get());
    co_await reply.get();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // Errors below 200 are the connection's and the proxy's; above, Qt's names for HTTP statuses.
    const bool connectionFailed =
        error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
    if (!status.isValid() || connectionFailed) {
        if (error == QNetworkReply::OperationCanceledError)
            co_return std::unexpected(APIClientError::transport(QStringLiteral("The request timed out.")));
        if (error != QNetworkReply::NoError)
            co_return std::unexpected(APIClientError::transport(reply->errorString()));
        co_return std::unexpected(APIClientError::transport(QStringLiteral("Bad server response")));
    }
    co_return Reply{status.toInt(), reply->readAll()};
}

QCoro::Task<APIResult<APIClient::Reply>> APIClient::exchange(APIEndpoint endpoint,
                                                             std::optional<QByteArray> body) {
    const auto url = APIConfig::requestURL(APIConfig::baseURL(), endpoint.path());
    if (!url)
        co_return std::unexpected(APIClientError::invalidURL());
    QNetworkRequest request = newRequest(*url);
    request.setRawHeader("Content-Type", "application/json");
    if (endpoint.requiresAuth()) {
        if (m_accessToken.isEmpty())
            co_return std::unexpected(APIClientError::unauthorized());
        request.setRawHeader("Authorization", "Bearer " + m_accessToken.toUtf8());
    }

    QBuffer* device = nullptr;
    if (body) {
        device = new QBuffer; // owned by the reply once sent
        device->setData(*body);
        device->open(QIODevice::ReadOnly);
    }
    const QByteArray method = endpoint.method();
    auto sending = send(std::move(request), method, device);
    auto reply = co_await sending;
    if (!reply)
        co_return reply;
    // Nobody is signed in yet at sign-in, so a 401 there is a refusal with the service's own words.
    if (reply->status == 401 && endpoint.kind() != APIEndpoint::Kind::login)
        co_return std::unexpected(APIClientError::unauthorized());
    if (!isSuccess(reply->status))
        co_return std::unexpected(APIClientError::http(reply->status, failureMessage(reply->body)));
    co_return reply;
}

template <class T>
QCoro::Task<APIResult<T>> APIClient::perform(APIEndpoint endpoint, std::optional<QByteArray> body) {
    auto exchanging = exchange(std::move(endpoint), std::move(body));
    auto reply = co_await exchanging;
    if (!reply)
        co_return std::unexpected(reply.error());
    if constexpr (std::is_same_v<T, EmptyDTO>) {
        co_return EmptyDTO{}; // the body is not looked at
    } else {
        if (reply->body.isEmpty())
            co_return std::unexpected(APIClientError::emptyBody());
        auto decoding = decodeOffThread<T>(std::move(reply->body));
        auto decoded = co_await decoding;
        if (!decoded)
            co_return std::unexpected(APIClientError::decoding(decoded.error().description));
        co_return std::move(*decoded);
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
    return perform<QList<ConversationDTO>>(APIEndpoint::conversations(), std::nullopt);
}

QCoro::Task<APIResult<QList<MessageDTO>>> APIClient::messages(QString conversationId) {
    return perform<QList<MessageDTO>>(APIEndpoint::messages(std::move(conversationId)), std::nullopt);
}

QCoro::Task<APIResult<MessageDTO>>
APIClient::sendMessage(QString conversationId, std::optional<QString> body,
                       std::optional<QList<AttachmentInputDTO>> attachments) {
    const SendMessageRequest request{std::move(body), std::move(attachments), std::nullopt};
    return perform<MessageDTO>(APIEndpoint::sendMessage(std::move(conversationId)), encodeJson(request));
}

QCoro::Task<APIResult<UploadedFileMetaDTO>> APIClient::uploadFile(QString filePath) {
    const QByteArray boundary = MediaUpload::newBoundary();
    auto body = MediaUpload::MultipartBody::open(filePath, boundary);
    if (!body)
        co_return std::unexpected(APIClientError::file(body.error()));
    const auto url = APIConfig::replacingPath(APIConfig::baseURL(), APIEndpoint::mediaUpload().path());
    if (!url)
        co_return std::unexpected(APIClientError::invalidURL());
    QNetworkRequest request = newRequest(*url);
    request.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary);
    if (m_accessToken.isEmpty())
        co_return std::unexpected(APIClientError::unauthorized());
    request.setRawHeader("Authorization", "Bearer " + m_accessToken.toUtf8());
    request.setHeader(QNetworkRequest::ContentLengthHeader, (*body)->size());

    const QByteArray method = QByteArrayLiteral("POST");
    QIODevice* device = body->release();
    auto sending = send(std::move(request), method, device);
    auto reply = co_await sending;
    if (!reply)
        co_return std::unexpected(reply.error());
    if (reply->status == 401)
        co_return std::unexpected(APIClientError::unauthorized());
    // Unlike other requests, a failing upload never shows the raw body: it may be an HTML error page.
    if (!isSuccess(reply->status))
        co_return std::unexpected(APIClientError::http(reply->status, messageOf(reply->body)));
    auto decoded = decodeJson<UploadedFileMetaDTO>(reply->body);
    if (!decoded)
        co_return std::unexpected(APIClientError::decoding(decoded.error().description));
    co_return std::move(*decoded);
}

} // namespace lumora
