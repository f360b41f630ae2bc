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

#include "base/LocalTimeZone.h"
#include "bench/support/BenchDatabase.h"
#include "bench/support/BenchDesktop.h"
#include "bench/support/BenchSupport.h"
#include "db/Database.h"
#include "reports/ImplausibleReadings.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;

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

// Day by day, all objects each day, as downloads store them.
void writeReadings(int days, const QList<qint64>& objects, vornic::bench::ReadingWriter& readings) {
    int row = 0;
    for (int day = 0; day < days; ++day) {
        for (int object = 0; object < objects.size(); ++object) {
            const int perDay = 5 + object % 20;
            vornic::bench::Reading reading;
            reading.object = objects[object];
            reading.taken = QDateTime(kNewestDay.addDays(day - days + 1), QTime(6, object % 60));
            reading.imageId = QString::number(++row);
            reading.value = QString::number(10000 + perDay * day);
            if (day == days / 2 && misread(object))
                reading.value = QString::number(90000 + perDay * day);
            if (day >= days / 3 && backwards(object))
                reading.value = QString::number(10000 + perDay * day - 100);
            if (day == days / 4 && notANumber(object))
                reading.value = QStringLiteral("1?345");
            readings.write(reading.withVaryingTelemetry(row));
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    vornic::settleLocalTimeZone(); // as the client does at its start
    const int objects = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int days = argc > 2 ? std::atoi(argv[2]) : 365;

    const vornic::bench::BenchHome home;
    const auto filled =
        vornic::bench::fillDatabase(home.databasePath(), {objects, 5000, std::bind_front(writeReadings, days)});
    if (!filled)
        return 1;

    QCoreApplication app(argc, argv);
    const double baseline = peakMegabytes();
    vornic::Database db;
    db.connect(home.databasePath());

    // The first pass reads the file from the disk; the second is what the operator sees once the engine has it.
    double allMs[2] = {};
    QList<vornic::ImplausibleReading> listed;
    QElapsedTimer timer;
    for (double& ms : allMs) {
        timer.start();
        listed = vornic::findImplausibleReadings(db, vornic::defaultImplausibleFactor());
        ms = millisecondsSince(timer);
    }
    timer.restart();
    const auto one = vornic::findImplausibleReadings(db, vornic::defaultImplausibleFactor(), listed.value(0).object);
    const double oneMs = millisecondsSince(timer);

    int expected = 0;
    for (int object = 0; object < objects; ++object)
        expected += (misread(object) ? 1 : 0) + (backwards(object) ? 1 : 0) + (notANumber(object) ? 1 : 0);

    vornic::bench::printBuildKind();
    std::printf("objects: %d, readings: %d (database %.0f MB, filled in %.1f s)\n", objects, objects * days,
                filled->megabytes, filled->seconds);
    std::printf("implausible readings of all objects: %.1f ms (first pass), %.1f ms (again); %lld listed, %d "
                "expected\n",
                allMs[0], allMs[1], static_cast<long long>(listed.size()), expected);
    std::printf("implausible readings of one object: %.1f ms (%lld listed)\n", oneMs,
                static_cast<long long>(one.size()));
    std::printf("peak memory (VmHWM): before %.1f MB, at the end %.1f MB\n", baseline, peakMegabytes());
    return listed.size() == expected ? 0 : 1;
}
