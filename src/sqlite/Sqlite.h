#pragma once

#include "wire/Timestamp.h"

#include <QString>

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace lumora::sqlite {

// One SQLite connection, for the reference service's store and the client's local store. Not
// thread-safe by itself: its owner serialises every use of it.
class Database {
public:
    // Opens or creates the file (":memory:" too); throws std::runtime_error when it cannot.
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const char* sql);
    sqlite3* handle() const { return m_db; }
    std::int64_t changes() const { return sqlite3_changes64(m_db); }
    [[noreturn]] void raise(const char* what) const;

private:
    sqlite3* m_db = nullptr;
};

class Statement {
public:
    Statement(Database& db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds the arguments to ?1, ?2, ... in order.
    template <class... Args> Statement& bind(const Args&... args) {
        int index = 0;
        (bindOne(++index, args), ...);
        return *this;
    }

    bool step(); // true while a row is available
    void run();  // for statements that return no rows
    // Ready to run again with new arguments.
    void reset() { sqlite3_reset(m_stmt); }

    std::int64_t integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    double real(int column) const { return sqlite3_column_double(m_stmt, column); }
    bool flag(int column) const { return integer(column) != 0; }
    bool isNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    QString text(int column) const;
    std::string bytes(int column) const;
    std::optional<QString> optionalText(int column) const;
    Instant instant(int column) const { return Instant{std::chrono::milliseconds{integer(column)}}; }

private:
    void bindOne(int index, std::int64_t value);
    void bindOne(int index, double value);
    void bindOne(int index, int value) { bindOne(index, std::int64_t{value}); }
    void bindOne(int index, bool value) { bindOne(index, std::int64_t{value ? 1 : 0}); }
    void bindOne(int index, Instant value) { bindOne(index, std::int64_t{value.time_since_epoch().count()}); }
    void bindOne(int index, const QString& value);
    void bindOne(int index, const std::optional<QString>& value);
    void bindOne(int index, const std::string& value); // stored as a blob: hashes and raw bytes
    void bindOne(int index, const char*) = delete;     // would silently become a bool

    Database& m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// BEGIN IMMEDIATE takes the write lock up front, so a transaction never fails halfway for want of
// upgrading a read lock. Rolls back unless committed, so a failing request changes nothing. Inside
// another transaction it becomes a savepoint, so the demo data can go in as one unit.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Database& m_db;
    bool m_nested = false;
    bool m_done = false;
};

// Brings the schema up to date in one transaction: entry N of `migrations` upgrades PRAGMA
// user_version N to N + 1. Throws when the file was made by a newer program (a higher version).
void migrate(Database& db, std::span<const char* const> migrations);

} // namespace lumora::sqlite
