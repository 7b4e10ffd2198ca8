#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <functional>

class QTcpSocket;

// An HTTP/1.1 server on 127.0.0.1 inside the test process. It records every request byte for
// byte and answers as the test says.
class ScriptedServer : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray target; // the request line's path and query, as sent
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;

        QByteArray header(const QByteArray& name) const; // case-insensitive; empty when absent
        bool hasHeader(const QByteArray& name) const;
    };

    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        bool silent = false; // accept the request and never answer
        // When set, writes the answer itself, at its own pace (huge, endless or trickling replies).
        std::function<void(QTcpSocket*)> stream;
        QByteArray etag; // sent as the ETag header when set
    };

    explicit ScriptedServer(QObject* parent = nullptr);

    QUrl url(const QString& path = {}) const; // http://127.0.0.1:PORT + path

    // Answer every request with `reply` (the default is 200 with "{}").
    void answer(Reply reply);
    void answer(int status, QByteArray body, QByteArray contentType = "application/json");
    // Answer each request by calling `handler`.
    void answerWith(std::function<Reply(const Request&)> handler);

    const QList<Request>& requests() const { return m_requests; }

Q_SIGNALS:
    void requestReceived();

private:
    void serve(QTcpSocket* socket);

    QTcpServer m_server;
    QList<Request> m_requests;
    std::function<Reply(const Request&)> m_handler;
};
