#include "DatabaseQueue.h"

namespace tessik {

namespace {
const QString kSavepoint = QStringLiteral("tessik_nested");
}

DatabaseQueue::DatabaseQueue(const QString& path) : m_connection(path) {}

void DatabaseQueue::begin() {
    // IMMEDIATE takes the write lock at once, so a second process writing the
    // same file waits at BEGIN instead of failing halfway through.
    m_connection.execute(m_depth == 0 ? QStringLiteral("BEGIN IMMEDIATE")
                                      : QStringLiteral("SAVEPOINT ") + kSavepoint);
    ++m_depth;
}

void DatabaseQueue::commit() {
    if (m_depth == 1) {
        m_connection.execute(QStringLiteral("COMMIT"));
    } else {
        m_connection.execute(QStringLiteral("RELEASE ") + kSavepoint);
    }
    --m_depth;
}

void DatabaseQueue::rollback() noexcept {
    // A failed COMMIT may have left the transaction open; some errors make
    // SQLite roll back on its own. Either way, end in autocommit mode.
    try {
        if (m_depth == 1) {
            if (m_connection.inTransaction()) {
                m_connection.execute(QStringLiteral("ROLLBACK"));
            }
        } else if (m_depth > 1) {
            m_connection.execute(QStringLiteral("ROLLBACK TO ") + kSavepoint);
            m_connection.execute(QStringLiteral("RELEASE ") + kSavepoint);
        }
    } catch (...) {
        // Nothing more can be done; the original error is what matters.
    }
    --m_depth;
}

} // namespace tessik
