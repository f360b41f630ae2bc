// Opens the readings list of one object that holds 10,000 readings (argv[1] overrides), each with a dial picture of
// about 40 KB, and walks through it as the operator does with the arrow keys: every move shows the reading's
// picture on the dial panel, which reads and decodes that one picture. Prints the time to open the list, the time
// per move, the time to reach the last (oldest) reading, and the peak memory at each stage, the first three beside
// their goals: the pictures are read
// one at a time, so memory must not grow with their number.
//
// The database is filled by a child process, so that the peak memory printed here is the window's alone.
//
// Figures of a Debug build (as ./test builds it) say little: build with -DCMAKE_BUILD_TYPE=Release.

#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "bench/support/BenchDatabase.h"
#include "bench/support/BenchDesktop.h"
#include "bench/support/BenchSupport.h"
#include "db/DataSet.h"
#include "tools/readings_server/DialPicture.h"
#include "ui/main/Glav_form.h"
#include "ui/main/Threadds2select.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;
double residentMegabytes() {
    return vornic::bench::statusMegabytes("VmRSS:");
}

constexpr int kPictureBytes = 40000; // the largest a scanner sends
constexpr int kDistinctPictures = 50;
constexpr int kMoves = 1000;

// Readings two hours apart of the one object. Each picture is one of a few dial faces padded to about 40 KB, with
// the row number written into the padding so that no two stored pictures are the same bytes.
void writeReadings(int count, const QList<qint64>& objects, vornic::bench::ReadingWriter& readings) {
    QList<QByteArray> pictures;
    for (int i = 0; i < kDistinctPictures; ++i)
        pictures.append(vornic::padJpeg(vornic::encodeJpeg(vornic::drawDialPicture(
                                            QStringLiteral("%1").arg(i * 137 + 4021, 5, 10, QChar(u'0')), 860001)),
                                        kPictureBytes));

    const QDateTime newest(QDate(2018, 3, 10), QTime(22, 0));
    for (int row = 0; row < count; ++row) {
        vornic::bench::Reading reading;
        reading.picture = pictures[row % kDistinctPictures];
        // The padding is a run of 'x' just after the JFIF header: a stamp there leaves the picture as it was.
        const QByteArray stamp = QByteArray::number(row).rightJustified(8, '0');
        const qsizetype at = reading.picture.indexOf("xxxxxxxx");
        if (at > 0)
            reading.picture.replace(at, stamp.size(), stamp);
        reading.object = objects.value(0);
        reading.taken = newest.addSecs(-7200LL * row);
        reading.imageId = QString::number(row + 1);
        reading.value = QStringLiteral("%1").arg((row * 17) % 100000, 5, 10, QChar(u'0'));
        reading.error = row % 7 == 0;
        readings.write(reading.withVaryingTelemetry(row));
    }
}

// Lets the window handle what is queued, its painting included, until the dial panel shows a picture.
bool processUntilPictureShown(TForm1& window) {
    QElapsedTimer waited;
    waited.start();
    do {
        QApplication::processEvents();
        if (!window.form().Image2->pixmap().isNull())
            return true;
    } while (waited.elapsed() < 10000);
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const int readings = argc > 1 ? std::atoi(argv[1]) : 10000;

    const vornic::bench::BenchHome home;
    const auto filled =
        vornic::bench::fillDatabase(home.databasePath(), {1, 1000, std::bind_front(writeReadings, readings)});
    if (!filled)
        return 1;

    home.settle();
    QApplication app(argc, argv);
    const double baseline = peakMegabytes();
    const double baselineResident = residentMegabytes();

    vornic::ClientSession session(vornic::dataFolder());
    TForm1 window(session.context());
    if (!window.FormCreate())
        return 1;
    // The debounce worker would open the readings list by itself 300 ms after the object became current; it is
    // stopped so that the open timed below is the first one, on pages the database has not yet read.
    window.debounceWorker().stop();
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();
    const double shownPeak = peakMegabytes();

    vornic::DataSet& list = window.IBDataSet2();
    QElapsedTimer timer;
    timer.start();
    list.open();
    if (!processUntilPictureShown(window)) {
        std::fprintf(stderr, "the dial panel showed no picture\n");
        return 1;
    }
    const double openMs = millisecondsSince(timer);
    const double openedPeak = peakMegabytes();
    const double openedResident = residentMegabytes();

    const int moves = std::min(kMoves, readings - 1);
    timer.restart();
    double halfwayResident = 0;
    for (int i = 0; i < moves; ++i) {
        list.next();
        QApplication::processEvents();
        if (i + 1 == moves / 2)
            halfwayResident = residentMegabytes();
    }
    const double movesMs = millisecondsSince(timer);
    const int rowAfterMoves = list.currentRow();
    const double movedPeak = peakMegabytes();
    const double movedResident = residentMegabytes();

    timer.restart();
    list.last();
    QApplication::processEvents();
    const double lastMs = millisecondsSince(timer);
    const double lastPeak = peakMegabytes();

    vornic::bench::printBuildKind();
    std::printf("readings of the object: %d, pictures of %d bytes (database %.0f MB, filled in %.1f s)\n", readings,
                kPictureBytes, filled->megabytes, filled->seconds);
    std::printf("open the readings list and show the first picture: %.1f ms (goal under 50 ms)\n", openMs);
    std::printf("move to the next reading: %.2f ms per move (%d moves, %.0f ms in all, now on row %d) "
                "(goal under 10 ms)\n",
                moves > 0 ? movesMs / moves : 0.0, moves, movesMs, rowAfterMoves);
    std::printf("move to the last reading: %.1f ms (row %d of %d read)\n", lastMs, list.currentRow(), list.rowCount());
    std::printf("peak memory before the window opened: %.1f MB (resident %.1f MB)\n", baseline, baselineResident);
    std::printf("peak memory with the window shown: %.1f MB\n", shownPeak);
    std::printf("peak memory after opening the readings list: %.1f MB (resident %.1f MB)\n", openedPeak,
                openedResident);
    // Growth that stops halfway is the database's page cache filling up (2048 pages of 8 KB), not pictures kept.
    std::printf("resident memory after %d moves: %.1f MB\n", moves / 2, halfwayResident);
    std::printf("peak memory after %d moves: %.1f MB (resident %.1f MB)\n", moves, movedPeak, movedResident);
    std::printf("peak memory after moving to the last reading: %.1f MB (resident %.1f MB) (goal under 300 MB)\n",
                lastPeak, residentMegabytes());
    return 0;
}
