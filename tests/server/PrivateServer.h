#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace vornic::test {

// A database server of the test run's own (tools/firebird-server), listening on 127.0.0.1.
class PrivateServer final {
public:
    // The one that CTest starts before the server tests and stops after them.
    static const PrivateServer& shared();

    // Starts one in a temporary folder, stopped at the latest when the object goes: for a test that stops its
    // server, so that the tests running beside it keep theirs.
    PrivateServer();
    ~PrivateServer();
    Q_DISABLE_COPY_MOVE(PrivateServer)

    // The name of a database file in the server's folder, as a client gives it: "127.0.0.1/port:path".
    QString databaseName(const QString& fileName) const;
    void stop();

private:
    explicit PrivateServer(QString folder);

    std::unique_ptr<QTemporaryDir> own_;
    QString folder_;
    QString address_; // "127.0.0.1/port"
};

// A database made from the delivered schema on a server, under a name no other test uses; dropped at the end
// while the server is still there.
class ServerDatabase final {
public:
    explicit ServerDatabase(const PrivateServer& server = PrivateServer::shared());
    ~ServerDatabase();
    Q_DISABLE_COPY_MOVE(ServerDatabase)

    const QString& name() const { return name_; }

private:
    QString name_;
};

} // namespace vornic::test
