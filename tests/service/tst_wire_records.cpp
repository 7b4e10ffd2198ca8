#include "core/conversations/DateTexts.h"
#include "core/conversations/DisplayTexts.h"
#include "core/settings/TextCatalogue.h"
#include "wire/WireDecode.h"
#include "wire/WireEncode.h"

#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

using namespace lumora;
using namespace Qt::StringLiterals;

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
    return {u"m-"_s + QLatin1String(userId),
            u"c"_s,
            QString::fromLatin1(userId),
            u"member"_s,
            std::nullopt,
            std::move(user)};
}

// The description of a failed decoding, empty when it succeeded.
template <class T> QString failure(const Decoded<T>& decoded) {
    return decoded ? QString() : decoded.error().description;
}

} // namespace

// The records as they come off the wire, and the texts shown for them.
class WireRecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TextCatalogue::use(QLocale(QLocale::English)); }

    void timestamps() {
        const QList<QPair<const char*, qint64>> valid = {
            {"2026-01-02T03:04:05Z", 1767323045000},        {"2026-01-02T03:04:05.123Z", 1767323045123},
            {"2026-01-02T03:04:05.123999Z", 1767323045123}, {"2026-01-02T05:34:05+02:30", 1767323045000},
            {"2026-01-01T22:04:05-05:00", 1767323045000},   {"2024-02-29T00:00:00Z", 1709164800000},
            {"9999-12-31T23:59:59.999Z", 253402300799999},
        };
        for (const auto& [text, millis] : valid)
            QCOMPARE(parseTimestamp(text).value_or(Instant{}).time_since_epoch().count(), millis);
        // An offset must not carry a date past what four year digits can write back.
        for (const char* text :
             {"2026-01-02", "2026-01-02T03:04:05", "2026-01-02T03:04:05+0200", "2026-01-02T03:04:05.Z",
              "2026-01-02T03:04Z", "2026-01-02 03:04:05Z", "2026-02-31T00:00:00Z", "2026-01-02T24:00:00Z",
              "0000-01-01T00:00:00+00:01", "9999-12-31T23:59:59-00:01", "2026-01-02T03:04:05Zjunk"})
            QVERIFY2(!parseTimestamp(text), text);

        QCOMPARE(formatTimestamp(at(2026, 1, 2, 3, 4, 5)), u"2026-01-02T03:04:05Z"_s);
        QCOMPARE(formatTimestamp(at(2026, 1, 2, 3, 4, 5, 7)), u"2026-01-02T03:04:05.007Z"_s);
        QCOMPARE(formatTimestamp(at(1969, 12, 31, 23, 59, 59, 999)), u"1969-12-31T23:59:59.999Z"_s);
    }

    void decodingFailuresNameTextAndPath() {
        const QString badDate = failure(decodeJson<QList<ConversationDTO>>(
            "[" + conversation("") + "," +
            conversation(R"(,"lastMessage":{"id":"m","senderId":"u","createdAt":"2026-01-02"})") + "]"));
        QVERIFY2(badDate.startsWith(u"Bad date: 2026-01-02"_s) &&
                     badDate.contains(u"[1].lastMessage.createdAt"_s),
                 qPrintable(badDate));

        // One bad element fails the whole list.
        const QByteArray good =
            R"({"id":"m1","conversationId":"c","senderId":"u","createdAt":"2026-01-02T03:04:05.5Z"})";
        const QByteArray bad =
            R"({"id":"m2","conversationId":"c","senderId":"u","createdAt":"2026-01-02T03:04:05Z",)"
            R"("attachments":[{"url":"/m/1","mimeType":"image/png"}]})";
        const QString noSize = failure(decodeJson<QList<MessageDTO>>("[" + good + "," + bad + "]"));
        QVERIFY2(noSize.contains(u"[1].attachments[0].sizeBytes"_s), qPrintable(noSize));
        QCOMPARE(decodeJson<QList<MessageDTO>>("[" + good + "]")->first().createdAt,
                 at(2026, 1, 2, 3, 4, 5, 500));
    }

    void requiredOptionalAndNull() {
        // Absent and null optional fields are empty; an absent unreadCount is 0.
        auto c = decodeJson<ConversationDTO>(conversation(R"(,"title":null,"unreadCount":null)"));
        QVERIFY(c);
        QCOMPARE(c->title, std::nullopt);
        QCOMPARE(c->unreadCount, 0);
        QCOMPARE(c->updatedAt, at(2026, 1, 2, 3, 4, 5));
        QCOMPARE(decodeJson<ConversationDTO>(conversation(R"(,"unreadCount":12)"))->unreadCount, 12);

        // A required field that is absent or null fails, naming the key, and so does a present
        // optional value of the wrong type.
        QVERIFY(failure(decodeJson<ConversationDTO>(R"({"id":"c1"})")).contains(u"updatedAt"_s));
        QVERIFY(!decodeJson<ConversationDTO>(R"({"id":null,"updatedAt":"2026-01-02T03:04:05Z"})"));
        QVERIFY(failure(decodeJson<ConversationDTO>(conversation(R"(,"title":7)"))).contains(u"title"_s));
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

    void loginReplyShapes() {
        // Nested tokens win over flat keys.
        auto nested = decodeJson<LoginResponse>(
            R"({"tokens":{"accessToken":"N","refreshToken":"NR","tokenType":"Bearer","expiresIn":3600},)"
            R"("accessToken":"F","refreshToken":"FR","user":)" +
            user + "}");
        QVERIFY(nested);
        QCOMPARE(nested->tokens, (AuthTokensDTO{u"N"_s, u"NR"_s, u"Bearer"_s, 3600}));

        // Null tokens fall back to the flat keys, without type or expiry.
        auto flat = decodeJson<LoginResponse>(
            R"({"tokens":null,"accessToken":"F","refreshToken":"FR","user":)" + user + "}");
        QVERIFY(flat);
        QCOMPARE(flat->tokens, (AuthTokensDTO{u"F"_s, u"FR"_s, std::nullopt, std::nullopt}));
        auto flatNoRefresh = decodeJson<LoginResponse>(R"({"accessToken":"F","user":)" + user + "}");
        QVERIFY(flatNoRefresh);
        QCOMPARE(flatNoRefresh->tokens.refreshToken, std::nullopt);

        QVERIFY(!decodeJson<LoginResponse>(R"({"user":)" + user + "}"));
        QVERIFY(!decodeJson<LoginResponse>(R"({"tokens":{"accessToken":"N"}})"));
    }

    void replyEnvelope() {
        // The direct shape wins even when a "data" key is present.
        auto direct = decodeReply<UserDTO>(QByteArray(user).replace("}", R"(,"data":{"id":"other"}})"));
        QCOMPARE(direct.value_or(UserDTO{}).id, u"u1"_s);
        QCOMPARE(decodeReply<UserDTO>(R"({"data":)" + user + "}").value_or(UserDTO{}).username, u"amal"_s);
        // When both shapes fail, the direct attempt's error is reported.
        const QString neither = failure(decodeReply<QList<ConversationDTO>>(R"({"items":[]})"));
        QVERIFY2(neither.contains(u"Expected an array"_s), qPrintable(neither));
        QVERIFY(!decodeReply<UserDTO>("not json"));

        // A reply with no body has a null QByteArray; an empty literal has a non-null pointer.
        for (const QByteArray& body : {QByteArray(), QByteArray("")}) {
            const QString empty = failure(decodeJson<APIErrorBody>(body));
            QVERIFY2(empty.startsWith(u"The reply is not valid JSON"_s), qPrintable(empty));
            QVERIFY(!decodeReply<QList<MessageDTO>>(body));
        }
        QVERIFY(!decodeJson<UserDTO>(QByteArrayView()));
        // The thread's parser is still usable afterwards.
        QCOMPARE(decodeJson<UserDTO>(user).value_or(UserDTO{}).username, u"amal"_s);
    }

    void userNames() {
        UserDTO user;
        user.username = u"amina"_s;
        QCOMPARE(resolvedDisplayName(user), u"amina"_s);
        user.displayName = u"   \n"_s;
        QCOMPARE(resolvedDisplayName(user), u"amina"_s);
        user.displayName = u"  أمينة\n"_s;
        QCOMPARE(resolvedDisplayName(user), u"أمينة"_s);
    }

    void peerAndTitle() {
        const QString me = u"me"_s;
        ConversationDTO c;
        QCOMPARE(displayTitle(c, me), u"Conversation"_s);

        // Only the first member who is someone else counts, even without a user record.
        c.members = QList{member("me", ref("me", "self")), member("other", std::nullopt),
                          member("third", ref("third", "third"))};
        QCOMPARE(peerRef(c, me)->username, u"self"_s);
        // With nobody signed in, the first member is the reference.
        QCOMPARE(peerRef(c, std::nullopt)->username, u"self"_s);

        c.members = QList{member("me", ref("me", "self"))};
        QCOMPARE(peerRef(c, me)->username, u"self"_s);
        c.members = QList{member("me", ref("me", "self")), member("u2", ref("u2", "omar", u" عمر "_s))};
        QCOMPARE(displayTitle(c, me), u"عمر"_s);

        UserDTO peer;
        peer.id = u"p"_s;
        peer.username = u"layla"_s;
        peer.displayName = u" "_s;
        peer.verified = true;
        c.peer = peer;
        QCOMPARE(displayTitle(c, me), u"layla"_s);
        QVERIFY(peerRef(c, me)->verified);

        c.title = QString();
        QCOMPARE(displayTitle(c, me), u"layla"_s);
        c.title = u" Team "_s;
        QCOMPARE(displayTitle(c, me), u" Team "_s);
    }

    void messageBodies() {
        MessageDTO m;
        QCOMPARE(displayBody(m), QString());
        m.attachmentName = u"old.pdf"_s;
        QCOMPARE(displayBody(m), u"\U0001F4CE old.pdf"_s);
        m.attachments = QList{AttachmentMetaDTO{{}, {}, u"/m/1"_s, u"image/png"_s, 3, {}, {}}};
        QCOMPARE(displayBody(m), u"\U0001F4CE old.pdf"_s); // first attachment has no name
        m.attachments->first().fileName = u"photo.png"_s;
        m.body = QString();
        QCOMPARE(displayBody(m), u"\U0001F4CE photo.png"_s);
        m.body = u" hi "_s;
        QCOMPARE(displayBody(m), u" hi "_s);
    }

    // When something happened, as a chat's day heading, an inbox row and a tooltip write it, from a
    // Monday morning in Dubai (UTC+4) or in UTC, in English and Arabic.
    void dateTexts_data() {
        QTest::addColumn<QString>("instant");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("inbox");
        const QString dubai = u"2026-12-07T09:00:00+04:00"_s, utc = u"2026-12-07T05:00:00Z"_s;
        QTest::newRow("today, past midnight in Dubai")
            << u"2026-12-06T20:01:00Z"_s << dubai << u"en"_s << u"Today"_s << u"12:01 AM"_s;
        QTest::newRow("the same moment, yesterday in UTC")
            << u"2026-12-06T20:01:00Z"_s << utc << u"en"_s << u"Yesterday"_s << u"Yesterday"_s;
        QTest::newRow("six days ago")
            << u"2026-12-01T10:00:00Z"_s << dubai << u"en"_s << u"Tuesday"_s << u"Tuesday"_s;
        QTest::newRow("seven days ago")
            << u"2026-11-30T10:00:00Z"_s << dubai << u"en"_s << u"Nov 30, 2026"_s << u"11/30/26"_s;
        QTest::newRow("tomorrow (a clock ahead)")
            << u"2026-12-08T10:00:00Z"_s << dubai << u"en"_s << u"Dec 8, 2026"_s << u"12/8/26"_s;
        QTest::newRow("Arabic, today")
            << u"2026-12-07T04:30:00Z"_s << dubai << u"ar"_s << u"اليوم"_s << u"٨:٣٠ ص"_s;
        QTest::newRow("Arabic, yesterday")
            << u"2026-12-06T04:30:00Z"_s << dubai << u"ar"_s << u"أمس"_s << u"أمس"_s;
        QTest::newRow("Arabic, Thursday")
            << u"2026-12-03T04:30:00Z"_s << dubai << u"ar"_s << u"الخميس"_s << u"الخميس"_s;
        QTest::newRow("Arabic, a month ago") << u"2026-11-07T04:30:00Z"_s << dubai << u"ar"_s
                                             << u"٧ نوفمبر ٢٠٢٦"_s << u"٧‏/١١‏/٢٠٢٦"_s;
    }

    void dateTexts() {
        QFETCH(QString, instant);
        QFETCH(QString, now);
        QFETCH(QString, language);
        QFETCH(QString, heading);
        QFETCH(QString, inbox);
        const QLocale locale(language);
        TextCatalogue::use(locale);
        const QDateTime at = QDateTime::fromString(instant, Qt::ISODate);
        QDateTime clock = QDateTime::fromString(now, Qt::ISODate);
        clock = clock.toTimeZone(QTimeZone(clock.offsetFromUtc()));
        QCOMPARE(DateTexts::dayHeading(DateTexts::dayOf(at, clock), clock.date(), locale), heading);
        QCOMPARE(DateTexts::inboxTime(at, clock, locale), inbox);
        TextCatalogue::use(QLocale(QLocale::English));
    }
};

QTEST_GUILESS_MAIN(WireRecordsTest)
#include "tst_wire_records.moc"
