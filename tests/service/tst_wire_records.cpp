#include "core/conversations/DisplayTexts.h"
#include "core/settings/TextCatalogue.h"
#include "wire/WireDecode.h"
#include "wire/WireEncode.h"

#include <QJsonDocument>
#include <QTest>

using namespace lumora;

namespace {

const QByteArray user =
    R"({"id":"u1","username":"amal","role":"user","verified":true,"mustChangePassword":false})";

QByteArray conversation(const QByteArray& extra) {
    return R"({"id":"c1","updatedAt":"2026-01-02T03:04:05Z")" + extra + "}";
}

Instant at(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms = 0) {
    using namespace std::chrono;
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s} + milliseconds{ms};
}

PublicUserRefDTO ref(const char* id, const char* username, std::optional<QString> displayName = {}) {
    return {QString::fromLatin1(id), QString::fromLatin1(username), std::move(displayName), std::nullopt,
            false};
}

ConversationMemberDTO member(const char* userId, std::optional<PublicUserRefDTO> user) {
    return {QStringLiteral("m-") + QLatin1String(userId),
            QStringLiteral("c"),
            QString::fromLatin1(userId),
            QStringLiteral("member"),
            std::nullopt,
            std::move(user)};
}

} // namespace

// The records as they come off the wire, and the texts shown for them.
class WireRecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TextCatalogue::use(QLocale(QLocale::English)); }

    void timestamps_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("millisSinceEpoch");
        QTest::newRow("utc") << QByteArray("2026-01-02T03:04:05Z") << true << qint64(1767323045000);
        QTest::newRow("fraction") << QByteArray("2026-01-02T03:04:05.123Z") << true << qint64(1767323045123);
        QTest::newRow("long fraction")
            << QByteArray("2026-01-02T03:04:05.123999Z") << true << qint64(1767323045123);
        QTest::newRow("offset") << QByteArray("2026-01-02T05:34:05+02:30") << true << qint64(1767323045000);
        QTest::newRow("negative offset")
            << QByteArray("2026-01-01T22:04:05-05:00") << true << qint64(1767323045000);
        QTest::newRow("leap day") << QByteArray("2024-02-29T00:00:00Z") << true << qint64(1709164800000);
        QTest::newRow("bare date") << QByteArray("2026-01-02") << false << qint64(0);
        QTest::newRow("no zone") << QByteArray("2026-01-02T03:04:05") << false << qint64(0);
        QTest::newRow("offset without colon") << QByteArray("2026-01-02T03:04:05+0200") << false << qint64(0);
        QTest::newRow("empty fraction") << QByteArray("2026-01-02T03:04:05.Z") << false << qint64(0);
        QTest::newRow("no seconds") << QByteArray("2026-01-02T03:04Z") << false << qint64(0);
        QTest::newRow("space separator") << QByteArray("2026-01-02 03:04:05Z") << false << qint64(0);
        QTest::newRow("31 February") << QByteArray("2026-02-31T00:00:00Z") << false << qint64(0);
        QTest::newRow("hour 24") << QByteArray("2026-01-02T24:00:00Z") << false << qint64(0);
        QTest::newRow("year 0000 pushed before")
            << QByteArray("0000-01-01T00:00:00+00:01") << false << qint64(0);
        QTest::newRow("year 9999 pushed after")
            << QByteArray("9999-12-31T23:59:59-00:01") << false << qint64(0);
        QTest::newRow("last instant")
            << QByteArray("9999-12-31T23:59:59.999Z") << true << qint64(253402300799999);
        QTest::newRow("trailing text") << QByteArray("2026-01-02T03:04:05Zjunk") << false << qint64(0);
    }

    void timestamps() {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QFETCH(qint64, millisSinceEpoch);
        const auto parsed = parseTimestamp(std::string_view(text.constData(), size_t(text.size())));
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(qint64(parsed->time_since_epoch().count()), millisSinceEpoch);
    }

    void timestampFormatting() {
        QCOMPARE(formatTimestamp(at(2026, 1, 2, 3, 4, 5)), QStringLiteral("2026-01-02T03:04:05Z"));
        QCOMPARE(formatTimestamp(at(2026, 1, 2, 3, 4, 5, 7)), QStringLiteral("2026-01-02T03:04:05.007Z"));
        QCOMPARE(formatTimestamp(at(1969, 12, 31, 23, 59, 59, 999)),
                 QStringLiteral("1969-12-31T23:59:59.999Z"));
    }

    void badDateNamesTextAndPath() {
        const QByteArray list =
            "[" + conversation("") + "," +
            conversation(R"(,"lastMessage":{"id":"m","senderId":"u","createdAt":"2026-01-02"})") + "]";
        const auto decoded = decodeJson<QList<ConversationDTO>>(list);
        QVERIFY(!decoded);
        QVERIFY2(decoded.error().description.startsWith(QStringLiteral("Bad date: 2026-01-02")),
                 qPrintable(decoded.error().description));
        QVERIFY2(decoded.error().description.contains(QStringLiteral("[1].lastMessage.createdAt")),
                 qPrintable(decoded.error().description));
    }

    void requiredOptionalAndNull() {
        // Absent and null optional fields are empty; an absent unreadCount is 0.
        auto c = decodeJson<ConversationDTO>(conversation(R"(,"title":null,"unreadCount":null)"));
        QVERIFY(c);
        QCOMPARE(c->title, std::nullopt);
        QCOMPARE(c->unreadCount, 0);
        QCOMPARE(c->updatedAt, at(2026, 1, 2, 3, 4, 5));
        QCOMPARE(decodeJson<ConversationDTO>(conversation(R"(,"unreadCount":12)"))->unreadCount, 12);

        // A required field that is absent or null fails, naming the key.
        auto missing = decodeJson<ConversationDTO>(R"({"id":"c1"})");
        QVERIFY(!missing);
        QVERIFY(missing.error().description.contains(QStringLiteral("updatedAt")));
        QVERIFY(!decodeJson<ConversationDTO>(R"({"id":null,"updatedAt":"2026-01-02T03:04:05Z"})"));

        // A present optional value of the wrong type still fails.
        auto wrongType = decodeJson<ConversationDTO>(conversation(R"(,"title":7)"));
        QVERIFY(!wrongType);
        QVERIFY(wrongType.error().description.contains(QStringLiteral("title")));
        QVERIFY(!decodeJson<ConversationDTO>(conversation(R"(,"unreadCount":"3")")));

        // Users need both flags; the optional texts may be missing; unknown keys are ignored.
        auto u = decodeJson<UserDTO>(user);
        QVERIFY(u);
        QCOMPARE(u->displayName, std::nullopt);
        QVERIFY(u->verified);
        QVERIFY(decodeJson<UserDTO>(QByteArray(user).replace("}", R"(,"shoeSize":44})")));
        QVERIFY(!decodeJson<UserDTO>(QByteArray(user).replace(R"(,"verified":true)", "")));
        QVERIFY(!decodeJson<UserDTO>(QByteArray(user).replace(R"(,"mustChangePassword":false)", "")));
        QVERIFY(!decodeJson<UserDTO>(QByteArray(user).replace(R"("role":"user")", R"("role":"owner")")));
        QVERIFY(decodeJson<UserDTO>(QByteArray(user).replace(R"("role":"user")", R"("role":"moderator")"))
                    ->role == UserRole::moderator);
    }

    void oneBadElementFailsTheWholeList() {
        const QByteArray good =
            R"({"id":"m1","conversationId":"c","senderId":"u","createdAt":"2026-01-02T03:04:05.5Z"})";
        const QByteArray bad =
            R"({"id":"m2","conversationId":"c","senderId":"u","createdAt":"2026-01-02T03:04:05Z",)"
            R"("attachments":[{"url":"/m/1","mimeType":"image/png"}]})";
        auto decoded = decodeJson<QList<MessageDTO>>("[" + good + "," + bad + "]");
        QVERIFY(!decoded);
        QVERIFY2(decoded.error().description.contains(QStringLiteral("[1].attachments[0].sizeBytes")),
                 qPrintable(decoded.error().description));
        auto one = decodeJson<QList<MessageDTO>>("[" + good + "]");
        QVERIFY(one);
        QCOMPARE(one->first().createdAt, at(2026, 1, 2, 3, 4, 5, 500));
    }

    void loginReplyShapes() {
        // Nested tokens win over flat keys.
        auto nested = decodeJson<LoginResponse>(
            R"({"tokens":{"accessToken":"N","refreshToken":"NR","tokenType":"Bearer","expiresIn":3600},)"
            R"("accessToken":"F","refreshToken":"FR","user":)" +
            user + "}");
        QVERIFY(nested);
        QCOMPARE(nested->tokens.accessToken, QStringLiteral("N"));
        QCOMPARE(nested->tokens.refreshToken, QStringLiteral("NR"));
        QCOMPARE(nested->tokens.expiresIn, 3600);

        // Null tokens fall back to the flat keys, without type or expiry.
        auto flat = decodeJson<LoginResponse>(
            R"({"tokens":null,"accessToken":"F","refreshToken":"FR","user":)" + user + "}");
        QVERIFY(flat);
        QCOMPARE(flat->tokens,
                 (AuthTokensDTO{QStringLiteral("F"), QStringLiteral("FR"), std::nullopt, std::nullopt}));
        auto flatNoRefresh = decodeJson<LoginResponse>(R"({"accessToken":"F","user":)" + user + "}");
        QVERIFY(flatNoRefresh);
        QCOMPARE(flatNoRefresh->tokens.refreshToken, std::nullopt);

        QVERIFY(!decodeJson<LoginResponse>(R"({"user":)" + user + "}"));
        QVERIFY(!decodeJson<LoginResponse>(R"({"tokens":{"accessToken":"N"}})"));
    }

    void replyEnvelope() {
        // The direct shape wins even when a "data" key is present.
        auto direct = decodeReply<UserDTO>(QByteArray(user).replace("}", R"(,"data":{"id":"other"}})"));
        QVERIFY(direct);
        QCOMPARE(direct->id, QStringLiteral("u1"));
        auto wrapped = decodeReply<UserDTO>(R"({"data":)" + user + "}");
        QVERIFY(wrapped);
        QCOMPARE(wrapped->username, QStringLiteral("amal"));
        // When both shapes fail, the direct attempt's error is reported.
        auto neither = decodeReply<QList<ConversationDTO>>(R"({"items":[]})");
        QVERIFY(!neither);
        QVERIFY2(neither.error().description.contains(QStringLiteral("Expected an array")),
                 qPrintable(neither.error().description));
        QVERIFY(!decodeReply<UserDTO>("not json"));
    }

    void emptyInputIsNotJson() {
        // A reply with no body has a null QByteArray; an empty literal has a non-null pointer.
        for (const QByteArray& body : {QByteArray(), QByteArray("")}) {
            const auto error = decodeJson<APIErrorBody>(body);
            QVERIFY(!error);
            QVERIFY2(error.error().description.startsWith(QStringLiteral("The reply is not valid JSON")),
                     qPrintable(error.error().description));
            QVERIFY(!decodeReply<QList<MessageDTO>>(body));
        }
        QVERIFY(!decodeJson<UserDTO>(QByteArrayView()));
        // The thread's parser is still usable afterwards.
        auto after = decodeJson<UserDTO>(user);
        QVERIFY(after);
        QCOMPARE(after->username, QStringLiteral("amal"));
    }

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
        c.members =
            QList{member("me", ref("me", "self")), member("u2", ref("u2", "omar", QStringLiteral(" عمر ")))};
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
        m.attachments =
            QList{AttachmentMetaDTO{{}, {}, QStringLiteral("/m/1"), QStringLiteral("image/png"), 3, {}, {}}};
        QCOMPARE(displayBody(m), QStringLiteral("\U0001F4CE old.pdf")); // first attachment has no name
        m.attachments->first().fileName = QStringLiteral("photo.png");
        m.body = QString();
        QCOMPARE(displayBody(m), QStringLiteral("\U0001F4CE photo.png"));
        m.body = QStringLiteral(" hi ");
        QCOMPARE(displayBody(m), QStringLiteral(" hi "));
    }
};

QTEST_GUILESS_MAIN(WireRecordsTest)
#include "tst_wire_records.moc"
