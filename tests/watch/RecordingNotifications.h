#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A notification server (org.freedesktop.Notifications) that records what it is asked, on a connection
// of its own to the session bus, as a separate process's server would be. It also records the launcher
// count signals it sees.
class RecordingNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        uint id = 0;
        uint replaces = 0;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };

    explicit RecordingNotifications(QStringList capabilities)
        : m_capabilities(std::move(capabilities))
        , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("recorder"))) {
        m_bus.registerObject(path(), this, QDBusConnection::ExportAllSlots);
        registered = m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
        m_bus.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                      QStringLiteral("Update"), this, SLOT(onLauncherUpdate(QString, QVariantMap)));
    }
    ~RecordingNotifications() override {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        m_bus.unregisterObject(path());
        QDBusConnection::disconnectFromBus(QStringLiteral("recorder"));
    }

    // As the server does when the user clicks the notification or types a reply into it.
    void invoke(uint id, const QString& action) { emitSignal("ActionInvoked", {id, action}); }
    void reply(uint id, const QString& text) { emitSignal("NotificationReplied", {id, text}); }

    bool registered = false;
    QList<Shown> shown;
    QList<uint> closed;
    QList<QVariantMap> launcher; // the properties of each launcher update
    QString launcherURI;

public Q_SLOTS:
    QStringList GetCapabilities() { return m_capabilities; }
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int) {
        const uint id = replaces ? replaces : ++m_lastId;
        shown.append({id, replaces, summary, body, actions, hints});
        return id;
    }
    void CloseNotification(uint id) { closed.append(id); }

private Q_SLOTS:
    void onLauncherUpdate(const QString& uri, const QVariantMap& properties) {
        launcherURI = uri;
        launcher.append(properties);
    }

private:
    static QString path() { return QStringLiteral("/org/freedesktop/Notifications"); }
    void emitSignal(const char* name, const QVariantList& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(path(), QStringLiteral("org.freedesktop.Notifications"),
                                                         QString::fromLatin1(name));
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

    QStringList m_capabilities;
    QDBusConnection m_bus;
    uint m_lastId = 0;
};
