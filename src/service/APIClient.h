#pragma once

#include "APIClientError.h"
#include "APIEndpoint.h"
#include "WireRecords.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <QCoroTask>

#include <chrono>
#include <optional>

class QNetworkAccessManager;
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

    // An absent token and the empty string both mean no token.
    void setAccessToken(std::optional<QString> token);
    bool hasAccessToken() const { return !m_accessToken.isEmpty(); }

    // How long a request may stay idle, waiting to connect or for data, before it fails.
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_transferTimeout = timeout; }

    QCoro::Task<APIResult<LoginResponse>> login(QString username, QString password);
    QCoro::Task<APIResult<UserDTO>> me();
    QCoro::Task<APIResult<EmptyDTO>> changePassword(QString current, QString replacement);
    QCoro::Task<APIResult<UserDTO>> updateProfile(UpdateProfileRequest request);
    QCoro::Task<APIResult<QList<ConversationDTO>>> conversations();
    QCoro::Task<APIResult<QList<MessageDTO>>> messages(QString conversationId);
    QCoro::Task<APIResult<MessageDTO>> sendMessage(QString conversationId, std::optional<QString> body,
                                                   std::optional<QList<AttachmentInputDTO>> attachments);
    // Streams the file to the media endpoint. A file that cannot be read fails first, with the file
    // system's own text, before the token is checked.
    QCoro::Task<APIResult<UploadedFileMetaDTO>> uploadFile(QString filePath);

    static constexpr std::chrono::milliseconds defaultTransferTimeout{60000};

private:
    struct Reply {
        int status = 0;
        QByteArray body;
    };

    template <class T>
    QCoro::Task<APIResult<T>> perform(APIEndpoint endpoint, std::optional<QByteArray> body);
    QCoro::Task<APIResult<Reply>> exchange(APIEndpoint endpoint, std::optional<QByteArray> body);
    QCoro::Task<APIResult<Reply>> send(QNetworkRequest request, QByteArray method, QIODevice* body);
    QNetworkRequest newRequest(const QUrl& url) const;

    QNetworkAccessManager* m_network;
    QString m_accessToken;
    std::chrono::milliseconds m_transferTimeout = defaultTransferTimeout;
};

} // namespace lumora
