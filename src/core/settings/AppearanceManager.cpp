#include "core/settings/AppearanceManager.h"

#include "core/settings/PreferenceStore.h"

namespace lumora {

QString rawValue(AppearanceMode mode) {
    switch (mode) {
    case AppearanceMode::light:
        return QStringLiteral("light");
    case AppearanceMode::dark:
        return QStringLiteral("dark");
    case AppearanceMode::system:
        break;
    }
    return QStringLiteral("system");
}

QString labelKey(AppearanceMode mode) {
    return QStringLiteral("appearance.") + rawValue(mode);
}

std::optional<AppearanceMode> appearanceModeFromRaw(const QString& raw) {
    for (AppearanceMode mode : allAppearanceModes())
        if (raw == rawValue(mode))
            return mode;
    return std::nullopt;
}

QList<AppearanceMode> allAppearanceModes() {
    return {AppearanceMode::system, AppearanceMode::light, AppearanceMode::dark};
}

QString rawValue(ConnectivityMode mode) {
    return mode == ConnectivityMode::localMesh ? QStringLiteral("localMesh") : QStringLiteral("cloud");
}

QString labelKey(ConnectivityMode mode) {
    return QStringLiteral("connectivity.") + rawValue(mode);
}

std::optional<ConnectivityMode> connectivityModeFromRaw(const QString& raw) {
    for (ConnectivityMode mode : allConnectivityModes())
        if (raw == rawValue(mode))
            return mode;
    return std::nullopt;
}

QList<ConnectivityMode> allConnectivityModes() {
    return {ConnectivityMode::cloud, ConnectivityMode::localMesh};
}

AppearanceManager::AppearanceManager(QObject* parent)
    : QObject(parent) {
    // Damaged or unknown values fall back silently and stay stored until the next choice.
    const QString appearance = PreferenceStore::value(QString::fromLatin1(appearanceKey)).toString();
    m_appearance = appearanceModeFromRaw(appearance).value_or(AppearanceMode::system);
    const QString connectivity = PreferenceStore::value(QString::fromLatin1(connectivityKey)).toString();
    m_connectivity = connectivityModeFromRaw(connectivity).value_or(ConnectivityMode::cloud);
}

void AppearanceManager::setAppearance(Appearance appearance) {
    const bool changed = appearance != m_appearance;
    const QString before = colorScheme();
    m_appearance = appearance;
    PreferenceStore::setValue(QString::fromLatin1(appearanceKey), rawValue(appearance));
    if (changed)
        Q_EMIT appearanceChanged();
    emitIfSchemeChanged(before);
}

void AppearanceManager::setConnectivity(Connectivity connectivity) {
    const bool changed = connectivity != m_connectivity;
    m_connectivity = connectivity;
    PreferenceStore::setValue(QString::fromLatin1(connectivityKey), rawValue(connectivity));
    if (changed)
        Q_EMIT connectivityChanged();
}

QString AppearanceManager::appearanceMode() const {
    return rawValue(m_appearance);
}

void AppearanceManager::setAppearanceMode(const QString& raw) {
    if (const auto mode = appearanceModeFromRaw(raw))
        setAppearance(*mode);
}

QString AppearanceManager::connectivityMode() const {
    return rawValue(m_connectivity);
}

void AppearanceManager::setConnectivityMode(const QString& raw) {
    if (const auto mode = connectivityModeFromRaw(raw))
        setConnectivity(*mode);
}

QString AppearanceManager::colorScheme() const {
    const bool dark =
        m_appearance == Appearance::dark || (m_appearance == Appearance::system && m_systemPrefersDark);
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
