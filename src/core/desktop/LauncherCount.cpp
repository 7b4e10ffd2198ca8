#include "core/desktop/LauncherCount.h"

#include <QDBusMessage>
#include <QVariantMap>

#include <algorithm>

namespace lumora {

LauncherCount::LauncherCount(const QDBusConnection& bus)
    : m_bus(bus) {}

void LauncherCount::set(std::int64_t count) {
    count = std::max<std::int64_t>(count, 0);
    if (count == m_count || !m_bus.isConnected())
        return;
    m_count = count;
    QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/app/lumora/Lumora/LauncherEntry"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    update << QStringLiteral("application://app.lumora.Lumora.desktop")
           << QVariantMap{{QStringLiteral("count"), qint64(count)},
                          {QStringLiteral("count-visible"), count > 0}};
    m_bus.send(update);
}

} // namespace lumora
