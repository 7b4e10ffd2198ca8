#include "core/settings/AppearanceManager.h"

#include "core/settings/PreferenceStore.h"

namespace lumora {

AppearanceManager::AppearanceManager(QObject* parent)
    : QObject(parent) {
    // Damaged or unknown values fall back silently and stay stored until the next choice.
    const QString appearance = PreferenceStore::value(QString::fromLatin1(appearanceKey)).toString();
    m_appearance = fromStoredText<Appearance>(appearance).value_or(Appearance::System);
    const QString connectivity = PreferenceStore::value(QString::fromLatin1(connectivityKey)).toString();
    m_connectivity = fromStoredText<Connectivity>(connectivity).value_or(Connectivity::Cloud);
    m_notifications = PreferenceStore::value(QString::fromLatin1(notificationsKey)).toString() != u"false";
}

void AppearanceManager::setNotifications(bool on) {
    const bool changed = on != m_notifications;
    m_notifications = on;
    PreferenceStore::setValue(QString::fromLatin1(notificationsKey),
                              on ? QStringLiteral("true") : QStringLiteral("false"));
    if (changed)
        Q_EMIT notificationsChanged();
}

void AppearanceManager::setAppearance(Appearance appearance) {
    const bool changed = appearance != m_appearance;
    const QString before = colorScheme();
    m_appearance = appearance;
    PreferenceStore::setValue(QString::fromLatin1(appearanceKey), storedText(appearance));
    if (changed)
        Q_EMIT appearanceChanged();
    emitIfSchemeChanged(before);
}

void AppearanceManager::setConnectivity(Connectivity connectivity) {
    const bool changed = connectivity != m_connectivity;
    m_connectivity = connectivity;
    PreferenceStore::setValue(QString::fromLatin1(connectivityKey), storedText(connectivity));
    if (changed)
        Q_EMIT connectivityChanged();
}

QString AppearanceManager::colorScheme() const {
    const bool dark =
        m_appearance == Appearance::Dark || (m_appearance == Appearance::System && m_systemPrefersDark);
    return dark ? QStringLiteral("dark") : QStringLiteral("light");
}

void AppearanceManager::setSystemPrefersDark(bool dark) {
    const QString before = colorScheme();
    m_systemPrefersDark = dark;
    emitIfSchemeChanged(before);
}

void AppearanceManager::emitIfSchemeChanged(const QString& before) {
    if (colorScheme() != before)
        Q_EMIT colorSchemeChanged();
}

} // namespace lumora
