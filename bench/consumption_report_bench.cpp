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

#include "bench/support/BenchSupport.h"
#include "base/LocalTimeZone.h"
#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "base/Services.h"
#include "db/Database.h"
#include "db/Statement.h"
#include "reports/ConsumptionReport.h"
#include "tools/demo_data/DemoObjects.h"
#include "tools/make_database/DatabaseMaker.h"
#include "ui/reports/Expense_reports.h"
#include "ui/main/Glav_form.h"
#include "ui/main/Threadds2select.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <utility>

namespace {

using vornic::bench::inChildProcess;
using vornic::bench::millisecondsSince;
using vornic::bench::peakMegabytes;

constexpr int kRowsPerCommit = 10000;
const QDate kNewestDay(2014, 12, 31);

void fillDatabase(const QString& path, int objects, int days) {
    vornic::makeDatabase(path);
    vornic::Database db;
    db.connect(path);
    vornic::addDemoObjects(db, objects);

    auto unit = db.lock();
    QList<qint64> ids;
    {
        vornic::Statement select(db, QStringLiteral("SELECT ID_OBJECT FROM LIST_OBJECTS"));
        select.open();
        while (select.fetch())
            ids.append(select.value(0).toLongLong());
        select.close();
    }
    vornic::Statement insert(db, QStringLiteral("INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, "
                                                "RECOGNITION, READINGS, BAT, CSQ, NSMOD, ERROR) "
                                                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    int rows = 0;
    for (int o = 0; o < ids.size(); ++o) {
        for (int day = 0; day < days; ++day) {
            // From the oldest day on, the meter turns a little each day; a value with hundredths, as read.
            const int step = days - 1 - day;
            const bool unreadable = day % 10 == 5 || (o % 7 == 0 && (day == 0 || day == days - 1));
            const QString value = unreadable ? QStringLiteral("ошибка")
                                             : QString::number(1000 + o + step * 1.37, 'f', 2).replace(u'.', u',');
            insert.bind(0, ids.at(o));
            insert.bind(1, QDateTime(kNewestDay.addDays(-day), QTime(6 + o % 12, o % 60)));
            insert.bind(2, QStringLiteral("%1-%2").arg(o).arg(day));
            insert.bind(3, value);
            insert.bind(4, value);
            insert.bind(5, 40 + day % 60);
            insert.bind(6, day % 32);
            insert.bind(7, 1 + day % 5);
            insert.bind(8, unreadable ? 1 : 0);
            insert.execute();
            if (++rows % kRowsPerCommit == 0)
                db.commitRetaining();
        }
    }
    db.commitRetaining();
}

// The desktop as the benchmark needs it: the save dialogs answer with a file of the temporary folder, a message
// is printed (and counts as a failure of the run), and a saved workbook is not opened.
class BenchMessages final : public vornic::MessageBoxes {
public:
    void inform(const QString& text) override { tell(text); }
    void reportError(const QString& text) override { tell(text); }
    bool ask(const QString& text) override {
        tell(text);
        return true;
    }
    int count = 0;

private:
    void tell(const QString& text) {
        ++count;
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    }
};

class BenchFiles final : public vornic::FileDialogs {
public:
    explicit BenchFiles(QString folder) : folder_(std::move(folder)) {}
    QString saveFileName(const QString&, const QString& initialName, const QString& extension) override {
        return folder_ + u'/' + initialName + extension;
    }

private:
    QString folder_;
};

class BenchClock final : public vornic::Clock {
public:
    QDateTime now() const override { return QDateTime(kNewestDay, QTime(12, 0)); }
};

class BenchShell final : public vornic::Shell {
public:
    void open(const QString&) override {}
};

} // namespace

int main(int argc, char** argv) {
    vornic::settleLocalTimeZone(); // as the client does at its start
    const int objects = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int days = argc > 2 ? std::atoi(argv[2]) : 365;

    QTemporaryDir home;
    const QString database = home.path() + QStringLiteral("/Vornic_Client/DB/FB_PROJECT.GDB");
    QElapsedTimer timer;
    timer.start();
    if (!inChildProcess([&] { fillDatabase(database, objects, days); }))
        return 1;
    const double fillSeconds = millisecondsSince(timer) / 1000.0;
    const double fileMegabytes = static_cast<double>(QFile(database).size()) / 1048576.0;

    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    // The workbook goes into the documents folder of this temporary home, not the user's.
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    QApplication app(argc, argv);
    BenchMessages messages;
    BenchFiles files(home.path());
    BenchClock clock;
    BenchShell shell;
    vornic::Services& services = vornic::services();
    services.messages = &messages;
    services.files = &files;
    services.clock = &clock;
    services.shell = &shell;

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

    timer.restart();
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

#ifndef NDEBUG
    std::printf("a Debug build: its figures are no guide to the program as delivered\n");
#endif
    std::printf("objects: %d with %d readings each (database %.0f MB, filled in %.1f s)\n", objects, days,
                fileMegabytes, fillSeconds);
    std::printf("build the report over the year: %.0f ms, %lld rows (%.0f statements per second)\n", buildMs,
                static_cast<long long>(rows), buildMs > 0 ? (rows + 1) * 1000.0 / buildMs : 0.0);
    std::printf("of which the objects statement (run again): %.0f ms for %d objects\n", objectsMs,
                objectsFound);
    for (const Saved& save : saved)
        std::printf("save as %s: %.0f ms (peak memory %.1f MB)\n", save.format, save.ms, save.peak);
    std::printf("files: text %lld bytes, XML %lld bytes, workbook %lld bytes\n", static_cast<long long>(textBytes),
                static_cast<long long>(xmlBytes), static_cast<long long>(workbookBytes));
    std::printf("peak memory with the window shown: %.1f MB\n", shownPeak);
    std::printf("peak memory after the build: %.1f MB\n", builtPeak);
    if (messages.count > 0 || rows != objects || textBytes <= 0 || xmlBytes <= 0 || workbookBytes <= 0) {
        std::fprintf(stderr, "the report is not what it should be\n");
        return 1;
    }
    return 0;
}
