// Opens the main window's object list on a database of 100,000 objects (argv[1] overrides) and moves to the last
// object, at once and again once the list has been read on between events. Prints the time to the first rows
// shown, the times to reach the last object, the longest stall while the list is read on and the peak memory,
// each beside its goal; the main window's set-up before the list opens (the connection, the engine's start) is printed
// for the record, and startup_bench measures the whole start.
//
// The database is filled by a child process, so that the peak memory printed here is the window's alone.
// Figures of a Debug build (as ./test builds it) say little: build with -DCMAKE_BUILD_TYPE=Release.

#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "bench/support/BenchDatabase.h"
#include "bench/support/BenchDesktop.h"
#include "bench/support/BenchSupport.h"
#include "bench/support/StallMeter.h"
#include "db/DataSet.h"
#include "ui/main/Glav_form.h"
#include "ui/main/Threadds2select.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

namespace {

using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;

} // namespace

int main(int argc, char** argv) {
    const int objects = argc > 1 ? std::atoi(argv[1]) : 100000;

    const vornic::bench::BenchHome home;
    const auto filled = vornic::bench::fillDatabase(home.databasePath(), {objects, 5000, nullptr});
    if (!filled)
        return 1;

    home.settle();
    QApplication app(argc, argv);
    const double baseline = peakMegabytes();

    QElapsedTimer timer;
    timer.start();
    vornic::ClientSession session(vornic::dataFolder());
    TForm1 window(session.context());
    if (!window.FormCreate())
        return 1;
    // The readings list follows the current object after a pause; its open is readings_list_bench's business.
    window.debounceWorker().stop();
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();
    const double setUpMs = millisecondsSince(timer);

    // The list as the operator sees it open: read again, as after every change of the directory, and painted.
    vornic::DataSet& list = window.IBDataSet1();
    list.close();
    timer.restart();
    list.open();
    QApplication::processEvents();
    const double firstRowsMs = millisecondsSince(timer);
    const int firstRows = list.rowCount();

    timer.restart();
    list.last();
    QApplication::processEvents();
    const double toLastMs = millisecondsSince(timer);

    // As the operator meets it: the list is read on between events once it shows its first rows, and a move to
    // the end finds the rows read.
    list.close();
    list.open();
    timer.restart();
    const double readAheadStallMs = vornic::bench::longestStallOf([&] {
        while (window.objectsReadAhead().isReading())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    });
    const double readAheadMs = millisecondsSince(timer);
    timer.restart();
    list.last();
    QApplication::processEvents();
    const double toLastReadMs = millisecondsSince(timer);

    vornic::bench::printBuildKind();
    std::printf("objects: %d (database %.0f MB, filled in %.1f s)\n", objects, filled->megabytes, filled->seconds);
    std::printf("main window made, connected and shown with the list: %.1f ms (see startup_bench)\n", setUpMs);
    std::printf("open the object list and show the first rows: %.1f ms (%d rows read) (goal under 50 ms)\n",
                firstRowsMs, firstRows);
    std::printf("move to the last object at once: %.1f ms (goal under 100 ms)\n", toLastMs);
    std::printf("the rest read between events in %.1f ms, longest stall %.1f ms (goal under 200 ms); then the move "
                "to the last object: %.1f ms (current row %d of %d) (goal under 100 ms)\n",
                readAheadMs, readAheadStallMs, toLastReadMs, list.currentRow(), list.rowCount());
    std::printf("peak memory (VmHWM): %.1f MB, %.1f MB before the window opened (goal under 300 MB)\n", peakMegabytes(),
                baseline);
    return list.currentRow() == objects - 1 ? 0 : 1;
}
