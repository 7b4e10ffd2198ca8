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

const char* const keys[] = {"appearanceMode", "connectivityMode", "appLanguage"};

QVariant stored(const char* key) {
    return PreferenceStore::value(QString::fromLatin1(key));
}

bool isArabic(const QString& text) {
    return text.contains(QRegularExpression(u"\\p{Arabic}"_qs));
}

} // namespace

class PreferencesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        for (const char* key : keys)
            PreferenceStore::remove(QString::fromLatin1(key));
    }

    void missingOrDamagedValuesFallBackAndStay_data() {
        QTest::addColumn<QStringList>("texts"); // for appearance, connectivity and language in turn
        QTest::newRow("missing") << QStringList();
        QTest::newRow("empty") << QStringList{QString(), QString(), QString()};
        QTest::newRow("misspelt") << QStringList{u"Dark"_qs, u"localmesh"_qs, u"english"_qs};
    }

    void missingOrDamagedValuesFallBackAndStay() {
        QFETCH(QStringList, texts);
        for (qsizetype i = 0; i < texts.size(); ++i)
            PreferenceStore::setValue(QString::fromLatin1(keys[i]), texts.at(i));
        AppearanceManager appearance;
        LanguageManager language;
        QCOMPARE(appearance.appearance(), AppearanceMode::System);
        QCOMPARE(appearance.connectivity(), ConnectivityMode::Cloud);
        QCOMPARE(language.language(), AppLanguage::System);
        for (qsizetype i = 0; i < 3; ++i) // reading writes nothing back
            QCOMPARE(stored(keys[i]), texts.isEmpty() ? QVariant() : QVariant(texts.at(i)));
    }

    void everyAssignmentPersistsOnlyChangesNotify() {
        AppearanceManager appearance;
        QSignalSpy appearanceSpy(&appearance, &AppearanceManager::appearanceChanged);
        QSignalSpy connectivitySpy(&appearance, &AppearanceManager::connectivityChanged);
        appearance.setAppearance(AppearanceMode::System); // equal: written, not announced
        QCOMPARE(appearanceSpy.count(), 0);
        QCOMPARE(stored("appearanceMode").toString(), u"system"_qs);
        appearance.setAppearance(AppearanceMode::Light);
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
        QCOMPARE(AppearanceManager().appearance(), AppearanceMode::Light);
        QCOMPARE(AppearanceManager().connectivity(), ConnectivityMode::LocalMesh);
        QCOMPARE(LanguageManager().language(), AppLanguage::Arabic);
        // Exactly these texts: other builds and older versions read the same file.
        QCOMPARE(stored("appearanceMode").toString(), u"light"_qs);
        QCOMPARE(stored("connectivityMode").toString(), u"localMesh"_qs);
        QCOMPARE(stored("appLanguage").toString(), u"ar"_qs);
    }

    void directionAndTextsFollowTheEffectiveLanguage() {
        QLocale platform(QLocale::Arabic, QLocale::Egypt);
        LanguageManager language(nullptr, [&platform] { return platform; });
        QCOMPARE(language.layoutDirection(), Qt::RightToLeft);
        QCOMPARE(TextCatalogue::languageInUse(), u"ar"_qs);
        const QString arabicInbox = qtTrId("tab.inbox");
        // Errors made now read in the language in use when they are shown.
        const auto timedOut = APIClientError::transportKey("error.timedOut");
        const auto deadline = APIClientError::transportKey("error.deadline", u"2"_qs);
        const QString arabicTimeout = timedOut.text();

        // English chosen on an Arabic system: left to right, and every lookup in English.
        language.setLanguage(AppLanguage::English);
        QCOMPARE(language.layoutDirection(), Qt::LeftToRight);
        QCOMPARE(qtTrId("tab.inbox"), u"Inbox"_qs);
        QVERIFY(isArabic(arabicInbox));
        QCOMPARE(timedOut.text(), u"The request timed out."_qs);
        QVERIFY(isArabic(arabicTimeout));
        QVERIFY2(deadline.text().contains(u'2') && !deadline.text().contains(u'%'),
                 qPrintable(deadline.text()));

        // Only Arabic turns the layout around; other right-to-left languages do not.
        language.setLanguage(AppLanguage::System);
        platform = QLocale(QLocale::Hebrew);
        QCOMPARE(language.layoutDirection(), Qt::LeftToRight);
        language.applyTextTable();
        QCOMPARE(TextCatalogue::languageInUse(), u"en"_qs);

        QCOMPARE(catalogueText("no.such.key"), u"no.such.key"_qs);
    }
};

QTEST_GUILESS_MAIN(PreferencesTest)
#include "tst_preferences.moc"
