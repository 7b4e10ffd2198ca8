#pragma once

#include <QDBusMessage>
#include <QObject>

#include <functional>

namespace lumora {

// Whether the desktop prefers a dark look. Qt 6.4 cannot tell, so this asks the XDG desktop portal
// ("org.freedesktop.appearance" / "color-scheme") and follows its SettingChanged signal. Without a
// portal, or when the desktop states no preference, `fallbackIsDark` decides (the palette's lightness).
class SystemColorScheme : public QObject {
    Q_OBJECT

public:
    explicit SystemColorScheme(std::function<bool()> fallbackIsDark, QObject* parent = nullptr);

    // Asks the portal once and starts listening; until the answer arrives the fallback holds.
    void start();
    bool prefersDark() const { return m_prefersDark; }

Q_SIGNALS:
    void prefersDarkChanged(bool dark);

private Q_SLOTS:
    void onSettingChanged(const QDBusMessage& message);

private:
    void apply(const QVariant& portalValue);
    void setPrefersDark(bool dark);

    std::function<bool()> m_fallbackIsDark;
    bool m_prefersDark = false;
};

} // namespace lumora
