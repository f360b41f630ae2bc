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

#include "bench/support/BenchSupport.h"
#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "base/Services.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/Statement.h"
#include "tools/demo_data/DemoObjects.h"
#include "tools/make_database/DatabaseMaker.h"
#include "ui/reports/Generate_reports.h"
#include "ui/main/Glav_form.h"
#include "ui/main/Threadds2select.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>

namespace {

using vornic::bench::inChildProcess;
using vornic::bench::millisecondsSince;
using vornic::bench::statusMegabytes;

constexpr int kRowsPerCommit = 1000;
const QDateTime kNewest(QDate(2018, 3, 10), QTime(22, 0));

void fillDatabase(const QString& path, int readings) {
    vornic::makeDatabase(path);
    vornic::Database db;
    db.connect(path);
    vornic::addDemoObjects(db, 1);

    auto unit = db.lock();
    qint64 object = 0;
    {
        vornic::Statement id(db, QStringLiteral("SELECT ID_OBJECT FROM LIST_OBJECTS"));
        id.open();
        if (id.fetch())
            object = id.value(0).toLongLong();
        id.close();
    }
    vornic::Statement insert(db, QStringLiteral("INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, "
                                                "RECOGNITION, READINGS, BAT, CSQ, NSMOD, ERROR) "
                                                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (int row = 0; row < readings; ++row) {
        // Newest first, the meter going down by 3 a reading from where it now stands.
        QString value = QStringLiteral("%1").arg(100000 - 3 * row, 6, 10, QChar(u'0'));
        if (row % 50 == 7)
            value = QStringLiteral("не распознано");
        else if (row % 97 == 11)
            value = QString::number(100000 - 3 * row) + QStringLiteral(".5");
        insert.bind(0, object);
        insert.bind(1, kNewest.addSecs(-7200LL * row));
        insert.bind(2, QString::number(row + 1));
        insert.bind(3, value);
        insert.bind(4, value);
        insert.bind(5, 40 + row % 60);
        insert.bind(6, row % 32);
        insert.bind(7, 1 + row % 5);
        insert.bind(8, row % 50 == 7 ? 1 : 0);
        insert.execute();
        if ((row + 1) % kRowsPerCommit == 0)
            db.commitRetaining();
    }
    db.commitRetaining();
}

// The desktop as the benchmark needs it: every save dialog answers with the next file of the folder, and any
// message is printed, since a report that tells the operator something has not run as measured.
class Messages final : public vornic::MessageBoxes {
public:
    void inform(const QString& text) override { print(text); }
    void reportError(const QString& text) override { print(text); }
    bool ask(const QString& text) override {
        print(text);
        return true;
    }
    int count = 0;

private:
    void print(const QString& text) {
        ++count;
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    }
};

class Files final : public vornic::FileDialogs {
public:
    explicit Files(QString folder) : folder_(std::move(folder)) {}
    QString saveFileName(const QString&, const QString& initialName, const QString& defaultExtension) override {
        last = folder_ + u'/' + initialName + defaultExtension;
        return last;
    }
    QString last;

private:
    QString folder_;
};

class FixedClock final : public vornic::Clock {
public:
    QDateTime now() const override { return kNewest.addSecs(3600); }
};

class Shell final : public vornic::Shell {
public:
    void open(const QString& target) override { opened = target; }
    QString opened;
};

class Process final : public vornic::ProcessControl {
public:
    void exitProcess(int code) override { std::fprintf(stderr, "exit %d asked\n", code); }
};

double megabytesOf(const QString& path) { return static_cast<double>(QFileInfo(path).size()) / 1048576.0; }

} // namespace

int main(int argc, char** argv) {
    const int readings = argc > 1 ? std::atoi(argv[1]) : 10000;

    QTemporaryDir home;
    const QString database = home.path() + QStringLiteral("/Vornic_Client/DB/FB_PROJECT.GDB");
    QElapsedTimer timer;
    timer.start();
    if (!inChildProcess([&] { fillDatabase(database, readings); }))
        return 1;
    const double fillSeconds = millisecondsSince(timer) / 1000.0;

    // The workbook goes to the documents folder of a home of its own.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    QApplication app(argc, argv);
    const QString reports = home.path() + QStringLiteral("/reports");
    QDir().mkpath(reports);
    Messages messages;
    Files files(reports);
    FixedClock clock;
    Shell shell;
    Process process;
    vornic::services() = vornic::Services{&messages, &files, &clock, &shell, &process};
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

    timer.restart();
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
        saved[format] = format < 2 ? files.last : shell.opened;
    }
    const double savedPeak = statusMegabytes("VmHWM:");
    if (messages.count > 0)
        return 1;

#ifndef NDEBUG
    std::printf("a Debug build: its figures are no guide to the program as delivered\n");
#endif
    std::printf("readings of the object: %d (database filled in %.1f s)\n", readings, fillSeconds);
    std::printf("build: %.1f ms (%d rows listed, consumption %s)\n", buildMs, rows, qPrintable(consumption));
    const char* names[3] = {"text file", "XML file", "workbook"};
    for (int format = 0; format < 3; ++format)
        std::printf("save the %s: %.1f ms (%.2f MB, %s)\n", names[format], saveMs[format],
                    megabytesOf(saved[format]), qPrintable(QFileInfo(saved[format]).fileName()));
    std::printf("build and all three saves: %.1f ms\n", buildMs + saveMs[0] + saveMs[1] + saveMs[2]);
    std::printf("peak memory (VmHWM) before the windows: %.1f MB\n", baselinePeak);
    std::printf("peak memory with the report window open: %.1f MB\n", openedPeak);
    std::printf("peak memory after the build: %.1f MB\n", builtPeak);
    std::printf("peak memory after the three saves: %.1f MB (resident now %.1f MB)\n", savedPeak,
                statusMegabytes("VmRSS:"));
    return 0;
}
