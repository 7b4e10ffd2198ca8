#pragma once

#include "core/api/APIClientError.h"

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <optional>

class QNetworkReply;

namespace lumora {

// Watches a reply as it arrives and aborts it once it passes a size limit or a deadline, so a
// hostile or broken service can neither fill the memory nor hold a request open for ever.
// A child of the reply: it goes when the reply goes.
class BoundedReply : public QObject {
    Q_OBJECT

public:
    // `deadline` absent: only the reply's own transfer time-out bounds it (uploads, which progress).
    BoundedReply(QNetworkReply* reply, qint64 maxBytes, std::optional<std::chrono::milliseconds> deadline);

    // Why the reply was aborted, if it was.
    const std::optional<APIClientError>& failure() const { return m_failure; }
    // Everything the reply brought; call once it has finished, then look at `failure` again.
    QByteArray takeBody();

private:
    void checkDeclaredLength();
    void fail(APIClientError error);

    QNetworkReply* m_reply;
    qint64 m_maxBytes;
    std::optional<APIClientError> m_failure;
};

} // namespace lumora
