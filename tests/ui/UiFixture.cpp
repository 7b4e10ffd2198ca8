#include "UiFixture.h"

#include "TestSupport.h"
#include "core/conversations/DateTexts.h"
#include "core/settings/PreferenceStore.h"

#include <QBuffer>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTimeZone>

UiFixture::UiFixture(QObject* parent)
    : QObject(parent) {
    useBaseURL(m_server.url().toString());
    m_state = new lumora::AppState(this);
    m_server.answerWith([this](const ScriptedServer::Request& request) -> ScriptedServer::Reply {
        // The scripted fields over the defaults.
        QJsonObject user{
            {u"role"_qs, u"user"_qs}, {u"verified"_qs, false}, {u"mustChangePassword"_qs, false}};
        for (auto field = m_user.cbegin(); field != m_user.cend(); ++field)
            user.insert(field.key(), QJsonValue::fromVariant(field.value()));
        user.insert(QStringLiteral("id"), QStringLiteral("u-1"));
        user.insert(QStringLiteral("username"), QStringLiteral("amina"));
        if (request.target == "/auth/login") {
            const QJsonObject body = QJsonDocument::fromJson(request.body).object();
            if (body.value(QStringLiteral("password")).toString() == QStringLiteral("wrong"))
                return {401, R"({"message":"Wrong username or password"})"};
            const QJsonObject reply{{QStringLiteral("accessToken"), QStringLiteral("token-1")},
                                    {QStringLiteral("user"), user}};
            return {200, QJsonDocument(reply).toJson()};
        }
        if (request.target == "/auth/change-password") {
            const QJsonObject body = QJsonDocument::fromJson(request.body).object();
            if (body.value(QStringLiteral("currentPassword")).toString() == QStringLiteral("wrong"))
                return {400, R"({"message":"Current password is incorrect"})"};
        }
        if (request.target == "/users/me") {
            if (m_profileFails)
                return {500, R"({"message":"Server error"})"};
            const QJsonObject body = QJsonDocument::fromJson(request.body).object();
            for (const QString& key : {u"displayName"_qs, u"bio"_qs, u"countryCode"_qs})
                user.remove(key);
            for (auto field = body.begin(); field != body.end(); ++field)
                user.insert(field.key(), field.value());
            m_user = user.toVariantMap();
            return {200, QJsonDocument(user).toJson()};
        }
        // A picture, and a file that claims to be one.
        if (request.target == "/media/picture.png") {
            QImage picture(600, 300, QImage::Format_RGB32);
            picture.fill(Qt::darkCyan);
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            picture.save(&buffer, "PNG");
            return {200, png, "image/png"};
        }
        if (request.target == "/media/broken.png")
            return {200, QByteArray(3000, 'x'), "image/png"};
        if (request.target == "/conversations")
            return m_inboxFails ? ScriptedServer::Reply{500, R"({"message":"Server error"})"}
                                : ScriptedServer::Reply{200, m_conversations};
        if (request.target.endsWith("/messages") && request.method == "GET")
            return {200, m_messages};
        if (request.target.endsWith("/messages") && request.method == "POST") {
            if (m_sendsFail)
                return {503, R"({"message":"Service unavailable"})"};
            const QJsonObject sent = QJsonDocument::fromJson(request.body).object();
            const QJsonObject message{{QStringLiteral("id"), u"sent-%1"_qs.arg(sendCount())},
                                      {QStringLiteral("conversationId"), QStringLiteral("c-1")},
                                      {QStringLiteral("senderId"), QStringLiteral("u-1")},
                                      {QStringLiteral("body"), sent.value(QStringLiteral("body"))},
                                      {QStringLiteral("createdAt"), QStringLiteral("2026-12-06T10:00:00Z")}};
            return {201, QJsonDocument(message).toJson()};
        }
        return {200, "{}"};
    });
}

void UiFixture::signOut() {
    await(m_state->auth()->logout());
}

void UiFixture::signIn() {
    await(m_state->auth()->login(QStringLiteral("amina"), QStringLiteral("pw")));
}

void UiFixture::scriptConversations(const QVariantList& conversations) {
    m_conversations = QJsonDocument(QJsonArray::fromVariantList(conversations)).toJson();
}

void UiFixture::scriptMessages(const QVariantList& messages) {
    QJsonArray list;
    for (const QVariant& entry : messages) {
        QJsonObject message = QJsonObject::fromVariantMap(entry.toMap());
        message.insert(u"conversationId"_qs, u"c-1"_qs);
        // A minute apart, from 6 December 2026, unless the test says when.
        const QDateTime createdAt(QDate(2026, 12, 6), QTime(0, 0), Qt::UTC);
        if (!message.contains(u"createdAt"_qs))
            message.insert(u"createdAt"_qs, createdAt.addSecs(60 * list.size()).toString(Qt::ISODate));
        list.append(message);
    }
    m_messages = QJsonDocument(list).toJson();
}

int UiFixture::sendCount() const {
    return int(std::count_if(m_server.requests().cbegin(), m_server.requests().cend(), [](const auto& r) {
        return r.method == "POST" && r.target.endsWith("/messages");
    }));
}

void UiFixture::openConversation() {
    lumora::ConversationDTO conversation;
    conversation.id = QStringLiteral("c-1");
    conversation.title = QStringLiteral("Salma");
    m_state->openConversation(conversation);
}

QVariantMap UiFixture::lastRequestTo(const QString& path) const {
    for (auto request = m_server.requests().crbegin(); request != m_server.requests().crend(); ++request)
        if (request->target == path.toUtf8())
            return QJsonDocument::fromJson(request->body).object().toVariantMap();
    return {};
}

void UiFixture::copyImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(image);
}

QSize UiFixture::imageSize(const QUrl& file) const {
    return QImage(file.toLocalFile()).size();
}

int UiFixture::requestCount(const QString& path) const {
    return int(std::count_if(m_server.requests().cbegin(), m_server.requests().cend(),
                             [&](const auto& r) { return r.target == path.toUtf8(); }));
}

QString UiFixture::preference(const QString& key) const {
    return lumora::PreferenceStore::value(key).toString();
}

void UiFixture::setNow(const QString& isoMoment) {
    const QDateTime moment = QDateTime::fromString(isoMoment, Qt::ISODate);
    const QDateTime shown = moment.toTimeZone(QTimeZone(moment.offsetFromUtc()));
    lumora::DateTexts::setClockForTesting([shown] { return shown; });
}

void UiFixture::reset() {
    setNow(u"2026-12-06T12:00:00Z"_qs);
    signOut();
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + u"/Lumora"_qs)
        .removeRecursively();
    m_state->selectTab(lumora::AppState::Tab::Inbox);
    m_state->closeConversation();
    m_state->setShowAdmin(false);
    m_state->language()->setLanguage(lumora::AppLanguage::English);
    m_state->appearance()->setAppearance(lumora::AppearanceMode::Light);
    m_conversations = "[]";
    m_messages = "[]";
    m_sendsFail = false;
    m_inboxFails = false;
    m_profileFails = false;
    lumora::PreferenceStore::remove(QStringLiteral("apiBaseURL"));
    m_state->appearance()->setConnectivity(lumora::ConnectivityMode::Cloud);
    m_user = {{QStringLiteral("displayName"), QStringLiteral("Amina")},
              {QStringLiteral("countryCode"), QStringLiteral("EG")}};
}
