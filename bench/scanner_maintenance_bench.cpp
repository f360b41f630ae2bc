// The scanner maintenance list over 2,000 objects with 365 readings each (argv[1] and argv[2] override the two
// numbers): one reading a day for a year, the batteries running down slowly and changed when spent, every
// twentieth scanner silent for its last week, every thirtieth draining fast, every fiftieth with a weak signal.
// Makes the list as the window does, then the three saved forms' contents, and prints each time, what the list
// found and the peak memory (VmHWM).
//
// The database is filled by a child process (one prepared insert, a commit every few thousand rows, no
// pictures), so that the peak memory printed here is the list's alone. Figures of a Debug build say little:
// build with -DCMAKE_BUILD_TYPE=Release.

#include "base/LocalTimeZone.h"
#include "bench/support/BenchDatabase.h"
#include "bench/support/BenchDesktop.h"
#include "bench/support/BenchSupport.h"
#include "db/Database.h"
#include "reports/ScannerMaintenance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;

const QDate kToday(2018, 12, 31);

bool silent(int object) {
    return object % 20 == 7;
}
bool drainingFast(int object) {
    return object % 30 == 11;
}
bool weakSignal(int object) {
    return object % 50 == 13;
}

// Day by day, all objects each day, as downloads store them.
void writeReadings(int days, const QList<qint64>& objects, vornic::bench::ReadingWriter& readings) {
    int row = 0;
    for (int day = 0; day < days; ++day) {
        const int back = days - 1 - day;
        for (int object = 0; object < objects.size(); ++object) {
            if (silent(object) && back < 7)
                continue;
            const double drain = drainingFast(object) ? 2.0 : 0.3;
            // A new battery at 100 % whenever the old one reached 10 %.
            const double spentAfter = 90.0 / drain;
            const double sinceChange = std::fmod(double(day + object % 97), spentAfter);
            vornic::bench::Reading reading;
            reading.object = objects[object];
            reading.taken = QDateTime(kToday.addDays(-back), QTime(6 + object % 12, object % 60));
            reading.imageId = QString::number(++row);
            reading.value = QString::number(10000 + day * 12 + object % 7);
            reading.battery = int(100 - drain * sinceChange) - row % 3;
            reading.signal = weakSignal(object) ? row % 8 : 8 + row % 24;
            reading.mode = 1 + row % 5;
            readings.write(reading);
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
    vornic::Database db;
    db.connect(home.databasePath());
    const double baseline = peakMegabytes();
    const vornic::MaintenanceThresholds thresholds;

    // The first pass reads the file from the disk; the second is what the operator waits for when the window is
    // opened again.
    double passMs[2] = {};
    QList<vornic::MaintenanceRow> rows;
    QElapsedTimer timer;
    for (double& ms : passMs) {
        timer.start();
        rows = vornic::scannerMaintenance(db, kToday, thresholds);
        ms = millisecondsSince(timer);
    }
    timer.restart();
    const qsizetype lines = vornic::maintenanceLines(rows).size();
    const qsizetype elements = vornic::maintenanceElements(rows).size();
    const qsizetype cells = vornic::maintenanceSheet(rows).cells.size();
    const double formsMs = millisecondsSince(timer);

    QMap<vornic::MaintenanceVerdict, int> found;
    for (const vornic::MaintenanceRow& row : std::as_const(rows))
        ++found[row.verdict];
    int expectedSilent = 0;
    for (int object = 0; object < objects; ++object)
        expectedSilent += silent(object) ? 1 : 0;

    vornic::bench::printBuildKind();
    std::printf("objects: %d, readings: %d a day for %d days (database %.0f MB, filled in %.1f s)\n", objects, 1, days,
                filled->megabytes, filled->seconds);
    std::printf("make the list, first pass: %.1f ms\n", passMs[0]);
    std::printf("make the list, again: %.1f ms\n", passMs[1]);
    std::printf("the saved forms' contents: %.1f ms (%lld lines, %lld elements, %lld cells)\n", formsMs,
                static_cast<long long>(lines), static_cast<long long>(elements), static_cast<long long>(cells));
    std::printf("found: %d silent (%d expected), %d batteries to change, %d weak signals, %d without a verdict\n",
                found.value(vornic::MaintenanceVerdict::NoConnection), expectedSilent,
                found.value(vornic::MaintenanceVerdict::ReplaceBattery),
                found.value(vornic::MaintenanceVerdict::WeakSignal), found.value(vornic::MaintenanceVerdict::None));
    std::printf("peak memory (VmHWM): before the list %.1f MB, at the end %.1f MB\n", baseline, peakMegabytes());
    return rows.size() == objects && found.value(vornic::MaintenanceVerdict::NoConnection) == expectedSilent ? 0 : 1;
}
