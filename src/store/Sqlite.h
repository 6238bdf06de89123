#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QString>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace tessik::sqlite {

// An SQLite failure: the engine's result code and its message, with the
// statement that failed when there is one.
class DatabaseError : public Error {
public:
    DatabaseError(int code, const QString& message, const QString& sql = QString());
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

class Statement;

// One SQLite connection. Not thread-safe: DatabaseQueue serialises access.
class Connection {
public:
    // Opens (creating if needed) the file with the engine's default settings
    // and foreign-key enforcement on. Throws DatabaseError.
    explicit Connection(const QString& path);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs one or more statements without results. Throws DatabaseError.
    void execute(const QString& sql);
    Statement prepare(const QString& sql);

    qint64 lastInsertRowid() const;
    // Rows changed by the most recent INSERT, UPDATE or DELETE.
    qint64 changes() const;
    bool inTransaction() const;

    sqlite3* handle() const { return m_db; }
    [[noreturn]] void fail(int code, const QString& sql = QString()) const;

private:
    sqlite3* m_db = nullptr;
};

// A prepared statement. Binding indexes start at 1, column indexes at 0.
class Statement {
public:
    Statement(Connection& connection, const QString& sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement& operator=(Statement&&) = delete;

    Statement& bind(int index, const QString& value);
    Statement& bind(int index, const std::optional<QString>& value);
    Statement& bind(int index, double value);
    Statement& bind(int index, qint64 value);
    Statement& bind(int index, int value) { return bind(index, static_cast<qint64>(value)); }
    Statement& bind(int index, bool value) { return bind(index, static_cast<qint64>(value ? 1 : 0)); }
    Statement& bind(int index, const QByteArray& value);
    Statement& bindNull(int index);

    // Advances to the next row; false when done. Throws DatabaseError.
    bool step();
    // Steps through to the end, for statements without results.
    void run();
    void reset();

    bool isNull(int column) const;
    QString text(int column) const;
    std::optional<QString> optionalText(int column) const;
    double real(int column) const;
    qint64 integer(int column) const;
    QByteArray blob(int column) const;
    QString columnName(int column) const;
    int columnCount() const;

private:
    Connection* m_connection;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
};

} // namespace tessik::sqlite
