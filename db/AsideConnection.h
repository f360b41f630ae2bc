#pragma once

#include <QString>

#include <functional>
#include <mutex>

namespace vornic {

class Database;

// A connection of a worker thread's own to the program's database, for a pass that only reads: a long pass then
// holds neither the program's connection nor its lock, and the windows go on using both. The connection is opened
// on the worker's thread and closed when the pass returns.
//
// cancel() may come from any thread: it ends the pass's running statement at once (the pass then throws) and keeps
// a pass that has not yet begun from beginning.
class AsideConnection final {
public:
    explicit AsideConnection(QString databaseName);
    Q_DISABLE_COPY_MOVE(AsideConnection)

    // Runs pass on a new connection, on the calling thread. Throws DatabaseError when the database cannot be
    // opened and Failure when the connection was cancelled before the pass began.
    void run(const std::function<void(Database&)>& pass);
    void cancel();
    bool isCancelled() const;

private:
    QString databaseName_;
    mutable std::mutex mutex_;
    Database* open_ = nullptr; // while a pass runs; cancel() reaches it only under mutex_
    bool cancelled_ = false;
};

} // namespace vornic
