#include "core/conversations/DisplayTexts.h"
#include "core/settings/TextCatalogue.h"

#include <QTest>

using namespace lumora;

namespace {

PublicUserRefDTO ref(const char* id, const char* username, std::optional<QString> displayName = {}) {
    return {QString::fromLatin1(id), QString::fromLatin1(username), std::move(displayName), std::nullopt, false};
}

ConversationMemberDTO member(const char* userId, std::optional<PublicUserRefDTO> user) {
    return {QStringLiteral("m-") + QLatin1String(userId), QStringLiteral("c"), QString::fromLatin1(userId),
            QStringLiteral("member"), std::nullopt, std::move(user)};
}

} // namespace

class DisplayTextsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TextCatalogue::use(QLocale(QLocale::English)); }

    void userNames() {
        UserDTO user;
        user.username = QStringLiteral("amina");
        QCOMPARE(resolvedDisplayName(user), QStringLiteral("amina"));
        user.displayName = QStringLiteral("   \n");
        QCOMPARE(resolvedDisplayName(user), QStringLiteral("amina"));
        user.displayName = QStringLiteral("  أمينة\n");
        QCOMPARE(resolvedDisplayName(user), QStringLiteral("أمينة"));
    }

    void peerAndTitle() {
        ConversationDTO c;
        QCOMPARE(displayTitle(c, QStringLiteral("me")), QStringLiteral("Conversation"));

        // Only the first member who is someone else counts, even without a user record.
        c.members = QList{member("me", ref("me", "self")), member("other", std::nullopt),
                          member("third", ref("third", "third"))};
        QCOMPARE(peerRef(c, QStringLiteral("me"))->username, QStringLiteral("self"));
        // With nobody signed in, the first member is the reference.
        QCOMPARE(peerRef(c, std::nullopt)->username, QStringLiteral("self"));

        c.members = QList{member("me", ref("me", "self"))};
        QCOMPARE(peerRef(c, QStringLiteral("me"))->username, QStringLiteral("self"));
        c.members = QList{member("me", ref("me", "self")), member("u2", ref("u2", "omar", QStringLiteral(" عمر ")))};
        QCOMPARE(displayTitle(c, QStringLiteral("me")), QStringLiteral("عمر"));

        UserDTO peer;
        peer.id = QStringLiteral("p");
        peer.username = QStringLiteral("layla");
        peer.displayName = QStringLiteral(" ");
        peer.verified = true;
        c.peer = peer;
        QCOMPARE(displayTitle(c, QStringLiteral("me")), QStringLiteral("layla"));
        QVERIFY(peerRef(c, QStringLiteral("me"))->verified);

        c.title = QString();
        QCOMPARE(displayTitle(c, QStringLiteral("me")), QStringLiteral("layla"));
        c.title = QStringLiteral(" Team ");
        QCOMPARE(displayTitle(c, QStringLiteral("me")), QStringLiteral(" Team "));
    }

    void messageBodies() {
        MessageDTO m;
        QCOMPARE(displayBody(m), QString());
        m.attachmentName = QStringLiteral("old.pdf");
        QCOMPARE(displayBody(m), QStringLiteral("\U0001F4CE old.pdf"));
        m.attachments = QList{AttachmentMetaDTO{{}, {}, QStringLiteral("/m/1"), QStringLiteral("image/png"), 3, {}, {}}};
        QCOMPARE(displayBody(m), QStringLiteral("\U0001F4CE old.pdf")); // first attachment has no name
        m.attachments->first().fileName = QStringLiteral("photo.png");
        m.body = QString();
        QCOMPARE(displayBody(m), QStringLiteral("\U0001F4CE photo.png"));
        m.body = QStringLiteral(" hi ");
        QCOMPARE(displayBody(m), QStringLiteral(" hi "));
    }
};

QTEST_GUILESS_MAIN(DisplayTextsTest)
#include "tst_display_texts.moc"
