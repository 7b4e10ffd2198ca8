#include "core/api/UploadControl.h"

#include <QNetworkReply>

namespace lumora {

void UploadControl::cancel() {
    m_cancelled = true;
    if (m_reply)
        m_reply->abort();
}

void UploadControl::follow(QNetworkReply* reply) {
    m_reply = reply;
    connect(reply, &QNetworkReply::uploadProgress, this, [this](qint64 sent, qint64 total) {
        if (total > 0)
            Q_EMIT progress(sent, total);
    });
    if (m_cancelled)
        reply->abort();
}

} // namespace lumora
