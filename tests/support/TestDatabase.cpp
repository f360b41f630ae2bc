#include "support/TestDatabase.h"

#include "db/Firebird.h"
#include "db/Statement.h"
#include "tools/make_database/DatabaseMaker.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <stdexcept>

namespace vornic::test {
namespace {

// Making a database takes a while; each fixture copies one made once per test process.
QString templateDatabase() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString file = dir.filePath(QStringLiteral("template.gdb"));
        makeDatabase(file);
        return file;
    }();
    return path;
}

} // namespace

TestDatabase::TestDatabase() {
    if (!dir_.isValid())
        throw std::runtime_error("no temporary folder");
    QDir(dir_.path()).mkpath(QStringLiteral("Vornic_Client/DB"));
    if (!QFile::copy(templateDatabase(), path()))
        throw std::runtime_error("could not copy the template database");
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
    reconnect();
}

TestDatabase::~TestDatabase() = default;

QString TestDatabase::dataHome() const {
    return dir_.path();
}

QString TestDatabase::folder() const {
    return dir_.path() + QStringLiteral("/Vornic_Client/");
}

QString TestDatabase::path() const {
    return folder() + QStringLiteral("DB/FB_PROJECT.GDB");
}

void TestDatabase::exec(const QString& sql) {
    database_->execute(sql);
    database_->commitRetaining();
}

QVariant TestDatabase::committedValue(const QString& sql) const {
    Database other;
    other.connect(path());
    Statement statement(other, sql);
    statement.open();
    return statement.fetch() ? statement.value(0) : QVariant();
}

QVariant TestDatabase::value(const QString& sql) {
    Statement statement(*database_, sql);
    statement.open();
    return statement.fetch() ? statement.value(0) : QVariant();
}

int TestDatabase::addObject(const QString& fio, const QString& scanner, int checkGrid, const QString& address) {
    Statement insert(*database_, QStringLiteral("INSERT INTO LIST_OBJECTS (FIO, ID_SCANNER, CHECK_GRID, ADDRESS, "
                                                "STATUS) VALUES (?, ?, ?, ?, ' ') RETURNING ID_OBJECT"));
    insert.bind(0, fio);
    insert.bind(1, scanner);
    insert.bind(2, checkGrid);
    insert.bind(3, address.isNull() ? QVariant() : QVariant(address));
    insert.execute();
    const int id = insert.value(0).toInt();
    database_->commitRetaining();
    return id;
}

void TestDatabase::addReading(const Reading& reading) {
    Statement insert(*database_, QStringLiteral("INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, IMAGE, "
                                                "RECOGNITION, READINGS, BAT, CSQ, NSMOD, ERROR) "
                                                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QVariantList values = {reading.object,   reading.at,  reading.id,  reading.image, reading.readings,
                                 reading.readings, reading.bat, reading.csq, reading.nsmod, reading.error};
    for (int i = 0; i < values.size(); ++i)
        insert.bind(i, values[i]);
    insert.execute();
    database_->commitRetaining();
}

void TestDatabase::reconnect() {
    database_.reset();
    database_ = std::make_unique<Database>();
    database_->connect(path());
}

void TestDatabase::makeReadOnly() {
    database_.reset();
    try {
        fb::Status status;
        fb::Handle<Firebird::IXpbBuilder> dpb(
            fb::util()->getXpbBuilder(&status, Firebird::IXpbBuilder::DPB, nullptr, 0));
        dpb->insertString(&status, isc_dpb_user_name, Database::kUser.toLatin1().constData());
        dpb->insertString(&status, isc_dpb_password, Database::kPassword.toLatin1().constData());
        dpb->insertInt(&status, isc_dpb_set_db_readonly, 1);
        fb::Handle<Firebird::IProvider> provider(fb::master()->getDispatcher());
        fb::Handle<Firebird::IAttachment> attachment(provider->attachDatabase(
            &status, path().toLocal8Bit().constData(), dpb->getBufferLength(&status), dpb->getBuffer(&status)));
        attachment->detach(&status);
        attachment.forget();
    } catch (const Firebird::FbException& error) {
        throw std::runtime_error("could not make the database read-only: " + fb::errorText(error).toStdString());
    }
    reconnect();
}

std::unique_ptr<TestDatabase::Holder> TestDatabase::holdOpenInAnotherProcess() {
    const QString isql = QStandardPaths::findExecutable(QStringLiteral("isql-fb"));
    if (isql.isEmpty())
        return nullptr;
    database_.reset();
    return std::make_unique<Holder>(isql, QStringList{QStringLiteral("-user"), Database::kUser,
                                                      QStringLiteral("-password"), Database::kPassword, path()});
}

TestDatabase::Holder::Holder(const QString& program, const QStringList& arguments) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(program, arguments);
    // Its answer to a query shows that it has the file; it then waits for more input, which comes only when the
    // holder goes and closes it.
    process_.write("SELECT 'HELD' || 'OPEN' FROM RDB$DATABASE;\n");
    QByteArray output;
    const QDeadlineTimer deadline(20000);
    while (!output.contains("HELDOPEN") && !deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
        process_.waitForReadyRead(100);
        output += process_.readAll();
    }
    if (!output.contains("HELDOPEN"))
        throw std::runtime_error("the other process did not open the database: " + output.toStdString());
}

TestDatabase::Holder::~Holder() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

} // namespace vornic::test
