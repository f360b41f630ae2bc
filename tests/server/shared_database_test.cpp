// The database shared on a server by several operators' clients: what the data-set layer, a download and the
// main window do when another connection works on the same database at the same time, and when the server goes.

#include "app/ClientSession.h"
#include "base/IniFile.h"
#include "db/DataSet.h"
#include "db/DatabaseError.h"
#include "db/Statement.h"
#include "download/Thread_loadf.h"
#include "server/PrivateServer.h"
#include "support/TestServices.h"
#include "tools/readings_server/ReadingsServer.h"
#include "ui/common/ErrorReport.h"
#include "ui/main/Glav_form.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace vornic;
using vornic::test::PrivateServer;
using vornic::test::ServerDatabase;

namespace {

const QString kObjectsSelect = QStringLiteral("SELECT ID_OBJECT, FIO, CHECK_GRID FROM LIST_OBJECTS ORDER BY ID_OBJECT");
const QString kObjectsModify =
    QStringLiteral("UPDATE LIST_OBJECTS SET FIO=:FIO, CHECK_GRID=:CHECK_GRID WHERE ID_OBJECT=?old_ID_OBJECT");

int addObject(Database& db, const QString& fio, const QString& scanner) {
    Statement insert(db, QStringLiteral("INSERT INTO LIST_OBJECTS (FIO, ID_SCANNER, CHECK_GRID, STATUS) "
                                        "VALUES (?, ?, 0, ' ') RETURNING ID_OBJECT"));
    insert.bind(0, fio);
    insert.bind(1, scanner);
    insert.execute();
    const int id = insert.value(0).toInt();
    db.commitRetaining();
    return id;
}

QVariant valueOf(Database& db, const QString& sql) {
    Statement statement(db, sql);
    statement.open();
    return statement.fetch() ? statement.value(0) : QVariant();
}

void openObjects(DataSet& objects) {
    objects.setSelectSql(kObjectsSelect);
    objects.setModifySql(kObjectsModify);
    objects.open();
}

// Sets or clears an environment variable for the object's lifetime.
class ScopedVariable final {
public:
    ScopedVariable(const char* name, const QString& value) : name_(name), previous_(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value.toLocal8Bit());
    }
    ~ScopedVariable() {
        if (previous_.isNull())
            qunsetenv(name_);
        else
            qputenv(name_, previous_);
    }
    Q_DISABLE_COPY_MOVE(ScopedVariable)

private:
    const char* name_;
    QByteArray previous_;
};

class SharedDatabaseTest : public ::testing::Test {
protected:
    ServerDatabase shared;
    Database first;
    Database second;

    void SetUp() override {
        first.connect(shared.name());
        second.connect(shared.name());
    }
};

} // namespace

TEST(DatabaseNames, ServerNamesAreToldFromFileNames) {
    const struct {
        QString name;
        bool server;
    } cases[] = {
        {QStringLiteral("office:/srv/db/FB_PROJECT.GDB"), true},
        {QStringLiteral("192.168.1.10/3051:/srv/db/FB_PROJECT.GDB"), true},
        {QStringLiteral("inet://office/FB_PROJECT.GDB"), true},
        {QStringLiteral("/home/operator/.local/share/Vornic_Client/DB/FB_PROJECT.GDB"), false},
        {QStringLiteral("/mnt/a:b/FB_PROJECT.GDB"), false},
        {QStringLiteral("./DB/FB_PROJECT.GDB"), false},
        {QStringLiteral("C:\\Vornic_Client\\DB\\FB_PROJECT.GDB"), false},
        {QStringLiteral("FB_PROJECT.GDB"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(namesDatabaseServer(c.name), c.server) << c.name.toStdString();
}

TEST_F(SharedDatabaseTest, EachConnectionSeesTheOthersCommittedWorkAfterAReRead) {
    addObject(first, QStringLiteral("Иванов"), QStringLiteral("860001"));
    DataSet mine(first);
    DataSet theirs(second);
    openObjects(mine);
    openObjects(theirs);
    ASSERT_EQ(theirs.rowCount(), 1);

    mine.edit();
    mine.field(QStringLiteral("CHECK_GRID")).setValue(1);
    mine.post();
    theirs.reopen();
    EXPECT_EQ(theirs.field(QStringLiteral("CHECK_GRID")).asInteger(), 0) << "a change not yet committed shows";

    first.commitRetaining();
    theirs.reopen();
    EXPECT_EQ(theirs.field(QStringLiteral("CHECK_GRID")).asInteger(), 1);

    // And the other way, with a new row.
    const int added = addObject(second, QStringLiteral("Петров"), QStringLiteral("860002"));
    mine.reopen();
    ASSERT_EQ(mine.rowCount(), 2);
    mine.last();
    EXPECT_EQ(mine.field(QStringLiteral("ID_OBJECT")).asInteger(), added);
    EXPECT_EQ(mine.field(QStringLiteral("FIO")).asString(), QStringLiteral("Петров"));
}

TEST_F(SharedDatabaseTest, ADownloadWritesWhileAnotherConnectionReadsTheReadings) {
    ReadingsServer::Options options;
    options.scanners = 8;
    options.days = 3;
    options.readingsPerDay = 4;
    options.pictureBytes = 20000;
    options.today = QDate(2018, 3, 10);
    ReadingsServer readingsServer(options);
    readingsServer.start();
    QTemporaryDir folder;
    IniFile settings(folder.filePath(QStringLiteral("options.ini")));
    settings.writeString(QStringLiteral("Edit_link"), QStringLiteral("link"), readingsServer.baseAddress());

    QList<Thread_loadF::Object> objects;
    for (int i = 0; i < options.scanners; ++i) {
        const QString scanner = QString::number(options.firstScanner + i);
        objects.append({QString::number(addObject(first, QStringLiteral("Объект ") + scanner, scanner)), scanner});
    }
    const int expected = options.scanners * options.days * options.readingsPerDay;

    QStringList log;
    bool finished = false;
    QObject receiver;
    auto* worker = new Thread_loadF(first, settings, options.days, options.today, objects);
    QObject::connect(worker, &Thread_loadF::logLine, &receiver, [&log](const QString& line) { log << line; });
    QObject::connect(worker, &Thread_loadF::runFinished, &receiver, [&finished] { finished = true; });
    worker->start();

    // The other operator keeps reading the list while the rows come: every row read is whole, and the list only
    // grows.
    DataSet readings(second);
    readings.setSelectSql(QStringLiteral("SELECT ID_IMAG, READINGS, IMAGE FROM IMAGE_OBJECT_DATE ORDER BY ID_IMAG"));
    QList<int> counts;
    int partRows = 0;
    QElapsedTimer clock;
    clock.start();
    while (!finished && clock.elapsed() < 60000) {
        readings.open();
        readings.fetchAll();
        for (int row = 0; row < readings.rowCount(); ++row) {
            readings.moveTo(row);
            if (!readings.field(QStringLiteral("IMAGE")).asBytes().startsWith("\xFF\xD8"))
                ++partRows;
        }
        counts << readings.rowCount();
        readings.close();
        QTest::qWait(20);
    }
    ASSERT_TRUE(finished) << log.join(u'\n').toStdString();
    EXPECT_EQ(partRows, 0) << "rows read without their picture";
    EXPECT_EQ(log.last(), QStringLiteral("Обновление завершено")) << log.join(u'\n').toStdString();
    EXPECT_GT(counts.size(), 1) << "the list was not read while the run went on";
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
    EXPECT_EQ(valueOf(second, QStringLiteral("SELECT COUNT(*) FROM IMAGE_OBJECT_DATE")).toInt(), expected);
}

TEST_F(SharedDatabaseTest, AChangeToARowTheOtherHoldsWaitsForTheLockTimeOutAndLosesNothing) {
    const int held = addObject(first, QStringLiteral("Иванов"), QStringLiteral("860001"));
    addObject(first, QStringLiteral("Петров"), QStringLiteral("860002"));
    second.setLockTimeout(2);
    second.commit(); // the next transaction waits as set
    DataSet mine(first);
    DataSet theirs(second);
    openObjects(mine);
    openObjects(theirs);

    mine.edit();
    mine.field(QStringLiteral("FIO")).setValue(QStringLiteral("Иванов И. И."));
    mine.post(); // posted, not committed

    // The other operator has already stored a change to another row in the same transaction.
    theirs.last();
    theirs.edit();
    theirs.field(QStringLiteral("CHECK_GRID")).setValue(1);
    theirs.post();
    theirs.first();
    theirs.edit();
    theirs.field(QStringLiteral("FIO")).setValue(QStringLiteral("Сидоров"));
    QElapsedTimer waited;
    waited.start();
    try {
        theirs.post();
        FAIL() << "the held row was changed";
    } catch (const DatabaseError& error) {
        EXPECT_TRUE(error.text().startsWith(QStringLiteral("Изменение не сохранено: запись изменена или заблокирована "
                                                           "другим пользователем; повторите позже\n")))
            << error.text().toStdString();
    }
    // The server counts the time-out in whole seconds from a tick of its own: a wait of two comes to more than one.
    EXPECT_GE(waited.elapsed(), 1000) << "refused without waiting for the lock";
    EXPECT_LT(waited.elapsed(), 10000);
    EXPECT_EQ(theirs.state(), DataSet::State::Browse);
    EXPECT_EQ(theirs.field(QStringLiteral("FIO")).asString(), QStringLiteral("Иванов"));

    // Both sides keep what they stored: the refusal ended neither transaction.
    first.commitRetaining();
    second.commitRetaining();
    Database third;
    third.connect(shared.name());
    EXPECT_EQ(valueOf(third, QStringLiteral("SELECT FIO FROM LIST_OBJECTS WHERE ID_OBJECT=%1").arg(held)),
              QVariant(QStringLiteral("Иванов И. И.")));
    EXPECT_EQ(valueOf(third, QStringLiteral("SELECT SUM(CHECK_GRID) FROM LIST_OBJECTS")).toInt(), 1);
}

TEST_F(SharedDatabaseTest, AnAccountFromTheEnvironmentReplacesTheBuiltInOne) {
    first.execute(QStringLiteral("CREATE OR ALTER USER OPERATOR_1 PASSWORD 'kedr2018'"));
    first.commit();
    const struct {
        QString user;
        QString password;
        QString loggedInAs; // empty: refused
    } cases[] = {
        {QString(), QString(), QStringLiteral("SYSDBA")},
        {QStringLiteral("operator_1"), QStringLiteral("kedr2018"), QStringLiteral("OPERATOR_1")},
        {QStringLiteral("operator_1"), QString(), QStringLiteral("SYSDBA")}, // a name alone is not an account
        {QStringLiteral("operator_1"), QStringLiteral("wrong"), QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user.toStdString() + "/" + c.password.toStdString());
        const ScopedVariable user("ISC_USER", c.user);
        const ScopedVariable password("ISC_PASSWORD", c.password);
        Database db;
        if (c.loggedInAs.isEmpty()) {
            try {
                db.connect(shared.name());
                ADD_FAILURE() << "logged in with a wrong password";
            } catch (const DatabaseError& error) {
                EXPECT_EQ(error.reason(), QStringLiteral("неверное имя пользователя или пароль базы данных"));
            }
            continue;
        }
        db.connect(shared.name());
        EXPECT_EQ(valueOf(db, QStringLiteral("SELECT CURRENT_USER FROM RDB$DATABASE")).toString().trimmed(),
                  c.loggedInAs);
    }
}

// The server stops while the program runs: the operator is told once, the program ends, and nothing that runs on
// the way out shows another box or hangs.
TEST(LostServer, TheOperatorIsToldOnceAndTheProgramEnds) {
    PrivateServer server;
    ServerDatabase database(server);
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("Vornic_Client/"));
    QDir().mkpath(folder);
    IniFile(folder + QStringLiteral("options.ini"))
        .writeString(QStringLiteral("BD"), QStringLiteral("BD_path"), database.name());
    {
        Database db;
        db.connect(database.name());
        addObject(db, QStringLiteral("Иванов"), QStringLiteral("860001"));
    }

    ScopedTestServices services;
    connectionLostReported = false;
    auto session = std::make_unique<ClientSession>(folder);
    auto window = std::make_unique<TForm1>(session->context());
    ASSERT_TRUE(window->FormCreate());
    ASSERT_EQ(window->IBDataSet1().rowCount(), 1);
    ASSERT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();

    server.stop();
    window->refreshLists();
    ASSERT_EQ(services.messages.shown.size(), 1);
    EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Error);
    EXPECT_TRUE(services.messages.shown[0].text.startsWith(
        QStringLiteral("Связь с сервером базы данных потеряна; перезапустите программу\n")))
        << services.messages.shown[0].text.toStdString();
    EXPECT_EQ(services.process.exitCodes, QList<int>{1});

    // What else the operator or a timer might start before the program is gone.
    window->refreshReadings();
    window->DBGrid1TitleClick(1);
    window->Edit1Change(QStringLiteral("Ив"));
    QElapsedTimer ending;
    ending.start();
    window->close();
    window.reset();
    session.reset();
    EXPECT_LT(ending.elapsed(), 5000);
    EXPECT_EQ(services.messages.shown.size(), 1) << services.messages.texts().join(u'\n').toStdString();
    EXPECT_EQ(services.process.exitCodes, QList<int>{1});
    connectionLostReported = false;
}
