#include "core/session/KeychainStore.h"
#include "TestSupport.h"

#include <QProcess>
#include <QTest>

using namespace lumora;

namespace {

// What a third-party tool sees in the secret store for one of our accounts.
QStringList secretTool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), arguments);
    if (!tool.waitForFinished(20000))
        qFatal("secret-tool did not finish");
    return QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError()).split(QLatin1Char('\n'));
}

QString lookup(const char* account) {
    return secretTool({QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("org.lumora.app"),
                       QStringLiteral("user"), QString::fromLatin1(account)})
        .first();
}

int itemCount(const char* account) {
    const QStringList lines = secretTool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("server"),
                                          QStringLiteral("org.lumora.app"), QStringLiteral("user"),
                                          QString::fromLatin1(account)});
    return int(std::count_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith(QLatin1Char('[')); }));
}

} // namespace

class KeychainStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { await(KeychainStore::clearTokens()); }

    void nothingStoredLoadsAbsent() {
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
        QCOMPARE(await(KeychainStore::loadRefreshToken()), std::nullopt);
        await(KeychainStore::clearTokens()); // clearing nothing is harmless
        QCOMPARE(itemCount("accessToken"), 0);
    }

    void saveLoadAndReplace() {
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("first-ü"))));
        QVERIFY(await(KeychainStore::saveAccessToken(QStringLiteral("second-ü"))));
        QVERIFY(await(KeychainStore::saveRefreshToken(QStringLiteral("refresh"))));
        QCOMPARE(await(KeychainStore::loadAccessToken()), QStringLiteral("second-ü"));
        QCOMPARE(await(KeychainStore::loadRefreshToken()), QStringLiteral("refresh"));
        // Another program reading the Secret Service finds exactly one item per account.
        QCOMPARE(itemCount("accessToken"), 1);
        QCOMPARE(lookup("accessToken"), QStringLiteral("second-ü"));
        QCOMPARE(lookup("refreshToken"), QStringLiteral("refresh"));

        await(KeychainStore::clearTokens());
        QCOMPARE(await(KeychainStore::loadAccessToken()), std::nullopt);
        QCOMPARE(await(KeychainStore::loadRefreshToken()), std::nullopt);
        QCOMPARE(itemCount("accessToken") + itemCount("refreshToken"), 0);
    }

    void emptyTokenIsAValue() {
        QVERIFY(await(KeychainStore::saveAccessToken(QString())));
        const auto loaded = await(KeychainStore::loadAccessToken());
        QVERIFY(loaded.has_value());
        QCOMPARE(*loaded, QString());
    }
};

QTEST_GUILESS_MAIN(KeychainStoreTest)
#include "tst_keychain_store.moc"
