#include "TestSupport.h"
#include "core/store/LocalStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace lumora;
using namespace Qt::StringLiterals;

namespace {

MessageDTO message(int i) {
    MessageDTO m;
    m.id = u"m%1"_s.arg(i);
    m.conversationId = u"c1"_s;
    m.senderId = u"u2"_s;
    m.body = u"message %1"_s.arg(i);
    m.createdAt = Instant{std::chrono::milliseconds{1'790'000'000'000 + i * 1000}};
    return m;
}

ConversationDTO conversation(const QString& id) {
    ConversationDTO c;
    c.id = id;
    c.title = id.toUpper();
    c.updatedAt = Instant{std::chrono::milliseconds{1'790'000'000'000}};
    return c;
}

} // namespace

// The user's local store in a file of its own: what goes in comes back after reopening, and a file
// that cannot be used is moved aside rather than failing the client.
class LocalStoreTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path() const { return dir.filePath(u"store.sqlite"_s); }

private Q_SLOTS:
    void cleanup() { LocalStore::remove(path()); }

    void keepsWhatIsSavedAcrossReopening() {
        {
            auto store = LocalStore::open(path());
            QVERIFY(store);
            store->saveInbox({conversation(u"b"_s), conversation(u"a"_s), conversation(u"d"_s)});
            ConversationDTO renamed = conversation(u"d"_s);
            renamed.title = u"D, renamed"_s;
            // Only what differs is written: c is new, a gone, b moved, d changed in place.
            store->saveInbox({conversation(u"c"_s), conversation(u"b"_s), renamed}, "\"inbox-2\"");
            QList<MessageDTO> many;
            for (int i = 0; i < LocalStore::keptMessages + 2; ++i)
                many.append(message(i));
            store->saveMessages(u"c1"_s, many, "\"c1-1\"");
            many.append(message(LocalStore::keptMessages + 2)); // the window slides by one
            store->saveMessages(u"c1"_s, many, "\"c1-2\"");
            store->saveMessages(u"c2"_s, {message(1)}, "\"c2-1\"");
            store->saveDraft({u"c1"_s, u"half a thought"_s, u"/home/u/plan.pdf"_s, u"plan.pdf"_s});
            store->saveDraft({u"c2"_s, u"gone"_s, {}, {}});
            store->saveDraft({u"c2"_s, {}, {}, {}}); // emptied: deleted
            const Instant at{std::chrono::milliseconds{1'790'000'000'000}};
            store->saveUnsent({u"l2"_s, u"c1"_s, u"me"_s, u"second"_s, {}, {}, at + std::chrono::seconds(1)});
            store->saveUnsent({u"l1"_s, u"c1"_s, u"me"_s, {}, u"/tmp/a.png"_s, u"a.png"_s, at});
            store->saveUnsent({u"l3"_s, u"c1"_s, u"me"_s, u"sent after all"_s, {}, {}, at});
            store->removeUnsent(u"l3"_s);
        }
        QCOMPARE(QFile::permissions(path()) & 0x0077, QFileDevice::Permissions());
        auto store = LocalStore::open(path());
        QVERIFY(store && !store->movedAside());
        ConversationDTO renamed = conversation(u"d"_s);
        renamed.title = u"D, renamed"_s;
        QCOMPARE(store->inbox(), (QList{conversation(u"c"_s), conversation(u"b"_s), renamed}));
        const QList<MessageDTO> kept = store->messages(u"c1"_s);
        QCOMPARE(kept.size(), LocalStore::keptMessages);
        QCOMPARE(kept.first(), message(3));
        QCOMPARE(kept.last(), message(LocalStore::keptMessages + 2));
        QCOMPARE(store->inboxTag(), "\"inbox-2\"");
        QCOMPARE(store->messagesTag(u"c2"_s), "\"c2-1\"");
        QCOMPARE(store->messagesTag(u"c1"_s), QByteArray()); // it names more than the kept 500
        QCOMPARE(store->drafts(),
                 (QList<StoredDraft>{{u"c1"_s, u"half a thought"_s, u"/home/u/plan.pdf"_s, u"plan.pdf"_s}}));
        const QList<StoredUnsent> unsent = store->unsent();
        QCOMPARE(unsent.size(), 2);
        QCOMPARE(unsent[0].localId, u"l1"_s);
        QCOMPARE(unsent[0].attachmentName, u"a.png"_s);
        QCOMPARE(unsent[1].text, u"second"_s);
    }

    // A store from the first version (before the session and the tags were kept): upgraded in place,
    // nothing lost.
    void olderStoresAreUpgraded() {
        LocalStore::open(path())->saveDraft({u"c1"_s, u"from before"_s, {}, {}});
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path()).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "DROP TABLE session; DROP TABLE tags; PRAGMA user_version = 1", nullptr,
                              nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        auto store = LocalStore::open(path());
        QVERIFY(store && !store->movedAside());
        QCOMPARE(store->drafts().value(0).text, u"from before"_s);
        UserDTO user;
        user.id = u"u1"_s;
        user.username = u"amina"_s;
        store->saveSession(u"http://127.0.0.1:3001"_s, user);
        QCOMPARE(store->session(), std::pair(u"http://127.0.0.1:3001"_s, user));
    }

    // Damage inside a file that opens: found when read, set aside; the next start begins anew.
    void damageFoundInUseIsSetAside() {
        {
            auto store = LocalStore::open(path());
            QList<MessageDTO> many;
            for (int i = 0; i < LocalStore::keptMessages; ++i)
                many.append(message(i));
            store->saveMessages(u"c1"_s, many);
        }
        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(3 * 4096));
        file.write(QByteArray(8 * 4096, '\x5a'));
        file.close();
        auto store = LocalStore::open(path());
        QVERIFY(store && !store->movedAside());
        QCOMPARE(store->messages(u"c1"_s), QList<MessageDTO>{});
        QVERIFY(store->movedAside() && QFile::exists(*store->movedAside()));
        QFile::remove(*store->movedAside());
        store.reset();
        QVERIFY(LocalStore::open(path())->messages(u"c1"_s).isEmpty());
    }

    // Garbage, and a file from a newer Lumora, are moved aside whole; the new store works.
    void unusableFilesAreMovedAside_data() {
        QTest::addColumn<bool>("newer");
        QTest::newRow("damaged") << false;
        QTest::newRow("from a newer version") << true;
    }

    void unusableFilesAreMovedAside() {
        QFETCH(bool, newer);
        if (newer) {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(path()).constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        } else {
            QFile file(path());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(8192, '\x5a'));
        }
        const QByteArray before = [&] {
            QFile f(path());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        auto store = LocalStore::open(path());
        QVERIFY(store && store->movedAside());
        QFile aside(*store->movedAside());
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), before);
        store->saveDraft({u"c1"_s, u"still works"_s, {}, {}});
        QCOMPARE(store->drafts().size(), 1);
        aside.remove();
    }
};

QTEST_GUILESS_MAIN(LocalStoreTest)
#include "tst_local_store.moc"
