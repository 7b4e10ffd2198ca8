#include "core/desktop/MessageNotifier.h"

#include "core/conversations/DisplayTexts.h"
#include "core/settings/TextCatalogue.h"

#include <QPointer>

namespace lumora {

namespace {
const auto defaultAction = QStringLiteral("default");
const auto replyAction = QStringLiteral("inline-reply");

// A notification is a glimpse: a long message is cut where servers would cut it anyway.
constexpr qsizetype longestBody = 300;

// In a group, who wrote it: the title names the group, not the sender.
std::optional<QString> groupSenderName(const ConversationDTO& conversation) {
    if (!conversation.lastMessage || !conversation.members || conversation.members->size() <= 2)
        return std::nullopt;
    return memberName(conversation, conversation.lastMessage->senderId);
}

QString newestText(const ConversationDTO& conversation) {
    QString body =
        conversation.lastMessage ? conversation.lastMessage->body.value_or(QString()).trimmed() : QString();
    if (body.isEmpty())
        body = catalogueText("notify.noText");
    else if (body.size() > longestBody)
        body = body.left(longestBody) + QChar(0x2026);
    if (const auto sender = groupSenderName(conversation))
        return catalogueText("notify.fromSender").arg(*sender, body);
    return body;
}
} // namespace

MessageNotifier::MessageNotifier(DesktopNotifications* desktop, QObject* parent)
    : QObject(parent)
    , m_desktop(desktop) {
    connect(m_desktop, &DesktopNotifications::actionInvoked, this, [this](quint32 id, const QString& action) {
        const QString conversation = conversationOf(id);
        if (conversation.isEmpty() || action != defaultAction)
            return;
        m_shown.remove(conversation); // servers close a notification once it is activated
        Q_EMIT activated(conversation);
    });
    connect(m_desktop, &DesktopNotifications::replied, this, [this](quint32 id, const QString& text) {
        const QString conversation = conversationOf(id);
        if (!conversation.isEmpty() && !text.trimmed().isEmpty())
            Q_EMIT replied(conversation, text);
    });
    connect(m_desktop, &DesktopNotifications::closed, this, [this](quint32 id) {
        // Dismissed: the next message starts a new count.
        const QString conversation = conversationOf(id);
        if (!conversation.isEmpty())
            m_shown.remove(conversation);
    });
}

void MessageNotifier::setEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        withdrawAll();
}

QCoro::Task<> MessageNotifier::tell(QList<Arrival> arrivals) {
    QPointer<MessageNotifier> self(this);
    for (Arrival& arrival : arrivals) {
        // One at a time, so a second message of the same conversation replaces the first one's.
        auto showing = show(std::move(arrival));
        co_await showing;
        if (!self)
            co_return;
    }
}

QCoro::Task<> MessageNotifier::show(Arrival arrival) {
    const QString conversationId = arrival.conversation.id;
    if (!m_enabled || (m_onScreen && m_onScreen(conversationId)))
        co_return;
    QPointer<MessageNotifier> self(this);
    const quint64 generation = m_generation;
    auto asking = m_desktop->capabilities();
    const QStringList capabilities = co_await asking;
    if (!self || generation != m_generation)
        co_return;

    Shown shown = m_shown.value(conversationId);
    shown.count += arrival.count;
    const std::optional<QString> me =
        m_currentUserId.isEmpty() ? std::nullopt : std::optional(m_currentUserId);
    DesktopNotifications::Notification notification;
    notification.replaces = shown.id;
    notification.summary = displayTitle(arrival.conversation, me);
    QString body = newestText(arrival.conversation);
    if (shown.count > 1)
        body = catalogueText("notify.newMessages", int(std::min<std::int64_t>(shown.count, INT_MAX))) +
               QLatin1Char('\n') + body;
    // Text from the network stays text, also on servers that read markup in the body.
    notification.body = capabilities.contains(QStringLiteral("body-markup")) ? body.toHtmlEscaped() : body;
    notification.actions = {defaultAction, catalogueText("notify.open")};
    if (capabilities.contains(replyAction)) {
        notification.actions << replyAction << catalogueText("notify.reply");
        notification.hints.insert(QStringLiteral("x-kde-reply-placeholder-text"),
                                  catalogueText("notify.replyPlaceholder"));
    }
    notification.hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("app.lumora.Lumora"));
    notification.hints.insert(QStringLiteral("category"), QStringLiteral("im.received"));

    auto showing = m_desktop->show(std::move(notification));
    const std::optional<quint32> id = co_await showing;
    if (!self || !id)
        co_return;
    if (generation != m_generation) {
        m_desktop->close(*id); // withdrawn (sign-out, switched off) while it was on its way
        co_return;
    }
    shown.id = *id;
    m_shown.insert(conversationId, shown);
}

void MessageNotifier::withdraw(const QString& conversationId) {
    const Shown shown = m_shown.take(conversationId);
    m_desktop->close(shown.id);
}

void MessageNotifier::withdrawAll() {
    ++m_generation;
    for (const Shown& shown : std::as_const(m_shown))
        m_desktop->close(shown.id);
    m_shown.clear();
}

QString MessageNotifier::conversationOf(quint32 id) const {
    for (auto it = m_shown.cbegin(); it != m_shown.cend(); ++it) {
        if (it.value().id == id)
            return it.key();
    }
    return QString();
}

} // namespace lumora
