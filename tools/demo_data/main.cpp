#include "base/DataFolder.h"
#include "base/Failure.h"
#include "db/Database.h"
#include "db/EngineLockFolder.h"
#include "tools/demo_data/DemoObjects.h"

#include <QCoreApplication>
#include <QTextStream>

// demo_data DATABASE COUNT: adds COUNT made-up objects to a database, for trying the program out.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QTextStream err(stderr);
    bool ok = false;
    const int count = arguments.value(2).toInt(&ok);
    if (arguments.size() != 3 || !ok || count < 0) {
        err << "usage: demo_data DATABASE COUNT\n";
        return 2;
    }
    // The client's lock folder: the client may have the same database open.
    vornic::settleEngineLockFolder(vornic::dataFolder());
    try {
        vornic::Database database;
        database.connect(arguments[1]);
        vornic::addDemoObjects(database, count);
    } catch (const vornic::Failure& failure) {
        err << failure.text() << '\n';
        return 1;
    }
    return 0;
}
