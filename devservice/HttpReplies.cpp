#include "HttpReplies.h"

#include "wire/WireEncode.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace lumora::devservice {

namespace {

constexpr const char* jsonType = "application/json; charset=utf-8";

void setJson(httplib::Response& res, int status, const QJsonDocument& document) {
    res.status = status;
    res.set_content(document.toJson(QJsonDocument::Compact).toStdString(), jsonType);
}

void addMilliseconds(QJsonObject& object, const QString& key) {
    QString text = object.value(key).toString();
    if (!text.isEmpty() && !text.contains(QLatin1Char('.'))) {
        text.insert(text.size() - 1, QStringLiteral(".000")); // before the 'Z'
        object.insert(key, text);
    }
}

} // namespace

QString statusText(int status) {
    switch (status) {
    case 400:
        return QStringLiteral("Bad Request");
    case 401:
        return QStringLiteral("Unauthorized");
    case 403:
        return QStringLiteral("Forbidden");
    case 404:
        return QStringLiteral("Not Found");
    case 405:
        return QStringLiteral("Method Not Allowed");
    case 408:
        return QStringLiteral("Request Timeout");
    case 409:
        return QStringLiteral("Conflict");
    case 411:
        return QStringLiteral("Length Required");
    case 413:
        return QStringLiteral("Payload Too Large");
    case 415:
        return QStringLiteral("Unsupported Media Type");
    case 416:
        return QStringLiteral("Range Not Satisfiable");
    case 431:
        return QStringLiteral("Request Header Fields Too Large");
    default:
        break;
    }
    return status >= 500 ? QStringLiteral("Internal Server Error") : QStringLiteral("Error");
}

void replyJson(httplib::Response& res, int status, const QJsonValue& value, bool envelope) {
    const QJsonValue body = envelope ? QJsonValue(QJsonObject{{QStringLiteral("data"), value}}) : value;
    setJson(res, status, body.isArray() ? QJsonDocument(body.toArray()) : QJsonDocument(body.toObject()));
}

void replyError(httplib::Response& res, int status, const QString& message) {
    const APIErrorBody body{message, status, statusText(status)};
    setJson(res, status, QJsonDocument(toJson(body)));
}

QJsonObject messageJson(const MessageDTO& message) {
    QJsonObject object = toJson(message);
    addMilliseconds(object, QStringLiteral("createdAt"));
    return object;
}

QJsonObject conversationJson(const ConversationDTO& conversation) {
    QJsonObject object = toJson(conversation);
    if (object.contains(QStringLiteral("lastMessage"))) {
        QJsonObject last = object.value(QStringLiteral("lastMessage")).toObject();
        addMilliseconds(last, QStringLiteral("createdAt"));
        object.insert(QStringLiteral("lastMessage"), last);
    }
    return object;
}

QString requestProblem(const DecodeError& error) {
    // The shared decoder was written for replies and says so; here it reads a request.
    QString text = error.description;
    const QString replyWording = QStringLiteral("The reply is not valid JSON");
    if (text.startsWith(replyWording))
        text.replace(0, replyWording.size(), QStringLiteral("The request body is not valid JSON"));
    return text;
}

std::string printable(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return out;
}

} // namespace lumora::devservice
