#include "APIClientError.h"

namespace lumora {

APIClientError APIClientError::http(int status, std::optional<QString> message) {
    return {Kind::http, status, std::move(message)};
}

APIClientError APIClientError::decoding(QString description) {
    return {Kind::decoding, 0, std::move(description)};
}

APIClientError APIClientError::transport(QString description) {
    return {Kind::transport, 0, std::move(description)};
}

APIClientError APIClientError::invalidURL() {
    return {Kind::invalidURL, 0, std::nullopt};
}

APIClientError APIClientError::unauthorized() {
    return {Kind::unauthorized, 0, std::nullopt};
}

APIClientError APIClientError::emptyBody() {
    return {Kind::emptyBody, 0, std::nullopt};
}

APIClientError APIClientError::file(QString description) {
    return {Kind::file, 0, std::move(description)};
}

QString APIClientError::text() const {
    switch (m_kind) {
    case Kind::http:
        return m_message ? *m_message : QStringLiteral("HTTP %1").arg(m_status);
    case Kind::decoding:
        return QStringLiteral("Decoding error: ") + m_message.value_or(QString());
    case Kind::transport:
    case Kind::file:
        return m_message.value_or(QString());
    case Kind::invalidURL:
        return QStringLiteral("Invalid API URL");
    case Kind::unauthorized:
        return QStringLiteral("Session expired. Please sign in again.");
    case Kind::emptyBody:
        break;
    }
    return QStringLiteral("Empty response");
}

} // namespace lumora
