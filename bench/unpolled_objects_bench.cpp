// The objects without readings among 10,000 objects with 1,000,000 readings (argv[1] and argv[2] override the
// two numbers): forms the list of a thirty-day period in the window, as "Сформировать " does, reads it whole as
// the grid and the writers do, and saves it as a text file, an XML file and a workbook. Prints each time and the
// peak memory (VmHWM).
//
// The readings are spread one a day backwards from the newest day, round the objects in turn. Every hundredth
// object is never read, and every hundredth from the fiftieth on was read only long before the period, so that
// the list holds one object in fifty.
//
// The database is filled by a child process (one prepared insert, a commit every few thousand rows, no
// pictures), so that the peak memory printed here is the window's alone. Figures of a Debug build say little:
// build with -DCMAKE_BUILD_TYPE=Release.

#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "bench/support/BenchDatabase.h"
#include "bench/support/BenchDesktop.h"
#include "bench/support/BenchSupport.h"
#include "db/DataSet.h"
#include "ui/reports/Notrespondentsscanners.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;

constexpr int kPeriodDays = 30;
constexpr int kStaleDays = 400; // how far before the newest day the stale objects' readings lie
const QDate kNewestDay(2018, 12, 31);

bool neverRead(int object) {
    return object % 100 == 0;
}
bool readLongAgo(int object) {
    return object % 100 == 50;
}

// One reading a day backwards from the newest day, round the objects that are read in turn.
void writeReadings(int count, const QList<qint64>& objects, vornic::bench::ReadingWriter& readings) {
    QList<qint64> read; // the objects that have readings, in the order of the directory
    QList<bool> stale;
    for (int i = 0; i < objects.size(); ++i) {
        if (neverRead(i))
            continue;
        read.append(objects[i]);
        stale.append(readLongAgo(i));
    }
    if (read.isEmpty())
        return;
    const QDateTime newest(kNewestDay, QTime(22, 0));
    for (int row = 0; row < count; ++row) {
        const int object = row % static_cast<int>(read.size());
        const int daysBack = row / static_cast<int>(read.size()) + (stale[object] ? kStaleDays : 0);
        vornic::bench::Reading reading;
        reading.object = read[object];
        reading.taken = newest.addDays(-daysBack).addSecs(-(row % 3600));
        reading.imageId = QString::number(row + 1);
        reading.value = QString::number(10000 + row % 90000);
        reading.error = row % 7 == 0;
        readings.write(reading.withVaryingTelemetry(row));
    }
}

} // namespace

int main(int argc, char** argv) {
    const int objects = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int readings = argc > 2 ? std::atoi(argv[2]) : 1000000;

    const vornic::bench::BenchHome home;
    const auto filled =
        vornic::bench::fillDatabase(home.databasePath(), {objects, 5000, std::bind_front(writeReadings, readings)});
    if (!filled)
        return 1;

    home.settle();
    QApplication app(argc, argv);
    vornic::bench::BenchDesktop desktop(home.path(), QDateTime(kNewestDay, QTime(12, 0)));
    const double baseline = peakMegabytes();

    vornic::ClientSession session(vornic::dataFolder());
    session.context().database.connect(home.databasePath());
    TForm10 window(session.context());
    window.show();
    QApplication::processEvents();

    window.form().DateTimePicker1->setDay(kNewestDay.addDays(1 - kPeriodDays));
    window.form().DateTimePicker2->setDay(kNewestDay);
    QElapsedTimer timer;
    timer.start();
    window.Button1Click();
    QApplication::processEvents();
    const double formMs = millisecondsSince(timer);

    vornic::DataSet& list = window.IBDataSet1();
    timer.restart();
    list.last();
    QApplication::processEvents();
    const double lastMs = millisecondsSince(timer);
    const int listed = list.rowCount();
    const double listedPeak = peakMegabytes();

    const QString text = home.filePath(QStringLiteral("Отчет.txt"));
    const QString xml = home.filePath(QStringLiteral("Отчет.xml"));
    double saveMs[3] = {};
    for (int format = 0; format < 3; ++format) {
        window.form().ComboBox1->setCurrentIndex(format);
        timer.restart();
        window.Button2Click();
        QApplication::processEvents();
        saveMs[format] = millisecondsSince(timer);
    }
    const QString workbook = QDir(home.filePath(QStringLiteral("Documents"))).filePath(QStringLiteral("MyTest.xlsx"));

    int expected = 0;
    for (int i = 0; i < objects; ++i)
        expected += neverRead(i) || readLongAgo(i) ? 1 : 0;

    vornic::bench::printBuildKind();
    std::printf("objects: %d, readings: %d (database %.0f MB, filled in %.1f s)\n", objects, readings,
                filled->megabytes, filled->seconds);
    std::printf("form the list of a %d-day period: %.1f ms\n", kPeriodDays, formMs);
    std::printf("read the whole list: %.1f ms (%d objects listed, %d expected)\n", lastMs, listed, expected);
    std::printf("save as text: %.1f ms (%lld bytes)\n", saveMs[0], static_cast<long long>(QFile(text).size()));
    std::printf("save as XML: %.1f ms (%lld bytes)\n", saveMs[1], static_cast<long long>(QFile(xml).size()));
    std::printf("save as a workbook: %.1f ms (%lld bytes)\n", saveMs[2],
                static_cast<long long>(QFile(workbook).size()));
    std::printf("from forming to the last file: %.1f ms\n", formMs + lastMs + saveMs[0] + saveMs[1] + saveMs[2]);
    std::printf("peak memory (VmHWM): before the window %.1f MB, with the list formed %.1f MB, at the end %.1f MB\n",
                baseline, listedPeak, peakMegabytes());
    window.close();
    return listed == expected && desktop.messageCount() == 0 ? 0 : 1;
}
