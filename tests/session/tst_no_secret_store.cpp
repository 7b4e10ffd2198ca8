#include "ScriptedServer.h"
#include "TestSupport.h"
#include "core/session/AuthService.h"
#include "core/session/KeychainStore.h"
#include "core/settings/TextCatalogue.h"

#include <QDirIterator>
#include <QTest>

using namespace lumora;

// Runs with a session bus address that leads nowhere: no secret store can be reached.
class NoSecretStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TextCatalogue::use(QLocale(QLocale::English)); }

    void saveFailsPlainly() {
        const auto saved = await(KeychainStore::saveAccessToken(QStringLiteral("x")));
        QVERIFY(!saved);
        QCOMPARE(saved.error().kind(), APIClientError::Kind::SecretStore);
        QVERIFY2(saved.error().text().startsWith(QStringLiteral("Secure storage is unavailable: ")),
                 qPrintable(saved.error().text()));
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
    }

    void signInFailsAndNothingIsWrittenInPlainText() {
        const QString secret = QStringLiteral("tok-4f1d9c0e-unmistakable");
        ScriptedServer server;
        server.answer(
            200,
            R"({"accessToken":")" + secret.toUtf8() +
                R"(","user":{"id":"u1","username":"amina","role":"user","verified":true,"mustChangePassword":false}})");
        useBaseURL(server.url().toString());
        APIClient api;
        AuthService auth(&api);
        QVERIFY(!await(auth.login(QStringLiteral("amina"), QStringLiteral("pw"))));
        QCOMPARE(auth.lastError()->kind(), APIClientError::Kind::SecretStore);
        QVERIFY(!auth.isAuthenticated());
        QVERIFY(!api.hasAccessToken()); // the client's token is unchanged

        const QString home = qEnvironmentVariable("LUMORA_TEST_HOME");
        QVERIFY(!home.isEmpty());
        QDirIterator files(home, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains(secret.toUtf8()), qPrintable(file.fileName()));
        }
    }
};

QTEST_GUILESS_MAIN(NoSecretStoreTest)
#include "tst_no_secret_store.moc"
