#include "app/PanelPlacement.h"
#include "app/TrayBadge.h"
#include "core/desktop/SystemColorScheme.h"
#include "core/settings/AppearanceManager.h"
#include "qml/design/IconProvider.h"
#include "qml/design/IconTable.h"
#include "qml/design/IdentityMarks.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QDirIterator>
#include <QRegularExpression>
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

class DesignRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initials_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("extra spaces and a third word") << u"  blue   river  sea "_qs << u"BR"_qs;
        QTest::newRow("one word") << u"amina"_qs << u"A"_qs;
        QTest::newRow("empty") << QString() << u"?"_qs;
        QTest::newRow("spaces only") << u"    "_qs << u"?"_qs;
        QTest::newRow("a tab is not a separator") << u"blue\triver"_qs << u"B"_qs;
        QTest::newRow("full case mapping") << u"\u00DFtra\u00DFe weg"_qs << u"SSW"_qs;
        QTest::newRow("Arabic") << u"\u0623\u0645\u064A\u0646\u0629 \u0633"_qs << u"\u0623\u0633"_qs;
        QTest::newRow("a combining accent stays with its letter") << u"e\u0301mile zola"_qs << u"E\u0301Z"_qs;
        QTest::newRow("an emoji is one character") << u"\U0001F600 smile"_qs << u"\U0001F600S"_qs;
    }

    void initials() {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(lumora::initials(name), expected);
    }

    void flags_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");
        const QString saudi = u"\U0001F1F8\U0001F1E6"_qs;
        const QString white = u"\U0001F3F3\uFE0F"_qs;
        QTest::newRow("lower case") << u"sa"_qs << saudi;
        QTest::newRow("upper case") << u"SA"_qs << saudi;
        QTest::newRow("non-letters dropped") << u"s-a"_qs << saudi;
        QTest::newRow("three letters") << u"usa"_qs << white;
        QTest::newRow("one letter") << u"u"_qs << white;
        QTest::newRow("empty") << QString() << white;
    }

    void flags() {
        QFETCH(QString, code);
        QFETCH(QString, expected);
        QCOMPARE(emojiFlag(code), expected);
    }

    void panelPlacement() {
        const QRect screen(0, 0, 1280, 800);
        const QSize panel(420, 600);
        // Icon in a top bar near the right edge: below it, pushed back onto the screen.
        QCOMPARE(panelPosition(QRect(1250, 2, 20, 20), panel, screen), QPoint(860, 26));
        // Icon in a bottom bar in the middle: above it, centred on it.
        QCOMPARE(panelPosition(QRect(630, 776, 20, 20), panel, screen), QPoint(429, 172));
        // No geometry from the tray host: the top trailing corner, per direction.
        QCOMPARE(panelPosition(QRect(), panel, screen), QPoint(856, 4));
        QCOMPARE(panelPosition(QRect(), panel, screen, true), QPoint(4, 4));
        // A second screen to the right, and a screen smaller than the panel.
        QCOMPARE(panelPosition(QRect(1290, 2, 20, 20), panel, QRect(1280, 0, 1024, 768)), QPoint(1280, 26));
        QCOMPARE(panelPosition(QRect(10, 10, 20, 20), panel, QRect(0, 0, 300, 400)), QPoint(0, 0));
    }

    // The unread count on the tray icon: drawn at every tray size, wider for "99+", nothing for 0.
    void trayBadge() {
        QCOMPARE(badgeText(99), u"99"_qs);
        QCOMPARE(badgeText(100), u"99+"_qs);
        const auto pixels = [](const QImage& image, auto&& test) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    n += test(QColor(image.pixel(x, y)));
            return n;
        };
        const auto red = [](const QColor& c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90; };
        const auto white = [](const QColor& c) { return c.lightness() > 230; };
        for (const int side : {16, 22, 32}) {
            QImage icon(side, side, QImage::Format_ARGB32_Premultiplied);
            icon.fill(QColor(0x0f, 0x6b, 0x63));
            QCOMPARE(withUnreadBadge(icon, 0), icon);
            const QImage three = withUnreadBadge(icon, 3), many = withUnreadBadge(icon, 150);
            QCOMPARE(three.size(), icon.size());
            QCOMPARE(three.pixel(1, 1), icon.pixel(1, 1)); // the icon still shows
            QVERIFY2(pixels(three, red) > side && pixels(three, white) > side / 2,
                     qPrintable(QString::number(side)));
            QVERIFY(pixels(many, red) + pixels(many, white) > pixels(three, red) + pixels(three, white));
        }
    }

    // Every symbol named in the screens resolves to a bundled icon that draws in the asked colour.
    void everyUsedSymbolHasAnIcon() {
        static const QRegularExpression use(QStringLiteral("\\b(?:name|icon|iconName):\\s*\"([a-z0-9.]+)\""));
        QStringList symbols{QStringLiteral("bubble.left.and.bubble.right.fill")}; // the tray icon
        QDirIterator files(QStringLiteral(LUMORA_SOURCE_DIR "/src"), {QStringLiteral("*.qml")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            for (const auto& match : use.globalMatch(QString::fromUtf8(file.readAll())))
                symbols << match.captured(1);
        }
        QVERIFY2(symbols.size() > 5, "the scan found the screens' icons");
        IconProvider provider;
        for (const QString& symbol : symbols) {
            QVERIFY2(!iconResource(symbol).isEmpty(), qPrintable(symbol + u" is not in the icon table"_qs));
            QSize size;
            const QImage image = provider.requestImage(symbol + u"/c45c26"_qs, &size, QSize(32, 32));
            QCOMPARE(size, QSize(32, 32));
            int tinted = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (QColor c = image.pixelColor(x, y); c.alpha() == 255 && c == QColor(0xc4, 0x5c, 0x26))
                        ++tinted;
            QVERIFY2(tinted > 10, qPrintable(symbol + u" draws nothing in the asked colour"_qs));
        }
        QVERIFY(iconResource(u"no.such.symbol"_qs).isEmpty());
    }

    // The desktop's colour scheme, through the portal on the test's private session bus.
    void colorScheme_followsThePortal() {
        // Until a portal appears, the palette decides, without a change to announce.
        SystemColorScheme withoutPortal([] { return true; });
        QSignalSpy fallbackChanges(&withoutPortal, &SystemColorScheme::prefersDarkChanged);
        withoutPortal.start();
        QTest::qWait(200);
        QVERIFY(withoutPortal.prefersDark());
        QCOMPARE(fallbackChanges.size(), 0);

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

    void colorScheme_appearanceGivesTheSchemeInEffect() {
        AppearanceManager appearance;
        appearance.setAppearance(AppearanceMode::System);
        appearance.setSystemPrefersDark(false);
        QSignalSpy changes(&appearance, &AppearanceManager::colorSchemeChanged);
        QCOMPARE(appearance.colorScheme(), u"light"_qs);
        appearance.setSystemPrefersDark(true);
        QCOMPARE(appearance.colorScheme(), u"dark"_qs);
        appearance.setAppearance(AppearanceMode::Dark);
        QCOMPARE(changes.size(), 1); // still dark: no notification
        appearance.setAppearance(AppearanceMode::Light);
        QCOMPARE(appearance.colorScheme(), u"light"_qs);
        appearance.setSystemPrefersDark(false);
        appearance.setSystemPrefersDark(true);
        QCOMPARE(changes.size(), 2); // a chosen scheme ignores the desktop
    }
};

QTEST_MAIN(DesignRulesTest)
#include "tst_design_rules.moc"
