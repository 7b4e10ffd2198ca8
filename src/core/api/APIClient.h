#pragma once

#include "core/api/APIClientError.h"
#include "core/api/APIEndpoint.h"
#include "core/api/UploadControl.h"
#include "wire/WireRecords.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace lumora {

// Performs every request against the messaging service and turns replies into records or an
// APIClientError. Lives on the interface thread and never blocks it: the network is asynchronous
// and large replies are decoded on a worker thread. It must outlive the requests it has started.
class APIClient : public QObject {
    Q_OBJECT

public:
    // Uses `network` when given (it must outlive the client), else a manager of its own.
    explicit APIClient(QNetworkAccessManager* network = nullptr, QObject* parent = nullptr);
    ~APIClient() override;

    // An absent token and the empty string both mean no token. `origin` ("scheme://host:port", see
    // APIConfig::originOf) is the service that issued it, empty for the base URL in force now; the
    // token is never sent anywhere else.
    void setAccessToken(std::optional<QString> token, QString origin = {});
    bool hasAccessToken() const { return !m_accessToken.isEmpty(); }
    const QString& tokenOrigin() const { return m_tokenOrigin; }

    // How long a request may stay idle, waiting to connect or for data, before it fails.
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_transferTimeout = timeout; }
    // How long a JSON request may take from start to end, however steadily data arrives.
    void setRequestDeadline(std::chrono::milliseconds deadline) { m_requestDeadline = deadline; }
    // The largest reply read; a larger one is refused by its declared length or cut off when reached.
    void setMaxReplyBytes(qint64 bytes) { m_maxReplyBytes = bytes; }

    QCoro::Task<APIResult<LoginResponse>> login(QString username, QString password);
    QCoro::Task<APIResult<UserDTO>> me();
    QCoro::Task<APIResult<EmptyDTO>> changePassword(QString current, QString replacement);
    QCoro::Task<APIResult<UserDTO>> updateProfile(UpdateProfileRequest request);
    QCoro::Task<APIResult<QList<ConversationDTO>>> conversations();
    QCoro::Task<APIResult<QList<MessageDTO>>> messages(QString conversationId);
    // The same lists; `IfChanged` asks with the entity tag of the last one this client received for
    // that URL (or, from a service without tags, compares a hash of its bytes) and gives nothing when it
    // is unchanged, which costs no decoding. Only for the holder of what the last fetch of that URL
    // gave; a new token forgets every tag.
    // `keptTag`: the tag of the same list as kept from an earlier run, asked with when this client has
    // received none for it yet.
    enum class Ask { Whole, IfChanged };
    QCoro::Task<APIResult<std::optional<QList<ConversationDTO>>>> conversations(Ask ask,
                                                                                QByteArray keptTag = {});
    QCoro::Task<APIResult<std::optional<QList<MessageDTO>>>> messages(QString conversationId, Ask ask,
                                                                      QByteArray keptTag = {});
    // The tag of the last list received (or confirmed) from that endpoint; empty when it had none.
    QByteArray lastTag(const APIEndpoint& list) const { return m_validators.value(list.path()).etag; }
    QCoro::Task<APIResult<MessageDTO>> sendMessage(QString conversationId, std::optional<QString> body,
                                                   std::optional<QList<AttachmentInputDTO>> attachments);
    // Streams the file to the media endpoint. A file that cannot be read fails first, with the file
    // system's own text, before the token is checked.
    // `control`, when given, hears its progress and may stop it ("cancelled").
    QCoro::Task<APIResult<UploadedFileMetaDTO>> uploadFile(QString filePath,
                                                           QPointer<UploadControl> control = {});

    // For requests that stream elsewhere than into a record (media downloads).
    QNetworkAccessManager* network() const { return m_network; }
    std::chrono::milliseconds transferTimeout() const { return m_transferTimeout; }
    // Adds the token when the request goes to the origin that issued it, over a connection that may
    // carry it; whether it did. Media of other origins are fetched without it.
    bool addCredentials(QNetworkRequest& request) const;
    // The message of a failing reply's body, when it is the service's error record.
    static std::optional<QString> serviceMessage(const QByteArray& body);

    static constexpr std::chrono::milliseconds defaultTransferTimeout{60000};
    static constexpr std::chrono::milliseconds defaultRequestDeadline{120000};
    // A 10,000-message chat is about 4 MB; long texts and attachment lists stay far below this.
    static constexpr qint64 defaultMaxReplyBytes = 32 * 1024 * 1024;
    static constexpr int maxRedirects = 5;

Q_SIGNALS:
    // A request that would have carried the token was refused: 401 from the service
    // (`unauthorized`), or the service address now belongs to another origin (`otherService`).
    void credentialsRefused(lumora::APIClientError::Kind kind);

private:
    struct Reply {
        int status = 0;
        QByteArray body;
        QByteArray etag;
    };
    // What the last list received from a URL was: its tag, and its bytes' hash.
    struct Validator {
        QByteArray etag;
        size_t bodyHash = 0;
    };

    template <class T>
    QCoro::Task<APIResult<T>> perform(APIEndpoint endpoint, std::optional<QByteArray> body);
    // A list, remembered by its validator; with `IfChanged`, nothing when it matches the last one.
    template <class T>
    QCoro::Task<APIResult<std::optional<T>>> fetchList(APIEndpoint endpoint, Ask ask, QByteArray keptTag);
    QCoro::Task<APIResult<Reply>> exchange(APIEndpoint endpoint, std::optional<QByteArray> body,
                                           QByteArray ifNoneMatch = {});
    // Makes a fresh body for each attempt, since a redirect may have to send it again.
    using BodySource = std::function<QIODevice*()>;
    // `started` hears of each request sent (the first, and one per redirect).
    QCoro::Task<APIResult<Reply>> send(QNetworkRequest request, QByteArray method, BodySource body,
                                       bool withDeadline, std::function<void(QNetworkReply*)> started = {});
    QNetworkRequest newRequest(const QUrl& url) const;
    // Adds the token, or says why this request may not carry it.
    std::optional<APIClientError> authorize(QNetworkRequest& request);
    void reportRefusal(APIClientError::Kind kind);

    QNetworkAccessManager* m_network;
    QString m_accessToken;
    QString m_tokenOrigin;
    std::chrono::milliseconds m_transferTimeout = defaultTransferTimeout;
    std::chrono::milliseconds m_requestDeadline = defaultRequestDeadline;
    qint64 m_maxReplyBytes = defaultMaxReplyBytes;
    QHash<QString, Validator> m_validators; // by request path, for the token in use
};

} // namespace lumora
