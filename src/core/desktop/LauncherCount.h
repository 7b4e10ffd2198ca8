#pragma once

#include <QDBusConnection>

#include <cstdint>

namespace lumora {

// The unread count for docks and task managers that show one on the launcher (KDE's task manager,
// dash-to-dock): the com.canonical.Unity.LauncherEntry signal for the client's desktop entry.
class LauncherCount {
public:
    explicit LauncherCount(const QDBusConnection& bus = QDBusConnection::sessionBus());

    // Announces the count; 0 hides it. An unchanged count is not announced again.
    void set(std::int64_t count);

private:
    QDBusConnection m_bus;
    std::int64_t m_count = 0;
};

} // namespace lumora
