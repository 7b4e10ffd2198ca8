#pragma once

#include <QCoroTask>
#include <QTemporaryDir>
#include <QtGlobal>

// Runs a task to completion on a nested event loop, so the in-process server can answer meanwhile.
template <class T> T await(QCoro::Task<T>&& task) {
    return QCoro::waitFor(std::move(task));
}

// Points the client at `url` the way a user would, through the environment.
inline void useBaseURL(const QString& url) {
    qputenv("LUMORA_API_BASE_URL", url.toUtf8());
}
