#include "Sqlite.h"

#include <sqlite3.h>

namespace tessik::sqlite {

namespace {

QString describe(int code, const QString& message, const QString& sql) {
    QString text = QStringLiteral("SQLite error %1: %2").arg(code).arg(message);
    if (!sql.isEmpty()) {
        text += QStringLiteral(" - while executing `%1`").arg(sql.simplified());
    }
    return text;
}

} // namespace

DatabaseError::DatabaseError(int code, const QString& message, const QString& sql)
    : Error(describe(code, message, sql)), m_code(code) {}

Connection::Connection(const QString& path) {
    const QByteArray file = path.toUtf8();
    const int rc = sqlite3_open_v2(file.constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db))
                                     : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DatabaseError(rc, message);
    }
    sqlite3_extended_result_codes(m_db, 1);
    // The application and tessik-cli may write the same file at once; wait
    // for the other's transaction instead of failing at the first lock.
    sqlite3_busy_timeout(m_db, 5000);
    try {
        execute(QStringLiteral("PRAGMA foreign_keys = ON"));
    } catch (...) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

Connection::~Connection() {
    sqlite3_close_v2(m_db);
}

void Connection::fail(int code, const QString& sql) const {
    throw DatabaseError(code, QString::fromUtf8(sqlite3_errmsg(m_db)), sql);
}

void Connection::execute(const QString& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const QString message = error ? QString::fromUtf8(error) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(error);
        throw DatabaseError(rc, message, sql);
    }
}

Statement Connection::prepare(const QString& sql) {
    return Statement(*this, sql);
}

qint64 Connection::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(m_db);
}

qint64 Connection::changes() const {
    return sqlite3_changes64(m_db);
}

bool Connection::inTransaction() const {
    return sqlite3_get_autocommit(m_db) == 0;
}

Statement::Statement(Connection& connection, const QString& sql)
    : m_connection(&connection), m_sql(sql) {
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(connection.handle(), text.constData(),
                                      static_cast<int>(text.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        connection.fail(rc, sql);
    }
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_connection(other.m_connection), m_stmt(other.m_stmt), m_sql(std::move(other.m_sql)) {
    other.m_stmt = nullptr;
}

Statement& Statement::bind(int index, const QString& value) {
    const QByteArray text = value.toUtf8();
    const int rc = sqlite3_bind_text64(m_stmt, index, text.constData(),
                                       static_cast<sqlite3_uint64>(text.size()),
                                       SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) {
        m_connection->fail(rc, m_sql);
    }
    return *this;
}

Statement& Statement::bind(int index, const std::optional<QString>& value) {
    return value ? bind(index, *value) : bindNull(index);
}

Statement& Statement::bind(int index, double value) {
    const int rc = sqlite3_bind_double(m_stmt, index, value);
    if (rc != SQLITE_OK) {
        m_connection->fail(rc, m_sql);
    }
    return *this;
}

Statement& Statement::bind(int index, qint64 value) {
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK) {
        m_connection->fail(rc, m_sql);
    }
    return *this;
}

Statement& Statement::bind(int index, const QByteArray& value) {
    const int rc = sqlite3_bind_blob64(m_stmt, index, value.constData(),
                                       static_cast<sqlite3_uint64>(value.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) {
        m_connection->fail(rc, m_sql);
    }
    return *this;
}

Statement& Statement::bindNull(int index) {
    const int rc = sqlite3_bind_null(m_stmt, index);
    if (rc != SQLITE_OK) {
        m_connection->fail(rc, m_sql);
    }
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    m_connection->fail(rc, m_sql);
}

void Statement::run() {
    while (step()) {
    }
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

QString Statement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    const int size = sqlite3_column_bytes(m_stmt, column);
    return QString::fromUtf8(data, size);
}

std::optional<QString> Statement::optionalText(int column) const {
    if (isNull(column)) {
        return std::nullopt;
    }
    return text(column);
}

double Statement::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

qint64 Statement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

QByteArray Statement::blob(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
    const int size = sqlite3_column_bytes(m_stmt, column);
    return QByteArray(data, size);
}

QString Statement::columnName(int column) const {
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

int Statement::columnCount() const {
    return sqlite3_column_count(m_stmt);
}

} // namespace tessik::sqlite
