#include "db/EngineLockFolder.h"
#include "tools/make_database/DatabaseMaker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace vornic;

namespace {

TEST(EngineLockFolder, IsTheEnvironmentsThenTheSessionsRuntimeFolderThenTheDataFolders) {
    QTemporaryDir runtime;
    const QString data = QStringLiteral("/home/ivanova/.local/share/Vornic_Client/");
    const struct {
        const char* name;
        QStringList variables;
        QString folder;
    } cases[] = {
        {"named",
         {QStringLiteral("FIREBIRD_LOCK=/srv/locks"), QStringLiteral("XDG_RUNTIME_DIR=") + runtime.path()},
         QStringLiteral("/srv/locks")},
        {"runtime folder",
         {QStringLiteral("XDG_RUNTIME_DIR=") + runtime.path()},
         runtime.filePath(QStringLiteral("firebird"))},
        {"runtime folder missing", {QStringLiteral("XDG_RUNTIME_DIR=/nonexistent/run")}, data + QStringLiteral("lock")},
        {"nothing named", {}, data + QStringLiteral("lock")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QProcessEnvironment environment;
        for (const QString& variable : c.variables)
            environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        EXPECT_EQ(engineLockFolderFor(environment, data).toStdString(), c.folder.toStdString());
    }
}

// One workstation account, with a home, a data folder holding a fresh database and a runtime folder of its own.
class Account final {
public:
    Account(const char* name, QStringList runAs) : runAs_(std::move(runAs)) {
        const passwd* entry = ::getpwnam(name);
        uid_ = entry ? entry->pw_uid : 0;
        gid_ = entry ? entry->pw_gid : 0;
        QDir root(dir_.path());
        root.mkpath(QStringLiteral("home"));
        root.mkpath(QStringLiteral("runtime"));
        makeDatabase(dataFolder() + QStringLiteral("DB/FB_PROJECT.GDB"));
        QProcess::execute(QStringLiteral("chown"),
                          {QStringLiteral("-R"), QStringLiteral("%1:%2").arg(uid_).arg(gid_), dir_.path()});
        ::chmod(QFile::encodeName(runtime()).constData(), 0700);
    }

    QString dataFolder() const { return dir_.filePath(QStringLiteral("data/Vornic_Client/")); }
    QString runtime() const { return dir_.filePath(QStringLiteral("runtime")); }
    QString lockFolder() const { return runtime() + QStringLiteral("/firebird"); }
    uid_t uid() const { return uid_; }

    // The client as the account's desktop starts it; nothing names a lock folder.
    std::unique_ptr<QProcess> startClient() const {
        auto client = std::make_unique<QProcess>();
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        environment.insert(QStringLiteral("HOME"), dir_.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dir_.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // A sanitizer build's client reports what it finds as the tests do; its leak check is left to the tests
        // in this process, whose suppressions file the second account may have no right to read.
        if (qEnvironmentVariableIsSet("ASAN_OPTIONS"))
            environment.insert(QStringLiteral("ASAN_OPTIONS"),
                               qEnvironmentVariable("ASAN_OPTIONS") + QStringLiteral(":detect_leaks=0"));
        if (qEnvironmentVariableIsSet("UBSAN_OPTIONS"))
            environment.insert(QStringLiteral("UBSAN_OPTIONS"), qEnvironmentVariable("UBSAN_OPTIONS"));
        client->setProcessEnvironment(environment);
        client->setProcessChannelMode(QProcess::MergedChannels);
        QStringList command = runAs_;
        command.append(QStringLiteral(VORNIC_CLIENT_PATH));
        client->start(command.takeFirst(), command);
        return client;
    }

    // Connected: the client holds the account's database open.
    bool connected(const QProcess& client) const {
        const QString database = QFileInfo(dataFolder() + QStringLiteral("DB/FB_PROJECT.GDB")).canonicalFilePath();
        const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(client.processId()));
        for (const QFileInfo& descriptor : descriptors.entryInfoList(QDir::System | QDir::Files))
            if (descriptor.symLinkTarget() == database)
                return true;
        return false;
    }

    bool closedNormally() const {
        QFile options(dataFolder() + QStringLiteral("options.ini"));
        return options.open(QIODevice::ReadOnly) && options.readAll().contains("[TForm1]");
    }

private:
    QTemporaryDir dir_;
    QStringList runAs_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

void expectRunning(const Account& account, QProcess& client) {
    ASSERT_TRUE(client.waitForStarted());
    QElapsedTimer waited;
    waited.start();
    while (!account.connected(client) && client.state() == QProcess::Running && waited.elapsed() < 10000)
        QTest::qWait(50);
    EXPECT_TRUE(account.connected(client)) << client.readAll().toStdString();
    // The rest of the start-up: the windows are made, and the end on request is in place. Generous, since a
    // sanitizer build on a busy machine makes its windows several times slower.
    QTest::qWait(4000);
    QFileInfo lock(account.lockFolder());
    EXPECT_EQ(lock.ownerId(), account.uid());
    EXPECT_EQ(lock.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                    QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions())
        << "the folder is the account's alone";
}

void expectEnd(const Account& account, QProcess& client) {
    client.terminate();
    if (!client.waitForFinished(5000)) {
        client.kill();
        client.waitForFinished();
        ADD_FAILURE() << "the client did not end when asked";
    }
    EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client.exitCode(), 0) << client.readAll().toStdString();
    EXPECT_TRUE(account.closedNormally());
}

// Two accounts of one workstation start the client on their own data folders, one after the other and at the same
// time; neither is refused the engine's lock folder.
TEST(EngineLockFolder, TwoAccountsStartTheClientOneAfterTheOtherAndAtTheSameTime) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "starting the client as a second account (nobody) needs root";
    const Account first("root", {});
    const Account second("nobody",
                         {QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                          QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"), QStringLiteral("--")});
    {
        SCOPED_TRACE("one after the other");
        for (const Account* account : {&first, &second}) {
            const auto client = account->startClient();
            expectRunning(*account, *client);
            expectEnd(*account, *client);
        }
    }
    {
        SCOPED_TRACE("at the same time");
        const auto firstClient = first.startClient();
        const auto secondClient = second.startClient();
        expectRunning(first, *firstClient);
        expectRunning(second, *secondClient);
        expectEnd(first, *firstClient);
        expectEnd(second, *secondClient);
    }
}

} // namespace
