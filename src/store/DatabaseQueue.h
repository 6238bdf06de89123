#pragma once

#include "store/Sqlite.h"

#include <mutex>
#include <type_traits>

namespace tessik {

// The one connection to the clip database and the serial access to it. Every
// read and write runs with the connection to itself, one at a time; callers
// on any thread block until their work is done. Work may call read() or
// write() again from inside (a nested write is a savepoint).
class DatabaseQueue {
public:
    // Opens the file. Throws sqlite::DatabaseError.
    explicit DatabaseQueue(const QString& path);

    // Runs `work(connection)` and returns its result.
    template <class Work>
    auto read(Work&& work) -> std::invoke_result_t<Work, sqlite::Connection&> {
        std::lock_guard lock(m_mutex);
        return work(m_connection);
    }

    // Runs `work(connection)` inside a transaction that commits when it
    // returns and is rolled back whole when it throws (the exception then
    // reaches the caller unchanged).
    template <class Work>
    auto write(Work&& work) -> std::invoke_result_t<Work, sqlite::Connection&> {
        std::lock_guard lock(m_mutex);
        begin();
        try {
            if constexpr (std::is_void_v<std::invoke_result_t<Work, sqlite::Connection&>>) {
                work(m_connection);
                commit();
            } else {
                auto result = work(m_connection);
                commit();
                return result;
            }
        } catch (...) {
            rollback();
            throw;
        }
    }

private:
    void begin();
    void commit();
    void rollback() noexcept;

    std::recursive_mutex m_mutex;
    sqlite::Connection m_connection;
    int m_depth = 0;
};

} // namespace tessik
