#include "UiFixture.h"

#include "TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

UiFixture::UiFixture(QObject* parent)
    : QObject(parent) {
    useBaseURL(m_server.url().toString());
    m_state = new lumora::AppState(this);
    m_server.answerWith([this](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
        QJsonObject user = QJsonObject::fromVariantMap(m_user);
        user.insert(QStringLiteral("id"), QStringLiteral("u-1"));
        user.insert(QStringLiteral("username"), QStringLiteral("amina"));
        for (const auto& [key, value] :
             {std::pair{"role", QJsonValue(QStringLiteral("user"))}, std::pair{"verified", QJsonValue(false)},
              std::pair{"mustChangePassword", QJsonValue(false)}})
            if (!user.contains(QLatin1String(key)))
                user.insert(QLatin1String(key), value);
        if (request.target == "/auth/login") {
            const QJsonObject body = QJsonDocument::fromJson(request.body).object();
            if (body.value(QStringLiteral("password")).toString() == QStringLiteral("wrong"))
                return {401, R"({"message":"Wrong username or password"})"};
            const QJsonObject reply{{QStringLiteral("accessToken"), QStringLiteral("token-1")},
                                    {QStringLiteral("user"), user}};
            return {200, QJsonDocument(reply).toJson()};
        }
        if (request.target == "/me")
            return {200, QJsonDocument(user).toJson()};
        return {200, "{}"};
    });
}

void UiFixture::scriptUser(const QVariantMap& fields) {
    m_user = fields;
}

void UiFixture::signOut() {
    await(m_state->auth()->logout());
}

void UiFixture::openConversation() {
    lumora::ConversationDTO conversation;
    conversation.id = QStringLiteral("c-1");
    conversation.title = QStringLiteral("Salma");
    m_state->openConversation(conversation);
}

QVariantMap UiFixture::lastSignIn() const {
    for (auto request = m_server.requests().crbegin(); request != m_server.requests().crend(); ++request)
        if (request->target == "/auth/login")
            return QJsonDocument::fromJson(request->body).object().toVariantMap();
    return {};
}

void UiFixture::reset() {
    signOut();
    m_state->closeConversation();
    m_state->setShowAdmin(false);
    m_state->language()->setLanguage(lumora::AppLanguage::english);
    m_state->appearance()->setAppearance(lumora::AppearanceMode::light);
    m_user = {{QStringLiteral("displayName"), QStringLiteral("Amina")},
              {QStringLiteral("countryCode"), QStringLiteral("EG")}};
}
