// Every long piece of work of the windows on a database of a utility's size: 2,000 objects with a year of readings
// (tools/demo_data; the environment variable VORNIC_BENCH_DATABASE names one made beforehand, with pictures,
// else one without pictures is made now, which takes a few minutes). Each report is built and saved as a text
// file, an XML file and a workbook, the implausible readings of all objects are found, the maintenance list made
// and saved, and the chart of one object drawn over the year. Prints for each the time it took and the longest
// the event loop went without turning (the windows answer nothing meanwhile), beside the goals: under 1 s for a
// build or pass, under 1 s per 100,000 lines for a save, stalls under 200 ms; and the peak memory beside 300 MB.
// The work that shows its progress is also interrupted once it does, and the time it took to give up printed
// beside 200 ms.
//
// Figures of a Debug build (as ./test builds it) say little: build with -DCMAKE_BUILD_TYPE=Release.

#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "base/LocalTimeZone.h"
#include "bench/support/BenchDatabase.h"
#include "bench/support/BenchDesktop.h"
#include "bench/support/BenchSupport.h"
#include "bench/support/StallMeter.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/Statement.h"
#include "ui/main/Glav_form.h"
#include "ui/main/Threadds2select.h"
#include "ui/objects/Scanner_maintenance.h"
#include "ui/readings/Consumption_chart.h"
#include "ui/readings/Suspicious_readings.h"
#include "ui/reports/Expense_reports.h"
#include "ui/reports/Generate_reports.h"
#include "ui/reports/Generate_reports_all.h"
#include "ui/reports/Notrespondentsscanners.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

using vornic::bench::longestStallOf;
using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;

constexpr double kStallGoalMs = 200;
constexpr double kPassGoalMs = 1000;

int failures = 0;

// Runs one piece of work as the operator starts it and prints its figures beside the goals; a save's goal grows
// with its lines.
void measure(const char* name, const std::function<void()>& work, double goalMs = kPassGoalMs) {
    QElapsedTimer timer;
    timer.start();
    const double stallMs = longestStallOf([&] {
        work();
        QApplication::processEvents();
    });
    const double ms = millisecondsSince(timer);
    const bool met = ms < goalMs && stallMs < kStallGoalMs;
    failures += met ? 0 : 1;
    std::printf("%-44s %7.0f ms (goal %5.0f), longest stall %5.0f ms (goal %3.0f), peak %4.0f MB%s\n", name, ms, goalMs,
                stallMs, kStallGoalMs, peakMegabytes(), met ? "" : "  <- missed");
    std::fflush(stdout);
}

// Presses "Прервать" as soon as the work's progress window shows and prints how long the work took to give up
// after it, beside the goal of a stall.
void measureInterruption(const char* name, vornic::WorkInSteps& work, const std::function<void()>& start) {
    QElapsedTimer sincePress;
    bool pressed = false;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QDialog* progress = work.progressWindow();
        if (pressed || !progress)
            return;
        if (auto* stop = progress->findChild<QPushButton*>()) {
            pressed = true;
            sincePress.start();
            stop->click();
        }
    });
    watch.start();
    start();
    const double ms = pressed ? millisecondsSince(sincePress) : 0;
    watch.stop();
    if (!pressed) {
        std::printf("%-44s ended before its progress showed\n", name);
        return;
    }
    const bool met = ms < kStallGoalMs;
    failures += met ? 0 : 1;
    std::printf("%-44s gave up %5.0f ms after Прервать (goal %3.0f)%s\n", name, ms, kStallGoalMs,
                met ? "" : "  <- missed");
    std::fflush(stdout);
}

double saveGoalMs(qsizetype lines) {
    return std::max(kPassGoalMs, static_cast<double>(lines) / 100.0);
}

// The day of the newest reading, which the clock is set to: the demo data ends on the day it was made.
QDate newestDay(const QString& database) {
    vornic::Database db;
    db.connect(database);
    vornic::Statement newest(db, QStringLiteral("SELECT MAX(DAT) FROM IMAGE_OBJECT_DATE"));
    newest.open();
    const QDate day = newest.fetch() ? newest.value(0).toDateTime().date() : QDate();
    if (newest.isOpen())
        newest.close();
    return day;
}

// The client of this home opens the database named.
void pointClientAt(const QString& database) {
    const QString folder = vornic::dataFolder();
    QDir().mkpath(folder);
    QFile options(folder + QStringLiteral("options.ini"));
    if (options.open(QIODevice::WriteOnly))
        options.write("[BD]\r\nBD_path=" + QFile::encodeName(database) + "\r\n");
}

// The save of a window in each of the three forms its choice offers, in their order.
void measureSaves(const char* window, QComboBox& format, const std::function<void()>& save,
                  double goalMs = kPassGoalMs) {
    const char* const forms[] = {"text file", "XML file", "workbook"};
    for (int form = 0; form < 3; ++form) {
        format.setCurrentIndex(form);
        measure(qPrintable(
                    QStringLiteral("%1: save as a %2").arg(QLatin1StringView(window), QLatin1StringView(forms[form]))),
                save, goalMs);
    }
}

} // namespace

int main(int argc, char** argv) {
    vornic::settleLocalTimeZone(); // as the client does at its start
    const vornic::bench::BenchHome home;
    home.settle();
    const std::optional<QString> database =
        vornic::bench::demoDatabase(home.filePath(QStringLiteral("demo.gdb")), 2000, 365);
    if (!database)
        return 1;

    QApplication app(argc, argv);
    const QDate today = newestDay(*database);
    if (!today.isValid()) {
        std::fprintf(stderr, "the database holds no readings\n");
        return 1;
    }
    pointClientAt(*database);
    const QString folder = home.filePath(QStringLiteral("reports"));
    QDir().mkpath(folder);
    vornic::bench::BenchDesktop desktop(folder, QDateTime(today, QTime(18, 0)));
    vornic::bench::printBuildKind();
    std::printf("database %s (%.0f MB), its newest readings of %s\n", qPrintable(*database),
                static_cast<double>(QFile(*database).size()) / 1048576.0, qPrintable(today.toString(Qt::ISODate)));

    vornic::ClientSession session(vornic::dataFolder());
    TForm1 window(session.context());
    if (!window.FormCreate()) {
        std::fprintf(stderr, "the main window could not be made\n");
        return 1;
    }
    window.debounceWorker().stop();
    window.show();
    QApplication::processEvents();
    const QDate yearAgo = today.addDays(-364);

    {
        TForm13 report(session.context());
        report.show();
        QApplication::processEvents();
        report.FormActivate();
        report.form().DateTimePicker1->setDay(yearAgo);
        report.form().DateTimePicker2->setDay(today);
        measure("consumption report: build over the year", [&] { report.Button1Click(); });
        const qsizetype lines = report.resultRows().size();
        measureSaves(
            "consumption report", *report.form().ComboBox1, [&] { report.Button2Click(); }, saveGoalMs(lines));
    }
    {
        TForm7 report(session.context());
        report.show();
        QApplication::processEvents();
        report.FormActivate();
        report.form().ComboBox3->setCurrentIndex(1); // the month before today's: the list begins with today's

        measure("period report: build of last month", [&] { report.Button1Click(); });
        report.IBDataSet1().fetchAll();
        const qsizetype lines = report.IBDataSet1().rowCount();
        measureSaves(
            "period report", *report.form().ComboBox1, [&] { report.Button2Click(); }, saveGoalMs(lines));
        measureInterruption("period report: save as a workbook, interrupted", report.work(),
                            [&] { report.Button2Click(); });
    }
    {
        window.IBDataSet1().first();
        TForm3 report(session.context(), window.IBDataSet1());
        report.show();
        QApplication::processEvents();
        report.FormActivate();
        report.form().DateTimePicker1->setDay(yearAgo);
        report.form().DateTimePicker2->setDay(today);
        measure("subscriber report: build over the year", [&] { report.Button1Click(); });
        measureSaves("subscriber report", *report.form().ComboBox1, [&] { report.Button2Click(); });
    }
    {
        TForm10 report(session.context());
        report.show();
        QApplication::processEvents();
        report.FormActivate();
        report.form().DateTimePicker1->setDay(today.addDays(-2));
        report.form().DateTimePicker2->setDay(today);
        measure("unpolled objects: list of the last 3 days", [&] { report.Button1Click(); });
        measureSaves("unpolled objects", *report.form().ComboBox1, [&] { report.Button2Click(); });
    }
    {
        TForm14 review(session.context());
        review.show();
        QApplication::processEvents();
        measure("implausible readings of all objects", [&] { review.Button1Click(); });
        measureInterruption("implausible readings, interrupted", review.work(), [&] { review.Button1Click(); });
    }
    {
        TForm16 maintenance(session.context());
        maintenance.show();
        QApplication::processEvents();
        measure("maintenance list", [&] { maintenance.Button1Click(); });
        measureSaves("maintenance list", *maintenance.form().ComboBox1, [&] { maintenance.Button2Click(); });
    }
    {
        window.IBDataSet1().first();
        const int object = window.IBDataSet1().field(QStringLiteral("ID_OBJECT")).asInteger();
        TForm15 chart(session.context(), object, QStringLiteral("объект"), QStringLiteral("сканер"));
        chart.show();
        QApplication::processEvents();
        chart.form().DateTimePicker1->setDay(yearAgo);
        chart.form().DateTimePicker2->setDay(today);
        measure("chart of one object over the year", [&] { chart.Button1Click(); });
    }

    std::printf("peak memory (VmHWM): %.1f MB (goal under 300 MB)\n", peakMegabytes());
    if (desktop.messageCount() > 0)
        std::printf("the windows told the operator something: the run is not as measured\n");
    std::printf("%d of the goals missed\n", failures);
    return desktop.messageCount() == 0 ? 0 : 1;
}
