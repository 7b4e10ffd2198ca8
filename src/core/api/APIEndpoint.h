#pragma once

#include <QByteArray>
#include <QString>

namespace lumora {

// One request the client can make: its method, its path below the base URL, and whether it carries
// the access token.
class APIEndpoint {
public:
    enum class Kind {
        login,
        me,
        changePassword,
        updateProfile,
        conversations,
        messages,
        sendMessage,
        mediaUpload
    };

    static APIEndpoint login() { return APIEndpoint(Kind::login); }
    static APIEndpoint me() { return APIEndpoint(Kind::me); }
    static APIEndpoint changePassword() { return APIEndpoint(Kind::changePassword); }
    static APIEndpoint updateProfile() { return APIEndpoint(Kind::updateProfile); }
    static APIEndpoint conversations() { return APIEndpoint(Kind::conversations); }
    static APIEndpoint messages(QString conversationId) {
        return APIEndpoint(Kind::messages, std::move(conversationId));
    }
    static APIEndpoint sendMessage(QString conversationId) {
        return APIEndpoint(Kind::sendMessage, std::move(conversationId));
    }
    static APIEndpoint mediaUpload() { return APIEndpoint(Kind::mediaUpload); }

    Kind kind() const { return m_kind; }
    QByteArray method() const;
    QString path() const; // the conversation id goes in as given; the URL builder encodes it
    bool requiresAuth() const { return m_kind != Kind::login; }

private:
    explicit APIEndpoint(Kind kind, QString conversationId = {})
        : m_kind(kind)
        , m_conversationId(std::move(conversationId)) {}

    Kind m_kind;
    QString m_conversationId;
};

} // namespace lumora
