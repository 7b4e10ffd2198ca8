#include "core/api/APIClientError.h"

#include "core/settings/TextCatalogue.h"

namespace lumora {

APIClientError APIClientError::http(int status, std::optional<QString> message) {
    return {Kind::Http, status, std::move(message)};
}

APIClientError APIClientError::decoding(QString description) {
    return {Kind::Decoding, 0, std::move(description)};
}

APIClientError APIClientError::transport(QString description) {
    return {Kind::Transport, 0, std::move(description)};
}

APIClientError APIClientError::transportKey(const char* key, std::optional<QString> argument) {
    APIClientError error(Kind::Transport, 0, std::move(argument));
    error.m_textKey = key;
    return error;
}

APIClientError APIClientError::invalidURL() {
    return {Kind::InvalidURL, 0, std::nullopt};
}

APIClientError APIClientError::unauthorized() {
    return {Kind::Unauthorized, 0, std::nullopt};
}

APIClientError APIClientError::emptyBody() {
    return {Kind::EmptyBody, 0, std::nullopt};
}

APIClientError APIClientError::file(QString description, const char* key) {
    APIClientError error(Kind::File, 0, std::move(description));
    error.m_textKey = key;
    return error;
}

APIClientError APIClientError::redirected(QString target) {
    return {Kind::Redirected, 0, std::move(target)};
}

APIClientError APIClientError::insecure(QString host) {
    return {Kind::Insecure, 0, std::move(host)};
}

APIClientError APIClientError::otherService() {
    return {Kind::OtherService, 0, std::nullopt};
}

APIClientError APIClientError::tooLarge(qint64 limitBytes) {
    return {Kind::TooLarge, 0, QString::number(limitBytes / (1024 * 1024))};
}

APIClientError APIClientError::secretStore(QString description) {
    return {Kind::SecretStore, 0, std::move(description)};
}

APIClientError APIClientError::sessionExpired() {
    return {Kind::SessionExpired, 0, std::nullopt};
}

APIClientError APIClientError::addressChanged() {
    return {Kind::AddressChanged, 0, std::nullopt};
}

APIClientError APIClientError::savedForOther(QString savedOrigin, QString currentOrigin) {
    APIClientError error(Kind::SavedForOther, 0, std::move(savedOrigin));
    error.m_currentOrigin = std::move(currentOrigin);
    return error;
}

QString APIClientError::text() const {
    const QString detail = m_message.value_or(QString());
    switch (m_kind) {
    case Kind::Http:
        return m_message ? *m_message : catalogueText("error.status").arg(m_status);
    case Kind::Decoding:
        return catalogueText("error.decoding").arg(detail);
    case Kind::Transport:
        if (m_textKey.isEmpty())
            return detail;
        return m_message ? catalogueText(m_textKey.constData()).arg(detail)
                         : catalogueText(m_textKey.constData());
    case Kind::File:
        return catalogueText(m_textKey.isEmpty() ? "error.fileUnreadable" : m_textKey.constData())
            .arg(detail);
    case Kind::InvalidURL:
        return catalogueText("error.invalidAddress");
    case Kind::Unauthorized:
        return catalogueText("error.sessionExpired");
    case Kind::Redirected:
        return catalogueText("error.redirectedElsewhere").arg(detail);
    case Kind::Insecure:
        return catalogueText("error.insecureTransport").arg(detail);
    case Kind::OtherService:
        return catalogueText("error.otherService");
    case Kind::TooLarge:
        return catalogueText("error.replyTooLarge").arg(detail);
    case Kind::SecretStore:
        return catalogueText("keychain.unavailable").arg(detail);
    case Kind::SessionExpired:
        return catalogueText("session.expired");
    case Kind::AddressChanged:
        return catalogueText("session.addressChanged");
    case Kind::SavedForOther:
        return catalogueText("session.otherService").arg(detail, m_currentOrigin);
    case Kind::EmptyBody:
        break;
    }
    return catalogueText("error.emptyReply");
}

} // namespace lumora
