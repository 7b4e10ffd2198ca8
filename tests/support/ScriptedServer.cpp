#include "ScriptedServer.h"

#include <QTcpSocket>

QByteArray ScriptedServer::Request::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

bool ScriptedServer::Request::hasHeader(const QByteArray& name) const {
    for (const auto& header : headers)
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

ScriptedServer::ScriptedServer(QObject* parent)
    : QObject(parent) {
    answer(Reply{});
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("ScriptedServer cannot listen: %s", qPrintable(m_server.errorString()));
}

QUrl ScriptedServer::url(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

void ScriptedServer::answer(Reply reply) {
    m_handler = [reply](const Request&) { return reply; };
}

void ScriptedServer::answer(int status, QByteArray body, QByteArray contentType) {
    answer(Reply{status, std::move(body), std::move(contentType), false});
}

void ScriptedServer::answerWith(std::function<Reply(const Request&)> handler) {
    m_handler = std::move(handler);
}

void ScriptedServer::serve(QTcpSocket* socket) {
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        buffer->append(socket->readAll());
        // Several requests may arrive on one kept-alive connection.
        for (;;) {
            const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
            Request request;
            const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
            request.method = requestLine.value(0);
            request.target = requestLine.value(1);
            qsizetype contentLength = 0;
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines[i].trimmed();
                const qsizetype colon = line.indexOf(':');
                if (colon <= 0)
                    continue;
                const QByteArray name = line.left(colon).trimmed();
                const QByteArray value = line.mid(colon + 1).trimmed();
                request.headers.append({name, value});
                if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
                    contentLength = value.toLongLong();
            }
            if (buffer->size() < headerEnd + 4 + contentLength)
                return;
            request.body = buffer->mid(headerEnd + 4, contentLength);
            buffer->remove(0, headerEnd + 4 + contentLength);

            m_requests.append(request);
            const Reply reply = m_handler(request);
            Q_EMIT requestReceived();
            if (reply.silent)
                return;
            if (reply.stream) {
                reply.stream(socket);
                return;
            }
            QByteArray response = "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\n";
            if (!reply.contentType.isEmpty())
                response += "Content-Type: " + reply.contentType + "\r\n";
            if (!reply.etag.isEmpty())
                response += "ETag: " + reply.etag + "\r\n";
            response += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n";
            response += reply.body;
            socket->write(response);
        }
    });
}
