// The subscriber report of one object with 10,000 readings (argv[1] overrides) over its whole period: Build (the
// statement, the list and the consumption), then the report saved as a text file, an XML file and a workbook
// written by the program's own spreadsheet application. Prints the time of each step and the peak memory.
//
// One reading in fifty is a text that is no number and one in ninety-seven a fraction, as recognition leaves them.
// The readings carry no pictures: the report reads no picture, and the select gives it only their references.
//
// The database is filled by a child process, so that the peak memory printed here is the report's alone.
//
// Figures of a Debug build (as ./test builds it) say little: build with -DCMAKE_BUILD_TYPE=Release.

#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "bench/support/BenchDatabase.h"
#include "bench/support/BenchDesktop.h"
#include "bench/support/BenchSupport.h"
#include "db/DataSet.h"
#include "ui/main/Glav_form.h"
#include "ui/main/Threadds2select.h"
#include "ui/reports/Generate_reports.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using vornic::bench::millisecondsSince;
using vornic::bench::statusMegabytes;

const QDateTime kNewest(QDate(2018, 3, 10), QTime(22, 0));

// Readings two hours apart of the one object, newest first, the meter going down by 3 a reading from where it now
// stands.
void writeReadings(int count, const QList<qint64>& objects, vornic::bench::ReadingWriter& readings) {
    for (int row = 0; row < count; ++row) {
        vornic::bench::Reading reading;
        reading.object = objects.value(0);
        reading.taken = kNewest.addSecs(-7200LL * row);
        reading.imageId = QString::number(row + 1);
        reading.value = QStringLiteral("%1").arg(100000 - 3 * row, 6, 10, QChar(u'0'));
        if (row % 50 == 7)
            reading.value = QStringLiteral("не распознано");
        else if (row % 97 == 11)
            reading.value = QString::number(100000 - 3 * row) + QStringLiteral(".5");
        reading.error = row % 50 == 7;
        readings.write(reading.withVaryingTelemetry(row));
    }
}

double megabytesOf(const QString& path) {
    return static_cast<double>(QFileInfo(path).size()) / 1048576.0;
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
    const QString reports = home.filePath(QStringLiteral("reports"));
    QDir().mkpath(reports);
    vornic::bench::BenchDesktop desktop(reports, kNewest.addSecs(3600));
    const double baselinePeak = statusMegabytes("VmHWM:");

    vornic::ClientSession session(vornic::dataFolder());
    TForm1 window(session.context());
    if (!window.FormCreate())
        return 1;
    window.debounceWorker().stop();
    TForm3 report(session.context(), window.IBDataSet1());
    // Opened as the menu opens it: the activation comes with the window, and empties the result.
    report.show();
    report.activateWindow();
    QElapsedTimer waited;
    waited.start();
    while (!report.isActiveWindow() && waited.elapsed() < 5000)
        QApplication::processEvents();
    QApplication::processEvents();
    report.form().DateTimePicker1->setDay(QDate(2010, 1, 1));
    const double openedPeak = statusMegabytes("VmHWM:");

    QElapsedTimer timer;
    timer.start();
    report.Button1Click();
    QApplication::processEvents();
    const double buildMs = millisecondsSince(timer);
    const double builtPeak = statusMegabytes("VmHWM:");
    const int rows = report.IBDataSet1().rowCount();
    const QString consumption = report.form().Edit1->text();

    double saveMs[3] = {};
    QString saved[3];
    for (int format = 0; format < 3; ++format) {
        report.form().ComboBox1->setCurrentIndex(format);
        timer.restart();
        report.Button2Click();
        saveMs[format] = millisecondsSince(timer);
        saved[format] = format < 2 ? desktop.lastSaved() : desktop.lastOpened();
    }
    const double savedPeak = statusMegabytes("VmHWM:");
    if (desktop.messageCount() > 0)
        return 1;

    vornic::bench::printBuildKind();
    std::printf("readings of the object: %d (database filled in %.1f s)\n", readings, filled->seconds);
    std::printf("build: %.1f ms (%d rows listed, consumption %s)\n", buildMs, rows, qPrintable(consumption));
    const char* names[3] = {"text file", "XML file", "workbook"};
    for (int format = 0; format < 3; ++format)
        std::printf("save the %s: %.1f ms (%.2f MB, %s)\n", names[format], saveMs[format], megabytesOf(saved[format]),
                    qPrintable(QFileInfo(saved[format]).fileName()));
    std::printf("build and all three saves: %.1f ms\n", buildMs + saveMs[0] + saveMs[1] + saveMs[2]);
    std::printf("peak memory (VmHWM) before the windows: %.1f MB\n", baselinePeak);
    std::printf("peak memory with the report window open: %.1f MB\n", openedPeak);
    std::printf("peak memory after the build: %.1f MB\n", builtPeak);
    std::printf("peak memory after the three saves: %.1f MB (resident now %.1f MB)\n", savedPeak,
                statusMegabytes("VmRSS:"));
    return 0;
}
