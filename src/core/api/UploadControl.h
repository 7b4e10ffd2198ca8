#pragma once

#include <QObject>
#include <QPointer>

class QNetworkReply;

namespace lumora {

// Follows and stops one upload: handed to APIClient::uploadFile by whoever shows its progress.
class UploadControl : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Stops the upload now (or before it starts); the upload then fails as "cancelled".
    void cancel();
    bool isCancelled() const { return m_cancelled; }
    // The request carrying the file, as the client sends it (again after a redirect).
    void follow(QNetworkReply* reply);

Q_SIGNALS:
    void progress(qint64 sent, qint64 total);

private:
    QPointer<QNetworkReply> m_reply;
    bool m_cancelled = false;
};

} // namespace lumora
