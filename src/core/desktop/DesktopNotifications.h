#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <QCoroTask>

#include <optional>

namespace lumora {

// The desktop's notification server (org.freedesktop.Notifications) over the session bus. Without a
// server every call answers "nothing shown" and nothing else happens.
class DesktopNotifications : public QObject {
    Q_OBJECT

public:
    struct Notification {
        quint32 replaces = 0; // the id of the notification this one takes the place of
        QString summary;      // plain text
        QString body;         // escaped by the caller when the server reads markup
        QStringList actions;  // key, label, key, label, …
        QVariantMap hints;
    };

    static constexpr auto service = "org.freedesktop.Notifications";

    explicit DesktopNotifications(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);

    // The server's id for it, or nothing when no server took it.
    QCoro::Task<std::optional<quint32>> show(Notification notification);
    void close(quint32 id);
    // What the server can do ("body-markup", "inline-reply", …), asked once per server.
    QCoro::Task<QStringList> capabilities();

Q_SIGNALS:
    void actionInvoked(quint32 id, const QString& action);
    void replied(quint32 id, const QString& text);
    void closed(quint32 id);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action) { Q_EMIT actionInvoked(id, action); }
    void onReplied(uint id, const QString& text) { Q_EMIT replied(id, text); }
    void onClosed(uint id, uint /*reason*/) { Q_EMIT closed(id); }

private:
    QDBusConnection m_bus;
    std::optional<QStringList> m_capabilities; // forgotten when the server changes
};

} // namespace lumora
