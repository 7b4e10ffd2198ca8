#include "core/desktop/SystemColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace lumora {

namespace {
const auto portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const auto portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const auto settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const auto appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const auto schemeKey = QStringLiteral("color-scheme");

// Read() of the first portal version wraps the value in a second variant.
QVariant unwrap(QVariant value) {
    while (value.canConvert<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}
} // namespace

SystemColorScheme::SystemColorScheme(std::function<bool()> fallbackIsDark, QObject* parent)
    : QObject(parent)
    , m_fallbackIsDark(std::move(fallbackIsDark))
    , m_prefersDark(m_fallbackIsDark()) {}

void SystemColorScheme::start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Taking the whole message: QtDBus will not match a slot with a QDBusVariant argument to "ssv".
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(onSettingChanged(QDBusMessage)));
    QDBusMessage read =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    read << appearanceGroup << schemeKey;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        QDBusPendingReply<QVariant> reply = *call;
        if (!reply.isError())
            apply(reply.value());
    });
}

void SystemColorScheme::onSettingChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() == 3 && arguments[0].toString() == appearanceGroup &&
        arguments[1].toString() == schemeKey)
        apply(arguments[2]);
}

void SystemColorScheme::apply(const QVariant& portalValue) {
    // 1 = prefer dark, 2 = prefer light, 0 = no preference.
    bool ok = false;
    const uint scheme = unwrap(portalValue).toUInt(&ok);
    if (ok && scheme == 1)
        setPrefersDark(true);
    else if (ok && scheme == 2)
        setPrefersDark(false);
    else
        setPrefersDark(m_fallbackIsDark());
}

void SystemColorScheme::setPrefersDark(bool dark) {
    if (dark == m_prefersDark)
        return;
    m_prefersDark = dark;
    Q_EMIT prefersDarkChanged(dark);
}

} // namespace lumora
