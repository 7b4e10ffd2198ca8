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

    // Saving a token and signing in both fail plainly: nothing pretends to succeed, nothing is kept.
    void saveAndSignInFailWithoutPlainTextFallback() {
        const QByteArray secret = "tok-4f1d9c0e-unmistakable";
        const auto saved = await(KeychainStore::saveAccessToken(QString::fromLatin1(secret)));
        QVERIFY(!saved);
        QVERIFY2(saved.error().text().startsWith(u"Secure storage is unavailable: "_qs),
                 qPrintable(saved.error().text()));
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);

        ScriptedServer server;
        server.answer(200, R"({"accessToken":")" + secret +
                               R"(","user":{"id":"u1","username":"amina","role":"user","verified":true,)"
                               R"("mustChangePassword":false}})");
        useBaseURL(server.url().toString());
        APIClient api;
        AuthService auth(&api);
        QVERIFY(!await(auth.login(u"amina"_qs, u"pw"_qs)));
        QCOMPARE(auth.lastError()->kind(), APIClientError::Kind::SecretStore);
        QVERIFY(!auth.isAuthenticated());
        QVERIFY(!api.hasAccessToken()); // the client's token is unchanged

        const QString home = qEnvironmentVariable("LUMORA_TEST_HOME");
        QVERIFY(!home.isEmpty());
        QDirIterator files(home, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains(secret), qPrintable(file.fileName()));
        }
    }
};

QTEST_GUILESS_MAIN(NoSecretStoreTest)
#include "tst_no_secret_store.moc"
