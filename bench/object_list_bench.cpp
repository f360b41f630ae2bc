// Opens the main window's object list on a database of 100,000 objects and moves to the last object.
// Prints the time to the first rows shown, the time to reach the last object, and the peak memory.

#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "bench/support/BenchSupport.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "tools/demo_data/DemoObjects.h"
#include "tools/make_database/DatabaseMaker.h"
#include "ui/main/Glav_form.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

using vornic::bench::peakMegabytes;

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int objects = argc > 1 ? std::atoi(argv[1]) : 100000;

    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    const QString database = home.path() + QStringLiteral("/Vornic_Client/DB/FB_PROJECT.GDB");
    vornic::makeDatabase(database);
    {
        vornic::Database filler;
        filler.connect(database);
        vornic::addDemoObjects(filler, objects);
    }
    const double baseline = peakMegabytes();

    QElapsedTimer timer;
    timer.start();
    vornic::ClientSession session(vornic::dataFolder());
    TForm1 window(session.context());
    window.FormCreate();
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();
    const double firstRows = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    timer.restart();
    window.IBDataSet1().last();
    QApplication::processEvents();
    const double toLast = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    std::printf("objects: %d\n", objects);
    std::printf("open and show the first rows: %.1f ms (rows read: %d before the move)\n", firstRows,
                vornic::DataSet::kFetchBatch);
    std::printf("move to the last object: %.1f ms (current row %d)\n", toLast, window.IBDataSet1().currentRow());
    std::printf("peak memory: %.1f MB (%.1f MB before the window opened)\n", peakMegabytes(), baseline);
    return 0;
}
