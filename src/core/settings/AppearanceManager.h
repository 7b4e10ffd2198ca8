#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace lumora {

// The window's colour appearance and the connectivity mode, kept in the preference store under
// "appearanceMode" and "connectivityMode". Every assignment is written back; only a change notifies.
class AppearanceManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(Appearance appearance READ appearance WRITE setAppearance NOTIFY appearanceChanged)
    Q_PROPERTY(Connectivity connectivity READ connectivity WRITE setConnectivity NOTIFY connectivityChanged)
    // The same choices as their stored texts ("system", "light", "dark"; "cloud", "localMesh"), for
    // QML, which cannot name lower-case enumeration values. Unknown texts are ignored.
    Q_PROPERTY(QString appearanceMode READ appearanceMode WRITE setAppearanceMode NOTIFY appearanceChanged)
    Q_PROPERTY(
        QString connectivityMode READ connectivityMode WRITE setConnectivityMode NOTIFY connectivityChanged)
    // The scheme in effect, "light" or "dark": the stored choice, or the desktop's for `system`.
    Q_PROPERTY(QString colorScheme READ colorScheme NOTIFY colorSchemeChanged)

public:
    enum class Appearance { system, light, dark };
    Q_ENUM(Appearance)
    enum class Connectivity { cloud, localMesh };
    Q_ENUM(Connectivity)

    static constexpr auto appearanceKey = "appearanceMode";
    static constexpr auto connectivityKey = "connectivityMode";

    explicit AppearanceManager(QObject* parent = nullptr); // reads both preferences; writes nothing

    Appearance appearance() const { return m_appearance; }
    void setAppearance(Appearance appearance);
    Connectivity connectivity() const { return m_connectivity; }
    void setConnectivity(Connectivity connectivity);

    QString appearanceMode() const;
    void setAppearanceMode(const QString& raw);
    QString connectivityMode() const;
    void setConnectivityMode(const QString& raw);

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
    Appearance m_appearance = Appearance::system;
    Connectivity m_connectivity = Connectivity::cloud;
};

using AppearanceMode = AppearanceManager::Appearance;
using ConnectivityMode = AppearanceManager::Connectivity;

QString rawValue(AppearanceMode mode);
QString labelKey(AppearanceMode mode);
std::optional<AppearanceMode> appearanceModeFromRaw(const QString& raw);
QList<AppearanceMode> allAppearanceModes();

QString rawValue(ConnectivityMode mode);
QString labelKey(ConnectivityMode mode);
std::optional<ConnectivityMode> connectivityModeFromRaw(const QString& raw);
QList<ConnectivityMode> allConnectivityModes();

} // namespace lumora
