#include "APIClientError.h"

#include "prefs/TextCatalogue.h"

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

APIClientError APIClientError::redirected(QString target) {
    return {Kind::redirected, 0, std::move(target)};
}

APIClientError APIClientError::insecure(QString host) {
    return {Kind::insecure, 0, std::move(host)};
}

APIClientError APIClientError::otherService() {
    return {Kind::otherService, 0, std::nullopt};
}

APIClientError APIClientError::tooLarge(qint64 limitBytes) {
    return {Kind::tooLarge, 0, QString::number(limitBytes / (1024 * 1024))};
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
    case Kind::redirected:
        return catalogueText("error.redirectedElsewhere").arg(m_message.value_or(QString()));
    case Kind::insecure:
        return catalogueText("error.insecureTransport").arg(m_message.value_or(QString()));
    case Kind::otherService:
        return catalogueText("error.otherService");
    case Kind::tooLarge:
        return catalogueText("error.replyTooLarge").arg(m_message.value_or(QString()));
    case Kind::emptyBody:
        break;
    }
    return QStringLiteral("Empty response");
}

} // namespace lumora
