#include "core/api/APIEndpoint.h"

namespace lumora {

QByteArray APIEndpoint::method() const {
    switch (m_kind) {
    case Kind::me:
    case Kind::conversations:
    case Kind::messages:
        return QByteArrayLiteral("GET");
    case Kind::updateProfile:
        return QByteArrayLiteral("PATCH");
    case Kind::login:
    case Kind::changePassword:
    case Kind::sendMessage:
    case Kind::mediaUpload:
        break;
    }
    return QByteArrayLiteral("POST");
}

QString APIEndpoint::path() const {
    switch (m_kind) {
    case Kind::login:
        return QStringLiteral("/auth/login");
    case Kind::me:
        return QStringLiteral("/auth/me");
    case Kind::changePassword:
        return QStringLiteral("/auth/change-password");
    case Kind::updateProfile:
        return QStringLiteral("/users/me");
    case Kind::conversations:
        return QStringLiteral("/conversations");
    case Kind::messages:
    case Kind::sendMessage:
        return QStringLiteral("/conversations/") + m_conversationId + QStringLiteral("/messages");
    case Kind::mediaUpload:
        break;
    }
    return QStringLiteral("/media/upload");
}

} // namespace lumora
