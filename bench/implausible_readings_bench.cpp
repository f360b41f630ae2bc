// The implausible readings of 2,000 objects with 365 readings each (argv[1] and argv[2] override the two
// numbers): one ordered pass over every reading, as the list "Подозрительные показания" reads it, and the same for
// one object, as the consumption chart does. Prints each time, the number listed and the peak memory (VmHWM).
//
// Each object is read once a day and rises by its own steady amount; every fiftieth object has one confident
// misreading, every seventieth goes backwards once and every ninetieth has a text that is no number, so that
// the list holds a known number of readings.
//
// The database is filled by a child process (one prepared insert, a commit every few thousand rows), so that the
// peak memory printed here is the pass's alone. Build with -DCMAKE_BUILD_TYPE=Release for figures that mean
// something.

#include "bench/support/BenchSupport.h"
#include "base/LocalTimeZone.h"
#include "db/Database.h"
#include "db/Statement.h"
#include "reports/ImplausibleReadings.h"
#include "tools/demo_data/DemoObjects.h"
#include "tools/make_database/DatabaseMaker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

using vornic::bench::inChildProcess;
using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;

constexpr int kRowsPerCommit = 5000;
const QDate kNewestDay(2026, 12, 31);

bool misread(int object) {
    return object % 50 == 1;
}
bool backwards(int object) {
    return object % 70 == 2;
}
bool notANumber(int object) {
    return object % 90 == 3;
}

void fillDatabase(const QString& path, int objects, int days) {
    vornic::makeDatabase(path);
    vornic::Database db;
    db.connect(path);
    vornic::addDemoObjects(db, objects);

    auto unit = db.lock();
    QList<qint64> ids;
    {
        vornic::Statement list(db, QStringLiteral("SELECT ID_OBJECT FROM LIST_OBJECTS ORDER BY ID_OBJECT"));
        list.open();
        while (list.fetch())
            ids.append(list.value(0).toLongLong());
    }
    vornic::Statement insert(db, QStringLiteral("INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, "
                                                "RECOGNITION, READINGS, BAT, CSQ, NSMOD, ERROR) "
                                                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    int row = 0;
    // Day by day, all objects each day, as downloads store them.
    for (int day = 0; day < days; ++day) {
        for (int object = 0; object < ids.size(); ++object) {
            const int perDay = 5 + object % 20;
            QString value = QString::number(10000 + perDay * day);
            if (day == days / 2 && misread(object))
                value = QString::number(90000 + perDay * day);
            if (day >= days / 3 && backwards(object))
                value = QString::number(10000 + perDay * day - 100);
            if (day == days / 4 && notANumber(object))
                value = QStringLiteral("1?345");
            insert.bind(0, ids[object]);
            insert.bind(1, QDateTime(kNewestDay.addDays(day - days + 1), QTime(6, object % 60)));
            insert.bind(2, QString::number(++row));
            insert.bind(3, value);
            insert.bind(4, value);
            insert.bind(5, 40 + row % 60);
            insert.bind(6, row % 32);
            insert.bind(7, 1 + row % 5);
            insert.bind(8, 0);
            insert.execute();
            if (row % kRowsPerCommit == 0)
                db.commitRetaining();
        }
    }
    db.commitRetaining();
}

} // namespace

int main(int argc, char** argv) {
    vornic::settleLocalTimeZone(); // as the client does at its start
    const int objects = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int days = argc > 2 ? std::atoi(argv[2]) : 365;

    QTemporaryDir home;
    const QString database = home.path() + QStringLiteral("/FB_PROJECT.GDB");
    QElapsedTimer timer;
    timer.start();
    if (!inChildProcess([&] { fillDatabase(database, objects, days); }))
        return 1;
    const double fillSeconds = millisecondsSince(timer) / 1000.0;
    const double fileMegabytes = static_cast<double>(QFile(database).size()) / 1048576.0;

    QCoreApplication app(argc, argv);
    const double baseline = peakMegabytes();
    vornic::Database db;
    db.connect(database);

    // The first pass reads the file from the disk; the second is what the operator sees once the engine has it.
    double allMs[2] = {};
    QList<vornic::ImplausibleReading> listed;
    for (double& ms : allMs) {
        timer.restart();
        listed = vornic::findImplausibleReadings(db, vornic::defaultImplausibleFactor());
        ms = millisecondsSince(timer);
    }
    timer.restart();
    const auto one = vornic::findImplausibleReadings(db, vornic::defaultImplausibleFactor(), listed.value(0).object);
    const double oneMs = millisecondsSince(timer);

    int expected = 0;
    for (int object = 0; object < objects; ++object)
        expected += (misread(object) ? 1 : 0) + (backwards(object) ? 1 : 0) + (notANumber(object) ? 1 : 0);

#ifndef NDEBUG
    std::printf("a Debug build: its figures are no guide to the program as delivered\n");
#endif
    std::printf("objects: %d, readings: %d (database %.0f MB, filled in %.1f s)\n", objects, objects * days,
                fileMegabytes, fillSeconds);
    std::printf("implausible readings of all objects: %.1f ms (first pass), %.1f ms (again); %lld listed, %d "
                "expected\n",
                allMs[0], allMs[1], static_cast<long long>(listed.size()), expected);
    std::printf("implausible readings of one object: %.1f ms (%lld listed)\n", oneMs,
                static_cast<long long>(one.size()));
    std::printf("peak memory (VmHWM): before %.1f MB, at the end %.1f MB\n", baseline, peakMegabytes());
    return listed.size() == expected ? 0 : 1;
}
