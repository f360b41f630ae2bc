#pragma once

#include "db/BlobId.h"

#include <QObject>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>

namespace Firebird {
class IAttachment;
class ITransaction;
} // namespace Firebird

namespace vornic {

// The program's one connection and its one transaction. Every data set and statement of every window and
// worker goes through it.
//
// Threads: the download worker shares the connection with the user-interface thread. Whoever runs a
// statement and the commit that makes it permanent holds lock() across both, so that the two sides never
// interleave; every call here also takes the lock by itself.
class Database final : public QObject {
    Q_OBJECT

public:
    // The built-in account: what the program logs in with unless the environment names another
    // (databaseAccount()).
    static inline const QString kUser = QStringLiteral("sysdba");
    static inline const QString kPassword = QStringLiteral("plumtower");

    explicit Database(QObject* parent = nullptr);
    // Commits what is pending before the connection closes: the server would otherwise roll the open
    // transaction back, and changes the operator had posted and seen would be gone at the next start.
    ~Database() override;
    Q_DISABLE_COPY_MOVE(Database)

    // Opens the database: a file path opens it in-process, "host:path" reaches a server. Throws DatabaseError,
    // whose reason says in the operator's words why the database could not be opened.
    void connect(const QString& databaseName);
    bool isConnected() const;
    QString databaseName() const { return name_; }

    [[nodiscard]] std::unique_lock<QRecursiveMutex> lock() { return std::unique_lock(mutex_); }

    // How long a change waits for a row that another user's transaction holds before it is refused; from the
    // next transaction on.
    void setLockTimeout(int seconds) { lockTimeoutSeconds_ = seconds; }

    // Makes the changes so far permanent; the transaction, its open cursors and every data set stay as they are.
    void commitRetaining();
    // Ends the transaction. Every data set on it closes (transactionEnding); the next statement starts anew.
    void commit();
    // Undoes every change since the last commit and ends the transaction, as commit() does.
    void rollback();
    // The first half of a commit: the database runs the checks it defers to the commit (the row size of a table
    // whose columns changed among them) and refuses the changes now if they fail. Nothing is made permanent;
    // only commit() or rollback() may follow.
    void prepareCommit();

    // Runs one statement that takes no parameters and returns no rows. It is not committed.
    void execute(const QString& sql);
    // The result column names of a select statement, as the database reports them; no row is fetched.
    QStringList columnNames(const QString& selectSql);

    QByteArray readBlob(const BlobId& id);

    // Asks the database to end the statement running now on this connection: it then fails with the engine's
    // cancellation. The one call that may come from another thread than the one using the connection; the caller
    // sees to it that the connection is not closed meanwhile (AsideConnection). The engine forgets a cancellation
    // that comes between two of its calls, when a pass is reading a row or opening its next statement, so the
    // statements of this connection refuse to go on from then until resumeAfterCancel().
    void cancelOperation() noexcept;
    bool isCancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }
    // The work that was cancelled has returned: the connection's statements run again.
    void resumeAfterCancel() noexcept { cancelled_.store(false, std::memory_order_relaxed); }

    // For the statement layer.
    Firebird::IAttachment* attachment();
    Firebird::ITransaction* transaction(); // starts the transaction when none is running

Q_SIGNALS:
    // Emitted before a full commit ends the transaction: cursors must let go of it.
    void transactionEnding();

private:
    void close() noexcept;

    QString name_;
    QRecursiveMutex mutex_;
    Firebird::IAttachment* attachment_ = nullptr;
    Firebird::ITransaction* transaction_ = nullptr;
    int lockTimeoutSeconds_ = 30;
    std::atomic<bool> cancelled_ = false;
};

// The account the program logs in with. An office that gives each operator an account of their own sets ISC_USER
// and ISC_PASSWORD, which the database's own command-line tools read too; without both, the built-in account.
struct DatabaseAccount {
    QString user;
    QString password;
};
DatabaseAccount databaseAccount();

// Whether a database name reaches a server ("host:path", "host/port:path", "inet://host/path") rather than
// naming a file on this computer. A drive letter ("C:\...") and a path from the root or the current folder are files,
// colons or not.
bool namesDatabaseServer(const QString& databaseName);

// Text as the database holds it: Windows-1251 bytes. Throws Failure for a character the code page lacks.
QByteArray toDatabaseText(const QString& text);

} // namespace vornic
