#pragma once

#include <QString>

#include <stdexcept>

namespace lumora::devservice {

// A request failure with the status and message the caller should see. Thrown from anywhere a
// request is handled; the route wrapper turns it into the JSON error body.
class HttpError : public std::runtime_error {
public:
    HttpError(int status, const QString& message)
        : std::runtime_error(message.toStdString())
        , m_status(status) {}

    int status() const { return m_status; }
    QString message() const { return QString::fromStdString(what()); }

private:
    int m_status;
};

} // namespace lumora::devservice
