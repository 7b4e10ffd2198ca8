#include "core/conversations/ChatViewModel.h"
#include "DevServiceFixture.h"
#include "core/conversations/InboxViewModel.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QTest>

using namespace lumora;

// The inbox and chat models against the real reference service: what a user does in the panel.
class ChatEndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sendWithAttachmentAndSeeItArrive() {
        DevService service;
        const QString started = service.start({QStringLiteral("--seed")});
        QVERIFY2(started.isEmpty(), qPrintable(started));
        APIClient api;
        const auto amina = signIn(api, QStringLiteral("amina"), QStringLiteral("sunshine123"));
        QVERIFY(amina);

        InboxViewModel inbox(&api);
        inbox.setCurrentUserId(amina->user.id);
        await(inbox.load());
        QVERIFY(inbox.errorMessage() == std::nullopt);
        QVERIFY(inbox.count() >= 5);
        const ConversationDTO conversation = inbox.conversations().first();

        ChatViewModel chat(&api, conversation);
        QAbstractItemModelTester tester(&chat, QAbstractItemModelTester::FailureReportingMode::QtTest);
        await(chat.load());
        const int before = chat.count();
        QVERIFY(before > 0);

        const QByteArray bytes = QByteArray("%PDF-1.4 minimal\n") + QByteArray(4096, 'x');
        QFile file(service.tempPath(QStringLiteral("plan.pdf")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        chat.setDraft(QStringLiteral("  the plan, مع الملف  "));
        chat.setPendingAttachmentURL(QUrl::fromLocalFile(file.fileName()));
        chat.setPendingAttachmentName(QStringLiteral("plan.pdf"));
        await(chat.send(amina->user.id));
        QVERIFY2(chat.errorMessage() == std::nullopt, qPrintable(chat.errorText()));
        QCOMPARE(chat.count(), before + 1);
        QVERIFY(chat.unsentMessages().isEmpty());
        const MessageDTO sent = chat.messages().last();
        QCOMPARE(sent.body, QStringLiteral("the plan, مع الملف"));
        QVERIFY(sent.attachments && sent.attachments->size() == 1);
        QCOMPARE(sent.attachments->first().fileName, QStringLiteral("plan.pdf"));
        QCOMPARE(sent.attachments->first().mimeType, QStringLiteral("application/pdf"));

        // The stored file comes back byte for byte, and a fresh load lists the message once.
        const RawReply fetched = rawRequest(service.url(sent.attachments->first().url), "GET", {}, {}, {});
        QCOMPARE(fetched.status, 200);
        QCOMPARE(fetched.body, bytes);
        await(chat.load());
        QCOMPARE(chat.count(), before + 1);
        QCOMPARE(chat.messages().last().id, sent.id);

        // The service goes away: the next send is kept as failed, and delivered once it is back.
        service.kill();
        chat.setDraft(QStringLiteral("are you there?"));
        await(chat.send(amina->user.id));
        QCOMPARE(chat.unsentMessages().size(), 1);
        const QString localId = chat.unsentMessages().first().id;
        QCOMPARE(chat.sendState(localId), ChatViewModel::SendState::failed);
        QVERIFY(!chat.errorText().isEmpty());
        const QString restarted = service.start();
        QVERIFY2(restarted.isEmpty(), qPrintable(restarted));
        await(chat.retry(localId));
        QVERIFY(chat.unsentMessages().isEmpty());
        await(chat.load());
        QCOMPARE(chat.count(), before + 2);
        QCOMPARE(chat.messages().last().body, QStringLiteral("are you there?"));
    }
};

QTEST_GUILESS_MAIN(ChatEndToEndTest)
#include "tst_chat_end_to_end.moc"
