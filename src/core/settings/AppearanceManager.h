#pragma once

#include "core/settings/StoredText.h"

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <optional>
#include <utility>

namespace lumora {

// The window's colour appearance, the connectivity mode and whether new messages raise desktop
// notifications, kept in the preference store under "appearanceMode", "connectivityMode" (texts in
// `storedTexts`) and "notificationsEnabled" ("true" or "false"). Every assignment is written back; only
// a change notifies.
class AppearanceManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(Appearance appearance READ appearance WRITE setAppearance NOTIFY appearanceChanged)
    Q_PROPERTY(Connectivity connectivity READ connectivity WRITE setConnectivity NOTIFY connectivityChanged)
    Q_PROPERTY(bool notifications READ notifications WRITE setNotifications NOTIFY notificationsChanged)
    // The scheme in effect, "light" or "dark": the stored choice, or the desktop's for `system`.
    Q_PROPERTY(QString colorScheme READ colorScheme NOTIFY colorSchemeChanged)

public:
    enum class Appearance { System, Light, Dark };
    Q_ENUM(Appearance)
    enum class Connectivity { Cloud, LocalMesh };
    Q_ENUM(Connectivity)

    static constexpr auto appearanceKey = "appearanceMode";
    static constexpr auto connectivityKey = "connectivityMode";
    static constexpr auto notificationsKey = "notificationsEnabled";

    explicit AppearanceManager(QObject* parent = nullptr); // reads both preferences; writes nothing

    Appearance appearance() const { return m_appearance; }
    void setAppearance(Appearance appearance);
    Connectivity connectivity() const { return m_connectivity; }
    void setConnectivity(Connectivity connectivity);
    bool notifications() const { return m_notifications; } // on unless switched off
    void setNotifications(bool on);

    QString colorScheme() const;
    bool systemPrefersDark() const { return m_systemPrefersDark; }
    void setSystemPrefersDark(bool dark);

Q_SIGNALS:
    void appearanceChanged();
    void connectivityChanged();
    void notificationsChanged();
    void colorSchemeChanged();

private:
    void emitIfSchemeChanged(const QString& before);

    bool m_systemPrefersDark = false;
    Appearance m_appearance = Appearance::System;
    Connectivity m_connectivity = Connectivity::Cloud;
    bool m_notifications = true;
};

using AppearanceMode = AppearanceManager::Appearance;
using ConnectivityMode = AppearanceManager::Connectivity;

// As stored in the settings file.
constexpr std::array<std::pair<AppearanceMode, const char*>, 3> storedTexts(AppearanceMode) {
    return {{{AppearanceMode::System, "system"},
             {AppearanceMode::Light, "light"},
             {AppearanceMode::Dark, "dark"}}};
}
constexpr std::array<std::pair<ConnectivityMode, const char*>, 2> storedTexts(ConnectivityMode) {
    return {{{ConnectivityMode::Cloud, "cloud"}, {ConnectivityMode::LocalMesh, "localMesh"}}};
}

} // namespace lumora
