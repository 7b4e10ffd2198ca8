#pragma once

#include "HttpError.h"
#include "wire/WireDecode.h"
#include "wire/WireRecords.h"

#include <QJsonObject>
#include <QJsonValue>

#include <httplib.h>

namespace lumora::devservice {

QString statusText(int status); // "Bad Request" for 400, ...

// A successful reply; with `envelope` the value goes under "data".
void replyJson(httplib::Response& res, int status, const QJsonValue& value, bool envelope);

// {"statusCode":N,"error":"...","message":"..."}, never enveloped.
void replyError(httplib::Response& res, int status, const QString& message);

// Message times always carry milliseconds, so messages sent within one second keep their order
// for clients that sort by time.
QJsonObject messageJson(const MessageDTO& message);
QJsonObject conversationJson(const ConversationDTO& conversation);

QString requestProblem(const DecodeError& error);

// The body as a T, or HttpError 400 naming the key path that is wrong.
template <class T> T decodeBody(const httplib::Request& req) {
    auto decoded = decodeJson<T>(QByteArrayView(req.body.data(), qsizetype(req.body.size())));
    if (!decoded)
        throw HttpError(400, requestProblem(decoded.error()));
    return std::move(*decoded);
}

// Control characters replaced, so a crafted path cannot forge log lines.
std::string printable(const std::string& text);

} // namespace lumora::devservice
