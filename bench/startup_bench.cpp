// The client's start on a database of a utility's size (2,000 objects with a year of readings; argv[1] and
// argv[2] override the numbers, VORNIC_BENCH_DATABASE names a database made once with demo_data): from the start
// of the process, through the set-up the client itself runs (the session, the windows made once, the connection,
// the object list), to the main window shown with the rows of its object list. Then the readings list of the
// current object opens, as the main window opens it once the operator stays on an object, and the operator walks
// through it. Prints each figure beside its goal, and the peak memory.
//
// The database is made by a child process, and the start is measured in a process of its own started afresh
// (this program again, with --measured): its time counts from that process's start, its memory is the client's.
// Figures of a Debug build (as ./test builds it) say little: build with -DCMAKE_BUILD_TYPE=Release.

#include "app/Startup.h"
#include "base/DataFolder.h"
#include "base/LocalTimeZone.h"
#include "bench/support/BenchDatabase.h"
#include "bench/support/BenchDesktop.h"
#include "bench/support/BenchSupport.h"
#include "db/DataSet.h"
#include "db/EngineLockFolder.h"
#include "ui/main/Glav_form.h"
#include "ui/main/Threadds2select.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;

constexpr int kMoves = 200;

// Milliseconds since this process started, as the kernel counts it (to its clock tick, 10 ms).
double millisecondsSinceProcessStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks; the start is the 22nd field.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return 0;
    const double startedSeconds = fields.at(19).toDouble() / static_cast<double>(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - startedSeconds) * 1000.0;
}

// Lets the window handle what is queued until the object list has painted its rows.
bool processUntilListPainted(TForm1& window) {
    bool painted = false;
    struct PaintWatch final : QObject {
        bool* painted;
        explicit PaintWatch(bool* flag) : painted(flag) {}
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint)
                *painted = true;
            return false;
        }
    } watch(&painted);
    QWidget* rows = window.form().DBGrid1->viewport();
    rows->installEventFilter(&watch);
    QElapsedTimer waited;
    waited.start();
    while (!(painted && window.IBDataSet1().rowCount() > 0) && waited.elapsed() < 10000)
        QApplication::processEvents();
    QApplication::processEvents(); // the paint under way ends
    rows->removeEventFilter(&watch);
    return painted;
}

int measured(int argc, char** argv, const QElapsedTimer& sinceMain) {
    vornic::settleLocalTimeZone(); // the client's own start, as runClient runs it
    QApplication app(argc, argv);
    vornic::bench::BenchDesktop desktop(QDir::tempPath(), QDateTime::currentDateTime());
    const QString folder = vornic::dataFolder();
    vornic::settleEngineLockFolder(folder);
    std::unique_ptr<vornic::ClientWindows> windows = vornic::createClientWindows(folder);
    if (!windows)
        return 1;
    TForm1& window = *windows->form1;
    window.showMaximized();
    const bool painted = processUntilListPainted(window);
    const double shownMs = millisecondsSinceProcessStart();
    const double shownSinceMainMs = millisecondsSince(sinceMain);
    const double shownPeak = peakMegabytes();
    if (!painted) {
        std::fprintf(stderr, "the object list showed no rows\n");
        return 1;
    }

    // The readings list of the current object, opened here at once rather than after the debounce period.
    window.debounceWorker().stop();
    vornic::DataSet& readings = window.IBDataSet2();
    readings.close();
    QElapsedTimer timer;
    timer.start();
    readings.open();
    QApplication::processEvents();
    const double openMs = millisecondsSince(timer);
    const int moves = std::min(kMoves, readings.rowCount() - 1);
    timer.restart();
    for (int i = 0; i < moves; ++i) {
        readings.next();
        QApplication::processEvents();
    }
    const double movesMs = millisecondsSince(timer);

    vornic::bench::printBuildKind();
    std::printf("objects in the list: %d read of the first batch\n", window.IBDataSet1().rowCount());
    std::printf("start to the main window shown with its object list: %.0f ms from the process start "
                "(%.0f ms from main) (goal under 1000 ms)\n",
                shownMs, shownSinceMainMs);
    std::printf("open the readings list of the first object: %.1f ms (%d readings read) (goal under 50 ms)\n", openMs,
                readings.rowCount());
    std::printf("move to the next reading: %.2f ms per move (%d moves) (goal under 10 ms)\n",
                moves > 0 ? movesMs / moves : 0.0, moves);
    std::printf("peak memory (VmHWM): with the window shown %.1f MB, at the end %.1f MB (goal under 300 MB)\n",
                shownPeak, peakMegabytes());
    windows.reset();
    return desktop.messageCount() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (argc > 1 && std::strcmp(argv[1], "--measured") == 0)
        return measured(argc, argv, sinceMain);

    const int objects = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int days = argc > 2 ? std::atoi(argv[2]) : 365;
    const vornic::bench::BenchHome home;
    QElapsedTimer filling;
    filling.start();
    const auto database = vornic::bench::demoDatabase(home.databasePath(), objects, days);
    if (!database)
        return 1;
    // A database made once elsewhere is the data folder's through a link: the client opens it as its own.
    if (QFileInfo(*database).absoluteFilePath() != QFileInfo(home.databasePath()).absoluteFilePath()) {
        QDir().mkpath(QFileInfo(home.databasePath()).path());
        if (!QFile::link(QFileInfo(*database).absoluteFilePath(), home.databasePath()))
            return 1;
        std::printf("database: %s\n", qPrintable(*database));
    } else {
        std::printf("database: %d objects, %d days of readings (made in %.0f s)\n", objects, days,
                    millisecondsSince(filling) / 1000.0);
    }
    home.settle();
    std::fflush(stdout);

    const pid_t child = fork();
    if (child < 0)
        return 1;
    if (child == 0) {
        char measuredFlag[] = "--measured";
        char* const arguments[] = {argv[0], measuredFlag, nullptr};
        execv("/proc/self/exe", arguments);
        std::_Exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
