#pragma once

#include "db/Database.h"

#include <QProcess>
#include <QTemporaryDir>

#include <memory>

namespace vornic::test {

// A fresh database file made from the delivered schema, in a temporary data folder of its own, and the
// program's connection to it.
class TestDatabase final {
public:
    TestDatabase();
    ~TestDatabase();

    Database& db() { return *database_; }
    // The temporary data folder, ending with "/"; the database file is DB/FB_PROJECT.GDB inside it. It is the
    // program's data folder when XDG_DATA_HOME is dataHome().
    QString folder() const;
    QString dataHome() const;
    QString path() const;

    // Runs a statement and commits it.
    void exec(const QString& sql);
    // The first column of the first row of a select, read on a connection of its own so that only committed
    // work is seen.
    QVariant committedValue(const QString& sql) const;
    // Same, on the program's connection (sees what is pending too).
    QVariant value(const QString& sql);

    int addObject(const QString& fio, const QString& scanner, int checkGrid = 0, const QString& address = {});

    // A reading; a null QVariant stores NULL.
    struct Reading {
        int object = 0;
        QString id;
        QDateTime at;
        QVariant image; // QByteArray
        QVariant readings;
        QVariant bat;
        QVariant csq;
        QVariant nsmod;
        int error = 0;
    };
    void addReading(const Reading& reading);

    // Closes the program's connection (committing, as the program does at its end) and opens a new one.
    void reconnect();

    // Turns the database read-only, as an administrator can; the program's connection is opened anew.
    void makeReadOnly();

    // Another process on this computer opens the database and keeps it open until the returned object goes; the
    // engine in that process keeps the file to itself. The program's connection is closed first, and db() is
    // unusable until reconnect() after the holder is gone. Null when the command-line tool that holds it is
    // missing.
    class Holder;
    std::unique_ptr<Holder> holdOpenInAnotherProcess();

private:
    QTemporaryDir dir_;
    std::unique_ptr<Database> database_;
};

class TestDatabase::Holder final {
public:
    explicit Holder(const QString& program, const QStringList& arguments);
    ~Holder();
    Q_DISABLE_COPY_MOVE(Holder)

private:
    QProcess process_;
};

} // namespace vornic::test
