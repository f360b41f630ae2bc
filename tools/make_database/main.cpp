#include "base/DataFolder.h"
#include "base/Failure.h"
#include "db/EngineLockFolder.h"
#include "tools/make_database/DatabaseMaker.h"

#include <QCoreApplication>
#include <QTextStream>

// make_database PATH: makes the local database file that the program is delivered with; HOST:PATH makes it on a
// database server, logged in as ISC_USER with ISC_PASSWORD when both are set.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QTextStream err(stderr);
    if (arguments.size() != 2) {
        err << "usage: make_database PATH | HOST:PATH\n";
        return 2;
    }
    // The engine's lock files go where the client's go: a folder of the account's own.
    vornic::settleEngineLockFolder(vornic::dataFolder());
    try {
        vornic::makeDatabase(arguments[1]);
    } catch (const vornic::Failure& failure) {
        err << failure.text() << '\n';
        return 1;
    }
    return 0;
}
