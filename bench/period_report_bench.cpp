// The period report ("Отчёт за период", all subscribers) of a month over 2,000 objects (argv[1] overrides) read
// three times a day (argv[2] readings a day) for the three months before the clock's day: Build, then the report
// saved as a text file, an XML file and a workbook. Prints each step's time and the longest the event loop went
// without turning during it (the windows answer nothing meanwhile), each beside its goal, and the peak memory.
//
// The database is filled by a child process, so that the peak memory printed here is the report's alone.
// Figures of a Debug build (as ./test builds it) say little: build with -DCMAKE_BUILD_TYPE=Release.

#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "base/LocalTimeZone.h"
#include "bench/support/BenchDatabase.h"
#include "bench/support/BenchDesktop.h"
#include "bench/support/BenchSupport.h"
#include "bench/support/StallMeter.h"
#include "ui/main/Glav_form.h"
#include "ui/main/Threadds2select.h"
#include "ui/reports/Generate_reports_all.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using vornic::bench::longestStallOf;
using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;

const QDate kToday(2026, 12, 5);
constexpr int kDays = 93;

// Day by day, every object its readings of the day, as downloads store them.
void writeReadings(int perDay, const QList<qint64>& objects, vornic::bench::ReadingWriter& readings) {
    int row = 0;
    for (int day = kDays; day >= 1; --day) {
        for (int object = 0; object < objects.size(); ++object) {
            for (int n = 0; n < perDay; ++n) {
                vornic::bench::Reading reading;
                reading.object = objects.at(object);
                reading.taken = QDateTime(kToday.addDays(-day), QTime(6 + n * 16 / perDay, object % 60));
                reading.imageId = QString::number(++row);
                reading.value = QString::number(10000 + (kDays - day) * 7 + n * 2 + object % 13);
                readings.write(reading.withVaryingTelemetry(row));
            }
        }
    }
}

struct Step {
    const char* name;
    double ms = 0;
    double stallMs = 0;
    double peakMb = 0; // the peak memory so far, once the step is done
};

void print(const Step& step, double goalMs) {
    std::printf("%-24s %8.0f ms (goal under %.0f ms), longest stall %6.0f ms (goal under 200 ms), peak %5.0f MB\n",
                step.name, step.ms, goalMs, step.stallMs, step.peakMb);
}

} // namespace

int main(int argc, char** argv) {
    vornic::settleLocalTimeZone(); // as the client does at its start
    const int objects = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int perDay = argc > 2 ? std::atoi(argv[2]) : 3;

    const vornic::bench::BenchHome home;
    const auto filled =
        vornic::bench::fillDatabase(home.databasePath(), {objects, 10000, std::bind_front(writeReadings, perDay)});
    if (!filled)
        return 1;

    home.settle();
    QApplication app(argc, argv);
    const QString folder = home.filePath(QStringLiteral("reports"));
    QDir().mkpath(folder);
    vornic::bench::BenchDesktop desktop(folder, QDateTime(kToday, QTime(12, 0)));

    vornic::ClientSession session(vornic::dataFolder());
    TForm1 window(session.context());
    if (!window.FormCreate())
        return 1;
    window.debounceWorker().stop();
    TForm7 report(session.context());
    report.show();
    QApplication::processEvents();
    report.FormActivate();
    report.form().ComboBox3->setCurrentText(QStringLiteral("Ноябрь"));
    const double shownPeak = peakMegabytes();

    QElapsedTimer timer;
    Step build{"build"};
    timer.start();
    build.stallMs = longestStallOf([&] { report.Button1Click(); });
    build.ms = millisecondsSince(timer);
    build.peakMb = peakMegabytes();
    const int firstRows = report.IBDataSet1().rowCount();

    Step saves[] = {{"save as a text file"}, {"save as an XML file"}, {"save as a workbook"}};
    for (int format = 0; format < 3; ++format) {
        report.form().ComboBox1->setCurrentIndex(format);
        timer.restart();
        saves[format].stallMs = longestStallOf([&] { report.Button2Click(); });
        saves[format].ms = millisecondsSince(timer);
        saves[format].peakMb = peakMegabytes();
    }
    const qsizetype lines = report.IBDataSet1().rowCount();

    vornic::bench::printBuildKind();
    std::printf("objects: %d, %d readings a day for %d days (database %.0f MB, filled in %.1f s)\n", objects, perDay,
                kDays, filled->megabytes, filled->seconds);
    std::printf("the month's readings: %lld; rows read by the build: %d\n", static_cast<long long>(lines), firstRows);
    print(build, 1000);
    // Saving: under 1 s per 100,000 lines.
    const double saveGoalMs = std::max(1000.0, static_cast<double>(lines) / 100.0);
    for (const Step& save : saves)
        print(save, saveGoalMs);
    std::printf("peak memory (VmHWM): with the window shown %.1f MB, at the end %.1f MB (goal under 300 MB)\n",
                shownPeak, peakMegabytes());
    return desktop.messageCount() == 0 && lines > 0 ? 0 : 1;
}
