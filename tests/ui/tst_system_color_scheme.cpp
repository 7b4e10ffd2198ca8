#include "core/settings/AppearanceManager.h"
#include "core/desktop/SystemColorScheme.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QtTest>

using namespace lumora;

namespace {
const auto portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const auto portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const auto appearanceGroup = QStringLiteral("org.freedesktop.appearance");
} // namespace

// The desktop portal's settings interface as desktops publish it, on the test's private bus.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    uint scheme = 1;

    void announce(const QString& group, const QString& key, uint value) {
        scheme = value;
        Q_EMIT SettingChanged(group, key, QDBusVariant(value));
    }

public Q_SLOTS:
    // The first portal version wraps the value in a second variant; the client must unwrap it.
    QDBusVariant Read(const QString& group, const QString& key) {
        if (group != appearanceGroup || key != u"color-scheme"_qs)
            return QDBusVariant(QVariant());
        return QDBusVariant(QVariant::fromValue(QDBusVariant(scheme)));
    }

Q_SIGNALS:
    void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value);
};

class SystemColorSchemeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void followsThePortal() {
        // The portal gets a connection of its own, as a separate process would have.
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"portal"_qs);
        QVERIFY2(bus.isConnected(), "the test runs on a private session bus");
        FakePortal portal;
        QVERIFY(bus.registerService(portalService));
        QVERIFY(bus.registerObject(portalPath, &portal,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));

        bool paletteIsDark = false;
        SystemColorScheme scheme([&] { return paletteIsDark; });
        QVERIFY(!scheme.prefersDark());
        QSignalSpy changes(&scheme, &SystemColorScheme::prefersDarkChanged);
        scheme.start();
        QTRY_VERIFY(scheme.prefersDark());
        QCOMPARE(changes.size(), 1);

        portal.announce(appearanceGroup, u"color-scheme"_qs, 2);
        QTRY_VERIFY(!scheme.prefersDark());
        portal.announce(u"org.gnome.desktop.interface"_qs, u"color-scheme"_qs, 1);
        portal.announce(appearanceGroup, u"accent-color"_qs, 1);
        QTest::qWait(100);
        QVERIFY2(!scheme.prefersDark(), "other settings are ignored");

        // "No preference" hands the decision back to the palette.
        paletteIsDark = true;
        portal.announce(appearanceGroup, u"color-scheme"_qs, 0);
        QTRY_VERIFY(scheme.prefersDark());
        QCOMPARE(changes.size(), 3);

        bus.unregisterObject(portalPath);
        QVERIFY(bus.unregisterService(portalService));
        QDBusConnection::disconnectFromBus(u"portal"_qs);
    }

    void withoutAPortalThePaletteDecides() {
        SystemColorScheme scheme([] { return true; });
        QSignalSpy changes(&scheme, &SystemColorScheme::prefersDarkChanged);
        scheme.start();
        QTest::qWait(200);
        QVERIFY(scheme.prefersDark());
        QCOMPARE(changes.size(), 0);
    }

    void appearanceGivesTheSchemeInEffect() {
        AppearanceManager appearance;
        appearance.setAppearance(AppearanceMode::system);
        appearance.setSystemPrefersDark(false);
        QSignalSpy changes(&appearance, &AppearanceManager::colorSchemeChanged);
        QCOMPARE(appearance.colorScheme(), u"light"_qs);
        appearance.setSystemPrefersDark(true);
        QCOMPARE(appearance.colorScheme(), u"dark"_qs);
        appearance.setAppearance(AppearanceMode::dark);
        QCOMPARE(changes.size(), 1); // still dark: no notification
        appearance.setAppearance(AppearanceMode::light);
        QCOMPARE(appearance.colorScheme(), u"light"_qs);
        appearance.setSystemPrefersDark(false);
        appearance.setSystemPrefersDark(true);
        QCOMPARE(changes.size(), 2); // a chosen scheme ignores the desktop
    }
};

QTEST_MAIN(SystemColorSchemeTest)
#include "tst_system_color_scheme.moc"
