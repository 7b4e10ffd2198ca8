#include "APIClient.h"
#include "DevServiceFixture.h"
#include "TestSupport.h"

#include <QTest>

using namespace lumora;

// Clients out to wear the service down, or to corrupt what it shows others.
class DevServiceHostileClientsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DevService> service;

    bool addUser(const QString& username) {
        return service->command({QStringLiteral("add-user"), username}, username.toUtf8() + "-password\n")
                   .exitCode == 0;
    }

private Q_SLOTS:
    void init() { service = std::make_unique<DevService>(); }
    void cleanup() { service.reset(); }

    void namesWithControlCharactersAreRefused() {
        QVERIFY(addUser(QStringLiteral("rania")) && addUser(QStringLiteral("tariq")));
        const QString started = service->start();
        QVERIFY2(started.isEmpty(), qPrintable(started));
        APIClient client;
        const auto rania = signIn(client, QStringLiteral("rania"), QStringLiteral("rania-password"));
        QVERIFY(rania);
        const QByteArray token = rania->tokens.accessToken.toUtf8();
        const QByteArray before = databaseFingerprint(service->databasePath());

        const QUrl profile = service->url(QStringLiteral("/users/me"));
        for (const char* name : {"Ra\\u0000nia", "Ra\\u0007nia", "Ra\\nnia", "\\u001b[31mRania",
                                 "Ra\\u007fnia", "Ra\\u0085nia", "Ra\\u009bnia"}) {
            const RawReply reply =
                rawRequest(profile, "PATCH", QByteArray("{\"displayName\":\"") + name + "\"}", token);
            QVERIFY2(reply.status == 400, name);
            QVERIFY2(reply.object()
                         .value(QStringLiteral("message"))
                         .toString()
                         .contains(QStringLiteral("control characters")),
                     reply.body.constData());
        }
        QCOMPARE(databaseFingerprint(service->databasePath()), before);

        // Message bodies are text, not names: their line breaks and tabs stay.
        const QString chat =
            QString::fromUtf8(service
                                  ->command({QStringLiteral("add-conversation"), QStringLiteral("rania"),
                                             QStringLiteral("tariq")})
                                  .out.trimmed());
        const QString text = QStringLiteral("one\ntwo\tthree");
        const auto sent = await(client.sendMessage(chat, text, std::nullopt));
        QVERIFY(sent);
        QCOMPARE(sent->body, text);
    }
};

QTEST_GUILESS_MAIN(DevServiceHostileClientsTest)
#include "tst_devservice_hostile.moc"
