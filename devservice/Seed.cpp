#include "Seed.h"

#include "Crypto.h"

#include <QHash>

#include <cstdio>
#include <string_view>

namespace lumora::devservice {

namespace {

using namespace std::chrono;

struct Account {
    const char* username;
    const char* password;
    const char* displayName;
    const char* countryCode; // empty for none
    UserRole role;
    bool verified;
    bool mustChangePassword;
};

const char* const sharedPassword = "lumora-demo";

const Account accounts[] = {
    {"amina", "sunshine123", "أمينة", "EG", UserRole::user, true, false},
    {"admin", "lighthouse42", "Lumora Admin", "", UserRole::admin, true, false},
    {"newbie", "changeme123", "New Member", "", UserRole::user, false, true},
    {"omar", sharedPassword, "عمر الفاروق", "SA", UserRole::user, true, false},
    {"layla", sharedPassword, "Layla Haddad", "JO", UserRole::user, true, false},
    {"youssef", sharedPassword, "يوسف بنعلي", "MA", UserRole::user, false, false},
    {"sara", sharedPassword, "Sara Al Mansoori", "AE", UserRole::moderator, true, false},
    {"james", sharedPassword, "James Whitfield", "GB", UserRole::user, false, false},
    {"claire", sharedPassword, "Claire Dubois", "FR", UserRole::user, true, false},
};

// A 48x48 sunset: orange sky, a pale horizon, blue sea.
const unsigned char sunsetPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
    0x00, 0x00, 0x30, 0x00, 0x00, 0x00, 0x30, 0x08, 0x02, 0x00, 0x00, 0x00, 0xd8, 0x60, 0x6e, 0xd0, 0x00,
    0x00, 0x00, 0x49, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0xed, 0xce, 0x31, 0x0d, 0x00, 0x20, 0x0c, 0x00,
    0x30, 0xe4, 0x20, 0x02, 0x25, 0x28, 0x41, 0xce, 0xe4, 0x20, 0x87, 0x9b, 0x0b, 0x1b, 0x63, 0x69, 0x52,
    0x01, 0x6d, 0x37, 0x46, 0x2a, 0x4d, 0x48, 0x48, 0x48, 0x48, 0x48, 0x48, 0x48, 0x48, 0x48, 0xe8, 0xb3,
    0xd0, 0xd9, 0x2b, 0x15, 0x21, 0xa1, 0x7a, 0xa1, 0x3e, 0x23, 0x15, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21,
    0x21, 0x21, 0x21, 0x21, 0xa1, 0x62, 0xa1, 0x07, 0x12, 0x6d, 0x05, 0x93, 0xa7, 0x19, 0xa7, 0x68, 0x00,
    0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

const char trainTimes[] = "Cairo (Ramses) -> Alexandria (Misr)\n"
                          "Friday    08:00 - 10:30  Special Express\n"
                          "Friday    10:00 - 12:40  Express\n"
                          "Sunday    18:00 - 20:30  Special Express (return)\n";

class Seeder {
public:
    Seeder(Store& store, const MediaFiles& media, Instant now)
        : m_store(store)
        , m_media(media)
        , m_now(now) {}

    void run();

private:
    QString addAccount(const Account& account);
    QString conversation(std::initializer_list<const char*> usernames, const char* title, Instant at);
    QString file(const char* uploader, const char* name, const char* type, std::string_view bytes,
                 Instant at);
    void say(const QString& conversation, const char* sender, const char* body, Instant at,
             const QStringList& media = {});
    void read(const QString& conversation, std::initializer_list<const char*> usernames);
    Instant ago(milliseconds age) const { return m_now - age; }

    Store& m_store;
    const MediaFiles& m_media;
    Instant m_now;
    QHash<QString, QString> m_ids;        // username -> user id
    QHash<QString, std::string> m_hashes; // password -> hash, so each distinct one is hashed once
};

QString Seeder::addAccount(const Account& a) {
    const QString password = QString::fromUtf8(a.password);
    if (!m_hashes.contains(password))
        m_hashes.insert(password, hashPassword(password));
    const QString countryCode = QString::fromUtf8(a.countryCode);
    const NewUser user{QString::fromUtf8(a.username),
                       m_hashes.value(password),
                       QString::fromUtf8(a.displayName),
                       countryCode.isEmpty() ? std::nullopt : std::optional<QString>(countryCode),
                       a.role,
                       a.verified,
                       a.mustChangePassword};
    return m_store.addUser(user, ago(days(30)));
}

QString Seeder::conversation(std::initializer_list<const char*> usernames, const char* title, Instant at) {
    QStringList names;
    for (const char* name : usernames)
        names.append(QString::fromUtf8(name));
    return m_store.addConversation(
        names, title ? std::optional<QString>(QString::fromUtf8(title)) : std::nullopt, at);
}

QString Seeder::file(const char* uploader, const char* name, const char* type, std::string_view bytes,
                     Instant at) {
    const MediaRecord record{randomId(),
                             m_ids.value(QString::fromUtf8(uploader)),
                             QString::fromUtf8(name),
                             QString::fromUtf8(type),
                             std::int64_t(bytes.size()),
                             at};
    m_media.write(record.id, bytes);
    m_store.addMedia(record);
    return record.id;
}

void Seeder::say(const QString& conversation, const char* sender, const char* body, Instant at,
                 const QStringList& media) {
    const std::optional<QString> text = body ? std::optional<QString>(QString::fromUtf8(body)) : std::nullopt;
    m_store.addMessage(m_ids.value(QString::fromUtf8(sender)), conversation, text, media, at);
}

void Seeder::read(const QString& conversation, std::initializer_list<const char*> usernames) {
    for (const char* name : usernames)
        m_store.readMessages(m_ids.value(QString::fromUtf8(name)), conversation);
}

void Seeder::run() {
    for (const Account& account : accounts)
        m_ids.insert(QString::fromUtf8(account.username), addAccount(account));

    // Odd milliseconds, as real messages have.
    const auto at = [this](auto age, int ms) {
        return ago(duration_cast<milliseconds>(age) + milliseconds(ms));
    };

    const QString omar = conversation({"amina", "omar"}, nullptr, at(days(4), 0));
    say(omar, "omar", "السلام عليكم يا أمينة! كيف حالك؟", at(days(3) + hours(2), 412));
    say(omar, "amina", "وعليكم السلام، الحمد لله بخير. وأنت؟", at(days(3) + hours(1), 87));
    say(omar, "omar", "بخير والحمد لله. هل أنهيتِ التقرير؟", at(days(2) + hours(5), 903));
    say(omar, "amina", "تقريبًا، سأرسله غدًا إن شاء الله", at(days(2) + hours(4), 250));
    read(omar, {"amina", "omar"});
    say(omar, "omar", "تذكير: الاجتماع غدًا الساعة العاشرة صباحًا", at(minutes(42), 615));
    say(omar, "omar", "ولا تنسي الملف 📎", at(minutes(41), 78)); // two unread for amina

    const QString layla = conversation({"amina", "layla"}, nullptr, at(days(5), 0));
    say(layla, "layla", "Are we still on for coffee on Thursday?", at(days(2), 331));
    say(layla, "amina", "Yes! The usual place near the Corniche?", at(days(1) + hours(23), 742));
    say(layla, "layla", "Perfect, see you at 5 ☕", at(days(1) + hours(22), 19));
    read(layla, {"amina", "layla"});

    const QString youssef = conversation({"amina", "youssef"}, nullptr, at(days(3), 0));
    const QString sunset = file("youssef", "essaouira-sunset.png", "image/png",
                                std::string_view(reinterpret_cast<const char*>(sunsetPng), sizeof sunsetPng),
                                at(days(1) + hours(3), 0));
    say(youssef, "youssef", "Salam Amina! The sunset from Essaouira yesterday 🌅", at(days(1) + hours(3), 560),
        {sunset});
    say(youssef, "amina", "ما شاء الله، جميل جدًا! 😍", at(days(1) + hours(2), 14));
    read(youssef, {"amina", "youssef"});

    const QString group =
        conversation({"amina", "omar", "layla", "james"}, "Weekend in Alexandria 🌊", at(days(2), 0));
    say(group, "amina", "Who's in for Alexandria this weekend?", at(days(1), 120));
    say(group, "layla", "Me! 🙋‍♀️", at(hours(23), 808));
    say(group, "james", "Count me in. I'll book the train tickets.", at(hours(22), 455));
    say(group, "omar", "أنا معكم إن شاء الله", at(hours(21), 67));
    const QString times = file("james", "train-times.txt", "text/plain",
                               std::string_view(trainTimes, sizeof trainTimes - 1), at(hours(20), 0));
    say(group, "james", "Here are the train times", at(hours(20), 391), {times});
    read(group, {"amina", "omar", "layla", "james"});
    say(group, "layla", "Don't forget sunscreen! ☀️", at(hours(2), 933)); // one unread
    read(group, {"layla"});

    const QString sara = conversation({"amina", "sara"}, nullptr, at(days(1), 0));
    say(sara, "sara", "Hi Amina, did you get the invitation for the launch event?", at(hours(5), 271));
    say(sara, "amina", "Not yet — can you forward it?", at(hours(4), 640));
    read(sara, {"amina", "sara"});
    say(sara, "sara", "Sent! أرسلتها الآن", at(hours(3), 58));

    const QString james = conversation({"amina", "james"}, nullptr, at(days(8), 0));
    say(james, "james", "Thanks again for the translation help last week!", at(days(6), 505));
    say(james, "amina", "Anytime, James 🙂", at(days(6) - minutes(10), 177));
    read(james, {"amina", "james"});

    const QString welcome = conversation({"admin", "newbie"}, nullptr, at(days(1), 0));
    say(welcome, "admin", "Welcome to Lumora! Please choose a new password after signing in.",
        at(hours(6), 222));

    const QString elsewhere = conversation({"claire", "james"}, nullptr, at(days(4), 0));
    say(elsewhere, "claire", "Bonjour James ! Tu viens au vernissage samedi ?", at(days(3), 846));
    say(elsewhere, "james", "Bien sûr, à samedi !", at(days(3) - minutes(5), 12));
    read(elsewhere, {"claire", "james"});
}

void printAccounts() {
    std::printf("Demo accounts:\n");
    for (const Account& a : accounts) {
        const char* note = a.role == UserRole::admin                 ? "(administrator)"
                           : a.mustChangePassword                    ? "(must change the password)"
                           : std::string_view(a.username) == "amina" ? "(the sign-in screen's demo account)"
                                                                     : "";
        std::printf("  %-8s %-13s%s\n", a.username, a.password, note);
    }
    std::fflush(stdout);
}

} // namespace

bool seedDemoData(Store& store, const MediaFiles& media, Instant now) {
    bool seeded = false;
    store.atomically([&] {
        if (!store.isEmpty())
            return;
        Seeder(store, media, now).run();
        seeded = true;
    });
    if (seeded)
        printAccounts();
    return seeded;
}

} // namespace lumora::devservice
