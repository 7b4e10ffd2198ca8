#include "core/store/LocalStore.h"

#include "wire/WireDecode.h"
#include "wire/WireEncode.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <stdexcept>

Q_LOGGING_CATEGORY(lcStore, "lumora.store")

namespace lumora {

namespace {

// Entry N upgrades user_version N to N + 1. Never edit a shipped entry: append a new one.
// Records are kept as the service's JSON, so a new field needs no migration.
const char* const migrations[] = {
    R"sql(
CREATE TABLE conversations (
    scope TEXT NOT NULL DEFAULT '', -- always empty (one inbox), so both lists are written alike
    id TEXT NOT NULL,
    position REAL NOT NULL,
    json BLOB NOT NULL,
    PRIMARY KEY (scope, id)
);
CREATE TABLE messages (
    conversation_id TEXT NOT NULL,
    id TEXT NOT NULL,
    position REAL NOT NULL,
    json BLOB NOT NULL,
    PRIMARY KEY (conversation_id, id)
);
CREATE TABLE drafts (
    conversation_id TEXT PRIMARY KEY,
    text TEXT NOT NULL,
    file_path TEXT,
    file_name TEXT
);
CREATE TABLE unsent (
    local_id TEXT PRIMARY KEY,
    conversation_id TEXT NOT NULL,
    sender_id TEXT NOT NULL,
    text TEXT NOT NULL,
    file_path TEXT,
    attachment_name TEXT,
    created_at INTEGER NOT NULL
);
)sql",
    // Who the store belongs to, so that a start can show their screens before the service answers.
    R"sql(
CREATE TABLE session (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    origin TEXT NOT NULL,
    user BLOB NOT NULL
);
)sql",
    // The service's tag for each kept list, so that the first question after a start can be "if changed".
    R"sql(
CREATE TABLE tags (
    list TEXT PRIMARY KEY,
    etag BLOB NOT NULL
);
)sql",
};

const QString inboxList = QStringLiteral("inbox");
QString messagesList(const QString& conversationId) {
    return QStringLiteral("messages ") + conversationId;
}

std::string local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// An empty file only its owner may read, before SQLite opens it (its journal files take its mode).
void createPrivately(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::setPermissions(QFileInfo(path).absolutePath(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (QFile file(path); !file.exists() && file.open(QIODevice::WriteOnly))
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

std::unique_ptr<sqlite::Database> openChecked(const QString& path) {
    createPrivately(path);
    auto db = std::make_unique<sqlite::Database>(local(path));
    // Reads the header and the schema: what is no database fails here. (A full check would read the
    // whole file at every start; damage found later sets the file aside then.)
    sqlite::Statement(*db, "PRAGMA schema_version").step();
    // First, so that a file from a newer Lumora is moved aside as it was.
    sqlite::migrate(*db, migrations);
    // WAL: a write never waits for a reader; NORMAL: a crash of the program loses nothing.
    db->exec("PRAGMA journal_mode = WAL");
    db->exec("PRAGMA synchronous = NORMAL");
    return db;
}

// Where a damaged file goes: beside it, named for the moment it was found.
QString asideName(const QString& path) {
    return path + QStringLiteral(".damaged-") +
           QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmss"));
}

} // namespace

template <class F> std::invoke_result_t<F> LocalStore::guarded(const char* what, F&& operation) {
    try {
        return operation();
    } catch (const std::exception& e) {
        qCWarning(lcStore, "%s failed: %s", what, e.what());
        const std::string_view message = e.what();
        if (!m_movedAside &&
            (message.find("malformed") != message.npos || message.find("not a database") != message.npos)) {
            // Damaged in use: set aside, so that the next start begins anew; this run goes on without it.
            m_movedAside = asideName(m_path);
            QFile::rename(m_path, *m_movedAside);
        }
        if constexpr (!std::is_void_v<std::invoke_result_t<F>>)
            return {};
    }
}

namespace {

template <class T> std::optional<T> decoded(const std::string& json) {
    auto record = decodeJson<T>(QByteArrayView(json.data(), qsizetype(json.size())));
    return record ? std::optional<T>(std::move(*record)) : std::nullopt;
}

} // namespace

QString LocalStore::pathFor(const QString& origin, const QString& userId) {
    const QByteArray digest =
        QCryptographicHash::hash((origin + QLatin1Char(' ') + userId).toUtf8(), QCryptographicHash::Sha256)
            .toHex();
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Lumora/store-") + QString::fromLatin1(digest.left(32)) +
           QStringLiteral(".sqlite");
}

std::unique_ptr<LocalStore> LocalStore::open(const QString& path, QString* failure) {
    std::optional<QString> movedAside;
    try {
        return std::unique_ptr<LocalStore>(new LocalStore(path, openChecked(path)));
    } catch (const std::exception& e) {
        qCWarning(lcStore, "%s cannot be used (%s): starting anew", qUtf8Printable(path), e.what());
        movedAside = asideName(path);
        QFile::rename(path, *movedAside);
        for (const char* journal : {"-wal", "-shm"})
            QFile::remove(path + QLatin1String(journal));
    }
    try {
        std::unique_ptr<LocalStore> store(new LocalStore(path, openChecked(path)));
        store->m_movedAside = movedAside;
        return store;
    } catch (const std::exception& e) {
        if (failure)
            *failure = QString::fromUtf8(e.what());
        return nullptr;
    }
}

std::optional<UserDTO> LocalStore::storedUser(const QString& origin) {
    const QDir folder(QFileInfo(pathFor(origin, QString())).absolutePath());
    for (const QFileInfo& file :
         folder.entryInfoList({QStringLiteral("store-*.sqlite")}, QDir::Files, QDir::Time)) {
        const std::unique_ptr<LocalStore> store = open(file.filePath());
        if (!store)
            continue;
        if (const auto session = store->session();
            session && session->first == origin && pathFor(origin, session->second.id) == file.filePath())
            return session->second;
    }
    return std::nullopt;
}

void LocalStore::saveSession(const QString& origin, const UserDTO& user) {
    guarded("saving the session's user", [&] {
        sqlite::Statement(*m_db, "INSERT OR REPLACE INTO session (id, origin, user) VALUES (1, ?1, ?2)")
            .bind(origin, encodeJson(user).toStdString())
            .run();
    });
}

void LocalStore::writeTag(const QString& list, const QByteArray& etag) {
    if (etag.isEmpty())
        sqlite::Statement(*m_db, "DELETE FROM tags WHERE list = ?1").bind(list).run();
    else
        sqlite::Statement(*m_db, "INSERT OR REPLACE INTO tags (list, etag) VALUES (?1, ?2)")
            .bind(list, etag.toStdString())
            .run();
}

QByteArray LocalStore::inboxTag() {
    return tag(inboxList);
}

QByteArray LocalStore::messagesTag(const QString& conversationId) {
    return tag(messagesList(conversationId));
}

QByteArray LocalStore::tag(const QString& list) {
    return guarded("reading a list's tag", [&] {
        sqlite::Statement query(*m_db, "SELECT etag FROM tags WHERE list = ?1");
        query.bind(list);
        return query.step() ? QByteArray::fromStdString(query.bytes(0)) : QByteArray();
    });
}

void LocalStore::clearSession() {
    guarded("forgetting the session's user", [&] { sqlite::Statement(*m_db, "DELETE FROM session").run(); });
}

std::optional<std::pair<QString, UserDTO>> LocalStore::session() {
    return guarded("reading the session's user", [&]() -> std::optional<std::pair<QString, UserDTO>> {
        sqlite::Statement query(*m_db, "SELECT origin, user FROM session");
        if (!query.step())
            return std::nullopt;
        auto user = decoded<UserDTO>(query.bytes(1));
        return user ? std::optional(std::pair(query.text(0), std::move(*user))) : std::nullopt;
    });
}

void LocalStore::remove(const QString& path) {
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

namespace {

// Writes `records` in their order over what `kept` says is stored (id -> position and record), touching
// only what changed: a record that is new or different, or out of order with those after it, is
// written; the others keep their rows and positions. Positions are numbers whose order is the list's,
// so a conversation moving to the top, or a new message at the end, is one row written.
template <class T>
void writeOrdered(sqlite::Database& db, QHash<QString, LocalStore::Kept<T>>& kept, const QList<T>& records,
                  const char* upsertSql, const char* deleteSql, const QString& scope) {
    sqlite::Transaction transaction(db);
    QSet<QString> present;
    for (const T& record : records)
        present.insert(record.id);
    sqlite::Statement remove(db, deleteSql);
    for (auto it = kept.begin(); it != kept.end();) {
        if (present.contains(it.key())) {
            ++it;
            continue;
        }
        remove.bind(scope, it.key()).run();
        remove.reset();
        it = kept.erase(it);
    }
    double highest = 0;
    for (const auto& k : kept)
        highest = std::max(highest, k.position);
    sqlite::Statement upsert(db, upsertSql);
    std::optional<double> next; // the position of the record after this one
    for (qsizetype i = records.size() - 1; i >= 0; --i) {
        const T& record = records[i];
        auto found = kept.find(record.id);
        double position;
        if (found != kept.end() && (!next || found->position < *next)) {
            position = found->position;
            if (found->record == record) {
                next = position;
                continue;
            }
        } else {
            position = next ? *next - 1 : highest + 1;
        }
        upsert.bind(scope, record.id, position, encodeJson(record).toStdString()).run();
        upsert.reset();
        kept.insert(record.id, {position, record});
        next = position;
    }
    transaction.commit();
}

template <class T>
QList<T> readOrdered(sqlite::Database& db, QHash<QString, LocalStore::Kept<T>>& kept, const char* sql,
                     const QString& scope) {
    QList<T> list;
    kept.clear();
    sqlite::Statement query(db, sql);
    query.bind(scope);
    while (query.step()) {
        if (auto record = decoded<T>(query.bytes(1))) {
            kept.insert(record->id, {query.real(0), *record});
            list.append(std::move(*record));
        }
    }
    return list;
}

} // namespace

void LocalStore::saveInbox(const QList<ConversationDTO>& conversations, const QByteArray& etag) {
    if (!m_inboxRead)
        inbox();
    const bool saved = guarded("saving the inbox", [&] {
        sqlite::Transaction together(*m_db); // the tag names exactly these rows
        writeOrdered(
            *m_db, m_inbox, conversations,
            "INSERT OR REPLACE INTO conversations (scope, id, position, json) VALUES (?1, ?2, ?3, ?4)",
            "DELETE FROM conversations WHERE scope = ?1 AND id = ?2", QString());
        writeTag(inboxList, etag);
        together.commit();
        return true;
    });
    if (!saved)
        m_inboxRead = false; // rolled back: what the file holds is read again next time
}

QList<ConversationDTO> LocalStore::inbox() {
    m_inboxRead = true;
    return guarded("reading the inbox", [&] {
        return readOrdered(*m_db, m_inbox,
                           "SELECT position, json FROM conversations WHERE scope = ?1 ORDER BY position",
                           QString());
    });
}

void LocalStore::saveMessages(const QString& conversationId, const QList<MessageDTO>& all,
                              const QByteArray& etag) {
    if (!m_messages.contains(conversationId))
        messages(conversationId);
    const QList<MessageDTO> newest = all.mid(std::max<qsizetype>(0, all.size() - keptMessages));
    const bool saved = guarded("saving messages", [&] {
        sqlite::Transaction together(*m_db);
        writeOrdered(
            *m_db, m_messages[conversationId], newest,
            "INSERT OR REPLACE INTO messages (conversation_id, id, position, json) VALUES (?1, ?2, ?3, ?4)",
            "DELETE FROM messages WHERE conversation_id = ?1 AND id = ?2", conversationId);
        // A tag for the whole list says nothing about a list cut to its newest messages.
        writeTag(messagesList(conversationId), newest.size() == all.size() ? etag : QByteArray());
        together.commit();
        return true;
    });
    if (!saved)
        m_messages.remove(conversationId);
}

QList<MessageDTO> LocalStore::messages(const QString& conversationId) {
    return guarded("reading messages", [&] {
        return readOrdered(*m_db, m_messages[conversationId],
                           "SELECT position, json FROM messages WHERE conversation_id = ?1 ORDER BY position",
                           conversationId);
    });
}

void LocalStore::saveDraft(const StoredDraft& draft) {
    guarded("saving a draft", [&] {
        if (draft.text.isEmpty() && !draft.filePath) {
            sqlite::Statement(*m_db, "DELETE FROM drafts WHERE conversation_id = ?1")
                .bind(draft.conversationId)
                .run();
            return;
        }
        sqlite::Statement(*m_db,
                          "INSERT OR REPLACE INTO drafts (conversation_id, text, file_path, file_name) "
                          "VALUES (?1, ?2, ?3, ?4)")
            .bind(draft.conversationId, draft.text, draft.filePath, draft.fileName)
            .run();
    });
}

QList<StoredDraft> LocalStore::drafts() {
    return guarded("reading drafts", [&] {
        QList<StoredDraft> list;
        sqlite::Statement query(*m_db, "SELECT conversation_id, text, file_path, file_name FROM drafts");
        while (query.step())
            list.append({query.text(0), query.text(1), query.optionalText(2), query.optionalText(3)});
        return list;
    });
}

void LocalStore::saveUnsent(const StoredUnsent& m) {
    guarded("saving an unsent message", [&] {
        sqlite::Statement(*m_db,
                          "INSERT OR REPLACE INTO unsent (local_id, conversation_id, sender_id, text, "
                          "file_path, attachment_name, created_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)")
            .bind(m.localId, m.conversationId, m.senderId, m.text, m.filePath, m.attachmentName, m.createdAt)
            .run();
    });
}

void LocalStore::removeUnsent(const QString& localId) {
    guarded("removing an unsent message",
            [&] { sqlite::Statement(*m_db, "DELETE FROM unsent WHERE local_id = ?1").bind(localId).run(); });
}

QList<StoredUnsent> LocalStore::unsent() {
    return guarded("reading unsent messages", [&] {
        QList<StoredUnsent> list;
        sqlite::Statement query(*m_db, "SELECT local_id, conversation_id, sender_id, text, file_path, "
                                       "attachment_name, created_at FROM unsent ORDER BY created_at, rowid");
        while (query.step())
            list.append({query.text(0), query.text(1), query.text(2), query.text(3), query.optionalText(4),
                         query.optionalText(5), query.instant(6)});
        return list;
    });
}

} // namespace lumora
