#include "BoundedReply.h"

#include "prefs/TextCatalogue.h"

#include <QNetworkReply>
#include <QTimer>

namespace lumora {

BoundedReply::BoundedReply(QNetworkReply* reply, qint64 maxBytes,
                           std::optional<std::chrono::milliseconds> deadline)
    : QObject(reply)
    , m_reply(reply)
    , m_maxBytes(maxBytes) {
    connect(reply, &QNetworkReply::metaDataChanged, this, &BoundedReply::checkDeclaredLength);
    connect(reply, &QNetworkReply::readyRead, this, &BoundedReply::readArrived);
    if (deadline) {
        const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(*deadline).count();
        QTimer::singleShot(*deadline, this, [this, minutes] {
            fail(APIClientError::transport(catalogueText("error.deadline").arg(qMax<qint64>(1, minutes))));
        });
    }
}

QByteArray BoundedReply::takeBody() {
    readArrived();
    return std::exchange(m_body, {});
}

void BoundedReply::checkDeclaredLength() {
    bool known = false;
    const qint64 declared = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (known && declared > m_maxBytes)
        fail(APIClientError::tooLarge(m_maxBytes));
}

void BoundedReply::readArrived() {
    if (m_failure || !m_reply->isOpen())
        return;
    m_body += m_reply->readAll();
    if (m_body.size() > m_maxBytes)
        fail(APIClientError::tooLarge(m_maxBytes));
}

void BoundedReply::fail(APIClientError error) {
    if (m_failure)
        return;
    m_failure = std::move(error);
    m_body = QByteArray();
    if (!m_reply->isFinished())
        m_reply->abort();
}

} // namespace lumora
