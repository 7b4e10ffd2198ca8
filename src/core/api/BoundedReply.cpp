#include "core/api/BoundedReply.h"

#include <QNetworkReply>
#include <QTimer>

namespace lumora {

BoundedReply::BoundedReply(QNetworkReply* reply, qint64 maxBytes,
                           std::optional<std::chrono::milliseconds> deadline)
    : QObject(reply)
    , m_reply(reply)
    , m_maxBytes(maxBytes) {
    connect(reply, &QNetworkReply::metaDataChanged, this, &BoundedReply::checkDeclaredLength);
    // Counted, not read: Qt keeps what arrives and hands it over in one piece at the end, which costs
    // the interface thread far less than copying it out chunk by chunk.
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 received) {
        if (received > m_maxBytes || m_reply->bytesAvailable() > m_maxBytes)
            fail(APIClientError::tooLarge(m_maxBytes));
    });
    if (deadline) {
        const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(*deadline).count();
        QTimer::singleShot(*deadline, this, [this, minutes] {
            fail(APIClientError::transportKey("error.deadline", QString::number(qMax<qint64>(1, minutes))));
        });
    }
}

QByteArray BoundedReply::takeBody() {
    if (m_failure || !m_reply->isOpen())
        return {};
    QByteArray body = m_reply->readAll();
    if (body.size() > m_maxBytes) {
        fail(APIClientError::tooLarge(m_maxBytes));
        return {};
    }
    return body;
}

void BoundedReply::checkDeclaredLength() {
    bool known = false;
    const qint64 declared = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (known && declared > m_maxBytes)
        fail(APIClientError::tooLarge(m_maxBytes));
}

void BoundedReply::fail(APIClientError error) {
    if (m_failure)
        return;
    m_failure = std::move(error);
    if (!m_reply->isFinished())
        m_reply->abort();
}

} // namespace lumora
