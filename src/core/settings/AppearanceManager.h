#pragma once

#include "core/settings/StoredText.h"

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <optional>
#include <utility>

namespace lumora {

// The window's colour appearance and the connectivity mode, kept in the preference store under
// "appearanceMode" and "connectivityMode" (texts in `storedTexts`). Every assignment is written back; only a
// change notifies.
class AppearanceManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(Appearance appearance READ appearance WRITE setAppearance NOTIFY appearanceChanged)
    Q_PROPERTY(Connectivity connectivity READ connectivity WRITE setConnectivity NOTIFY connectivityChanged)
    // The scheme in effect, "light" or "dark": the stored choice, or the desktop's for `system`.
    Q_PROPERTY(QString colorScheme READ colorScheme NOTIFY colorSchemeChanged)

public:
    enum class Appearance { System, Light, Dark };
    Q_ENUM(Appearance)
    enum class Connectivity { Cloud, LocalMesh };
    Q_ENUM(Connectivity)

    static constexpr auto appearanceKey = "appearanceMode";
    static constexpr auto connectivityKey = "connectivityMode";

    explicit AppearanceManager(QObject* parent = nullptr); // reads both preferences; writes nothing

    Appearance appearance() const { return m_appearance; }
    void setAppearance(Appearance appearance);
    Connectivity connectivity() const { return m_connectivity; }
    void setConnectivity(Connectivity connectivity);

    QString colorScheme() const;
    bool systemPrefersDark() const { return m_systemPrefersDark; }
    void setSystemPrefersDark(bool dark);

Q_SIGNALS:
    void appearanceChanged();
    void connectivityChanged();
    void colorSchemeChanged();

private:
    void emitIfSchemeChanged(const QString& before);

    bool m_systemPrefersDark = false;
    Appearance m_appearance = Appearance::System;
    Connectivity m_connectivity = Connectivity::Cloud;
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
