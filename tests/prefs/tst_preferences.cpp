#include "core/api/APIClientError.h"
#include "core/settings/AppearanceManager.h"
#include "core/settings/LanguageManager.h"
#include "core/settings/PreferenceStore.h"
#include "core/settings/TextCatalogue.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace lumora;

namespace {

QVariant stored(const char* key) {
    return PreferenceStore::value(QString::fromLatin1(key));
}
void store(const char* key, const QString& value) {
    PreferenceStore::setValue(QString::fromLatin1(key), value);
}

} // namespace

class PreferencesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        for (const char* key : {"appearanceMode", "connectivityMode", "appLanguage"})
            PreferenceStore::remove(QString::fromLatin1(key));
    }

    void freshStoreGivesDefaultsAndWritesNothing() {
        AppearanceManager appearance;
        LanguageManager language;
        QCOMPARE(appearance.appearance(), AppearanceMode::System);
        QCOMPARE(appearance.connectivity(), ConnectivityMode::Cloud);
        QCOMPARE(language.language(), AppLanguage::System);
        QVERIFY(!stored("appearanceMode").isValid());
        QVERIFY(!stored("connectivityMode").isValid());
        QVERIFY(!stored("appLanguage").isValid());
    }

    void damagedValuesFallBackAndStay() {
        store("appearanceMode", QStringLiteral("Dark"));
        store("connectivityMode", QStringLiteral("localmesh"));
        store("appLanguage", QStringLiteral("english"));
        AppearanceManager appearance;
        LanguageManager language;
        QCOMPARE(appearance.appearance(), AppearanceMode::System);
        QCOMPARE(appearance.connectivity(), ConnectivityMode::Cloud);
        QCOMPARE(language.language(), AppLanguage::System);
        QCOMPARE(stored("appearanceMode").toString(), QStringLiteral("Dark"));

        store("appearanceMode", QString());
        QCOMPARE(AppearanceManager().appearance(), AppearanceMode::System);
    }

    void everyAssignmentPersistsOnlyChangesNotify() {
        AppearanceManager appearance;
        QSignalSpy appearanceSpy(&appearance, &AppearanceManager::appearanceChanged);
        QSignalSpy connectivitySpy(&appearance, &AppearanceManager::connectivityChanged);
        appearance.setAppearance(AppearanceMode::System); // equal: written, not announced
        QCOMPARE(appearanceSpy.count(), 0);
        QCOMPARE(stored("appearanceMode").toString(), QStringLiteral("system"));
        appearance.setAppearance(AppearanceMode::Dark);
        appearance.setConnectivity(ConnectivityMode::LocalMesh);
        appearance.setConnectivity(ConnectivityMode::LocalMesh);
        QCOMPARE(appearanceSpy.count(), 1);
        QCOMPARE(connectivitySpy.count(), 1);

        LanguageManager language;
        QSignalSpy languageSpy(&language, &LanguageManager::languageChanged);
        language.setLanguage(AppLanguage::Arabic);
        language.setLanguage(AppLanguage::Arabic);
        QCOMPARE(languageSpy.count(), 1);

        // A new instance (the next start) reads what was chosen.
        QCOMPARE(AppearanceManager().appearance(), AppearanceMode::Dark);
        QCOMPARE(AppearanceManager().connectivity(), ConnectivityMode::LocalMesh);
        QCOMPARE(LanguageManager().language(), AppLanguage::Arabic);
        QCOMPARE(stored("appLanguage").toString(), QStringLiteral("ar"));
    }

    void directionAndTextsFollowTheEffectiveLanguage() {
        QLocale platform(QLocale::Arabic, QLocale::Egypt);
        LanguageManager language(nullptr, [&platform] { return platform; });
        QCOMPARE(language.layoutDirection(), Qt::RightToLeft);
        QCOMPARE(TextCatalogue::languageInUse(), QStringLiteral("ar"));
        const QString arabicInbox = qtTrId("tab.inbox");
        // Errors made now read in the language in use when they are shown.
        const auto timedOut = APIClientError::transportKey("error.timedOut");
        const auto deadline = APIClientError::transportKey("error.deadline", QStringLiteral("2"));
        const QString arabicTimeout = timedOut.text();

        // English chosen on an Arabic system: left to right, and every lookup in English.
        language.setLanguage(AppLanguage::English);
        QCOMPARE(language.layoutDirection(), Qt::LeftToRight);
        QCOMPARE(qtTrId("tab.inbox"), QStringLiteral("Inbox"));
        QVERIFY(arabicInbox != QStringLiteral("Inbox"));
        QVERIFY(arabicInbox.contains(QRegularExpression(QStringLiteral("\\p{Arabic}"))));
        QCOMPARE(timedOut.text(), QStringLiteral("The request timed out."));
        QVERIFY(arabicTimeout.contains(QRegularExpression(QStringLiteral("\\p{Arabic}"))));
        QVERIFY2(deadline.text().contains(u'2') && !deadline.text().contains(u'%'),
                 qPrintable(deadline.text()));

        // Only Arabic turns the layout around; other right-to-left languages do not.
        language.setLanguage(AppLanguage::System);
        platform = QLocale(QLocale::Hebrew);
        QCOMPARE(language.layoutDirection(), Qt::LeftToRight);
        language.applyTextTable();
        QCOMPARE(TextCatalogue::languageInUse(), QStringLiteral("en"));

        QCOMPARE(catalogueText("no.such.key"), QStringLiteral("no.such.key"));
    }
};

QTEST_GUILESS_MAIN(PreferencesTest)
#include "tst_preferences.moc"
