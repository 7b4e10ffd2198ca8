#include "sqlite/Sqlite.h"

#include <stdexcept>
#include <string>

namespace lumora::sqlite {

Database::Database(const std::string& path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        m_db = nullptr;
        throw std::runtime_error("Cannot open " + path + ": " + message);
    }
    // Another process (the service's add-user while it runs) may hold the lock briefly.
    sqlite3_busy_timeout(m_db, 5000);
}

Database::~Database() {
    sqlite3_close(m_db);
}

void Database::exec(const char* sql) {
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        raise(sql);
}

void Database::raise(const char* what) const {
    throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(m_db) + " (" + what + ")");
}

Statement::Statement(Database& db, const char* sql)
    : m_db(db) {
    if (sqlite3_prepare_v2(db.handle(), sql, -1, &m_stmt, nullptr) != SQLITE_OK)
        db.raise(sql);
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    m_db.raise(sqlite3_sql(m_stmt));
}

void Statement::run() {
    while (step()) {
    }
}

QString Statement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
}

std::string Statement::bytes(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
    return data ? std::string(data, size_t(sqlite3_column_bytes(m_stmt, column))) : std::string();
}

std::optional<QString> Statement::optionalText(int column) const {
    if (isNull(column))
        return std::nullopt;
    return text(column);
}

void Statement::bindOne(int index, double value) {
    if (sqlite3_bind_double(m_stmt, index, value) != SQLITE_OK)
        m_db.raise("bind");
}

void Statement::bindOne(int index, std::int64_t value) {
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK)
        m_db.raise("bind");
}

void Statement::bindOne(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    if (sqlite3_bind_text64(m_stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK)
        m_db.raise("bind");
}

void Statement::bindOne(int index, const std::optional<QString>& value) {
    if (!value) {
        if (sqlite3_bind_null(m_stmt, index) != SQLITE_OK)
            m_db.raise("bind");
        return;
    }
    bindOne(index, *value);
}

void Statement::bindOne(int index, const std::string& value) {
    if (sqlite3_bind_blob64(m_stmt, index, value.data(), sqlite3_uint64(value.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        m_db.raise("bind");
}

Transaction::Transaction(Database& db)
    : m_db(db)
    , m_nested(sqlite3_get_autocommit(db.handle()) == 0) {
    m_db.exec(m_nested ? "SAVEPOINT nested" : "BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (m_done)
        return;
    const char* undo = m_nested ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK";
    sqlite3_exec(m_db.handle(), undo, nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    m_db.exec(m_nested ? "RELEASE nested" : "COMMIT");
    m_done = true;
}

void migrate(Database& db, std::span<const char* const> migrations) {
    Transaction transaction(db);
    const int latest = int(migrations.size());
    const int version = [&db] {
        Statement query(db, "PRAGMA user_version");
        return query.step() ? int(query.integer(0)) : 0;
    }();
    if (version > latest)
        throw std::runtime_error("The database has schema version " + std::to_string(version) +
                                 ", newer than this program knows (" + std::to_string(latest) + ")");
    for (int v = version; v < latest; ++v)
        db.exec(migrations[size_t(v)]);
    if (version != latest)
        db.exec(("PRAGMA user_version = " + std::to_string(latest)).c_str());
    transaction.commit();
}

} // namespace lumora::sqlite
