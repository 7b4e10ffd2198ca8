#pragma once

#include "core/api/APIClientError.h"

#include <QCoroTask>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <expected>

// Runs a task to completion on a nested event loop, so the in-process server can answer meanwhile.
template <class T> T await(QCoro::Task<T>&& task) {
    return QCoro::waitFor(std::move(task));
}

// The error's text for a QVERIFY2 message, empty on success: the message is built either way, and
// error() on a result that holds a value is undefined.
template <class T, class E> QString failureText(const std::expected<T, E>& result) {
    return result ? QString() : result.error().text();
}

// The error a result holds; for a result that holds a value, an error no test expects (HTTP status -1).
template <class T> lumora::APIClientError errorOf(const lumora::APIResult<T>& result) {
    return result ? lumora::APIClientError::http(-1, QStringLiteral("<the request succeeded>"))
                  : result.error();
}

// Points the client at `url` the way a user would, through the environment.
inline void useBaseURL(const QString& url) {
    qputenv("LUMORA_API_BASE_URL", url.toUtf8());
}
