#include "core/desktop/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QPointer>

#include <QCoroDBus>

namespace lumora {

namespace {
const auto path = QStringLiteral("/org/freedesktop/Notifications");
const auto interface = QStringLiteral("org.freedesktop.Notifications");
// A server that does not answer within this is treated as absent; the message is not lost (the tray
// count still tells it).
constexpr int callTimeoutMs = 5000;

QString serviceName() {
    return QString::fromLatin1(DesktopNotifications::service);
}

QDBusMessage call(const QString& method) {
    return QDBusMessage::createMethodCall(serviceName(), path, interface, method);
}
} // namespace

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus) {
    if (!m_bus.isConnected())
        return;
    m_bus.connect(serviceName(), path, interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(serviceName(), path, interface, QStringLiteral("NotificationReplied"), this,
                  SLOT(onReplied(uint, QString)));
    m_bus.connect(serviceName(), path, interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onClosed(uint, uint)));
    auto* watcher =
        new QDBusServiceWatcher(serviceName(), m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] { m_capabilities.reset(); });
}

QCoro::Task<QStringList> DesktopNotifications::capabilities() {
    // Returned as copies: QCoro's promise moves from any non-const lvalue it is handed.
    if (m_capabilities)
        co_return QStringList(*m_capabilities);
    if (!m_bus.isConnected())
        co_return QStringList();
    QPointer<DesktopNotifications> self(this);
    QDBusPendingCall asking = m_bus.asyncCall(call(QStringLiteral("GetCapabilities")), callTimeoutMs);
    const QDBusMessage reply = co_await asking;
    if (!self)
        co_return QStringList();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return QStringList(); // no server now; ask again next time
    m_capabilities = reply.arguments().constFirst().toStringList();
    co_return QStringList(*m_capabilities);
}

QCoro::Task<std::optional<quint32>> DesktopNotifications::show(Notification notification) {
    if (!m_bus.isConnected())
        co_return std::nullopt;
    QDBusMessage notify = call(QStringLiteral("Notify"));
    notify << QStringLiteral("Lumora") << notification.replaces << QStringLiteral("app.lumora.Lumora")
           << notification.summary << notification.body << notification.actions << notification.hints
           << qint32(-1);
    QDBusPendingCall showing = m_bus.asyncCall(notify, callTimeoutMs);
    const QDBusMessage reply = co_await showing; // touches nothing of this object after it
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return std::nullopt;
    co_return reply.arguments().constFirst().toUInt();
}

void DesktopNotifications::close(quint32 id) {
    if (!m_bus.isConnected() || id == 0)
        return;
    QDBusMessage closing = call(QStringLiteral("CloseNotification"));
    closing << id;
    m_bus.asyncCall(closing, callTimeoutMs); // nobody waits for it
}

} // namespace lumora
