// Builds the consumption report over 2,000 objects (argv[1] overrides) with 365 readings each (argv[2]), one a
// day, as the operator does with "Сформировать" for the whole year, then saves it as a text file, an XML file and a
// workbook. Prints the time of each step and the peak memory (VmHWM) after it.
//
// Every tenth reading is one the recognition could not read, and the newest and oldest of every seventh object
// are such readings too, so that the report looks past them as it does in the field.
//
// The database is filled by a child process, so that the peak memory printed here is the report's alone.
//
// Figures of a Debug build (as ./test builds it) say little: build with -DCMAKE_BUILD_TYPE=Release.

#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "base/LocalTimeZone.h"
#include "bench/support/BenchDatabase.h"
#include "bench/support/BenchDesktop.h"
#include "bench/support/BenchSupport.h"
#include "reports/ConsumptionReport.h"
#include "ui/main/Glav_form.h"
#include "ui/main/Threadds2select.h"
#include "ui/reports/Expense_reports.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;

const QDate kNewestDay(2014, 12, 31);

// One reading a day for each object, object by object.
void writeReadingsOfTheYear(int days, const QList<qint64>& objects, vornic::bench::ReadingWriter& readings) {
    for (int o = 0; o < objects.size(); ++o) {
        for (int day = 0; day < days; ++day) {
            // From the oldest day on, the meter turns a little each day; a value with hundredths, as read.
            const int step = days - 1 - day;
            const bool unreadable = day % 10 == 5 || (o % 7 == 0 && (day == 0 || day == days - 1));
            vornic::bench::Reading reading;
            reading.object = objects.at(o);
            reading.taken = QDateTime(kNewestDay.addDays(-day), QTime(6 + o % 12, o % 60));
            reading.imageId = QStringLiteral("%1-%2").arg(o).arg(day);
            reading.value = unreadable ? QStringLiteral("ошибка")
                                       : QString::number(1000 + o + step * 1.37, 'f', 2).replace(u'.', u',');
            reading.error = unreadable;
            readings.write(reading.withVaryingTelemetry(day));
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    vornic::settleLocalTimeZone(); // as the client does at its start
    const int objects = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int days = argc > 2 ? std::atoi(argv[2]) : 365;

    const vornic::bench::BenchHome home;
    const auto filled = vornic::bench::fillDatabase(home.databasePath(),
                                                    {objects, 10000, std::bind_front(writeReadingsOfTheYear, days)});
    if (!filled)
        return 1;

    home.settle();
    QApplication app(argc, argv);
    vornic::bench::BenchDesktop desktop(home.path(), QDateTime(kNewestDay, QTime(12, 0)));

    vornic::ClientSession session(vornic::dataFolder());
    TForm1 window(session.context());
    if (!window.FormCreate())
        return 1;
    window.debounceWorker().stop();
    TForm13 report(session.context());
    report.show();
    QApplication::processEvents();
    report.FormActivate();
    report.form().DateTimePicker1->setDay(kNewestDay.addDays(-(days - 1)));
    report.form().DateTimePicker2->setDay(kNewestDay);
    const double shownPeak = peakMegabytes();

    QElapsedTimer timer;
    timer.start();
    report.Button1Click();
    QApplication::processEvents();
    const double buildMs = millisecondsSince(timer);
    const double builtPeak = peakMegabytes();
    const qsizetype rows = report.resultRows().size();

    struct Saved {
        const char* format;
        double ms;
        double peak;
    } saved[] = {{"TXT", 0, 0}, {"XML", 0, 0}, {"XLS", 0, 0}};
    for (Saved& save : saved) {
        report.form().ComboBox1->setCurrentText(QString::fromLatin1(save.format));
        timer.restart();
        report.Button2Click();
        save.ms = millisecondsSince(timer);
        save.peak = peakMegabytes();
    }
    // The objects statement alone, run again on pages the database has read by now: of the Build, the part that
    // is not one statement per object.
    vornic::DataSet& objectsOfPeriod = report.IBDataSet1();
    timer.restart();
    objectsOfPeriod.close();
    vornic::selectConsumptionObjects(
        objectsOfPeriod, {report.form().DateTimePicker1->dateText(), report.form().DateTimePicker2->dateText()});
    objectsOfPeriod.open();
    objectsOfPeriod.fetchAll();
    const double objectsMs = millisecondsSince(timer);
    const int objectsFound = objectsOfPeriod.rowCount();
    objectsOfPeriod.close();

    const qint64 textBytes = QFile(home.path() + QStringLiteral("/Отчет.txt")).size();
    const qint64 xmlBytes = QFile(home.path() + QStringLiteral("/Отчет.xml")).size();
    const qint64 workbookBytes = QFile(home.path() + QStringLiteral("/Documents/MyTest.xlsx")).size();

    vornic::bench::printBuildKind();
    std::printf("objects: %d with %d readings each (database %.0f MB, filled in %.1f s)\n", objects, days,
                filled->megabytes, filled->seconds);
    std::printf("build the report over the year: %.0f ms, %lld rows (%.0f statements per second)\n", buildMs,
                static_cast<long long>(rows), buildMs > 0 ? (rows + 1) * 1000.0 / buildMs : 0.0);
    std::printf("of which the objects statement (run again): %.0f ms for %d objects\n", objectsMs, objectsFound);
    for (const Saved& save : saved)
        std::printf("save as %s: %.0f ms (peak memory %.1f MB)\n", save.format, save.ms, save.peak);
    std::printf("files: text %lld bytes, XML %lld bytes, workbook %lld bytes\n", static_cast<long long>(textBytes),
                static_cast<long long>(xmlBytes), static_cast<long long>(workbookBytes));
    std::printf("peak memory with the window shown: %.1f MB\n", shownPeak);
    std::printf("peak memory after the build: %.1f MB\n", builtPeak);
    if (desktop.messageCount() > 0 || rows != objects || textBytes <= 0 || xmlBytes <= 0 || workbookBytes <= 0) {
        std::fprintf(stderr, "the report is not what it should be\n");
        return 1;
    }
    return 0;
}
