// The objects without readings among 10,000 objects with 1,000,000 readings (argv[1] and argv[2] override the
// two numbers): forms the list of a thirty-day period in the window, as "Сформировать " does, reads it whole as
// the grid and the writers do, and saves it as a text file, an XML file and a workbook. Prints each time and the
// peak memory (VmHWM).
//
// The readings are spread one a day backwards from the newest day, round the objects in turn. Every hundredth
// object is never read, and every hundredth from the fiftieth on was read only long before the period, so that
// the list holds one object in fifty.
//
// The database is filled by a child process (one prepared insert, a commit every few thousand rows, no
// pictures), so that the peak memory printed here is the window's alone. Figures of a Debug build say little:
// build with -DCMAKE_BUILD_TYPE=Release.

#include "bench/support/BenchSupport.h"
#include "app/ClientSession.h"
#include "base/DataFolder.h"
#include "base/Services.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/Statement.h"
#include "tools/demo_data/DemoObjects.h"
#include "tools/make_database/DatabaseMaker.h"
#include "ui/reports/Notrespondentsscanners.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
using vornic::bench::peakMegabytes;

constexpr int kRowsPerCommit = 5000;
constexpr int kPeriodDays = 30;
constexpr int kStaleDays = 400; // how far before the newest day the stale objects' readings lie
const QDate kNewestDay(2018, 12, 31);

bool neverRead(int object) {
    return object % 100 == 0;
}
bool readLongAgo(int object) {
    return object % 100 == 50;
}

void fillDatabase(const QString& path, int objects, int readings) {
    vornic::makeDatabase(path);
    vornic::Database db;
    db.connect(path);
    vornic::addDemoObjects(db, objects);

    auto unit = db.lock();
    QList<qint64> read; // the objects that have readings, in the order of the directory
    QList<bool> stale;
    {
        vornic::Statement ids(db, QStringLiteral("SELECT ID_OBJECT FROM LIST_OBJECTS ORDER BY ID_OBJECT"));
        ids.open();
        for (int i = 0; ids.fetch(); ++i) {
            if (neverRead(i))
                continue;
            read.append(ids.value(0).toLongLong());
            stale.append(readLongAgo(i));
        }
    }
    if (read.isEmpty())
        return;
    vornic::Statement insert(db, QStringLiteral("INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, "
                                                "RECOGNITION, READINGS, BAT, CSQ, NSMOD, ERROR) "
                                                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QDateTime newest(kNewestDay, QTime(22, 0));
    for (int row = 0; row < readings; ++row) {
        const int object = row % static_cast<int>(read.size());
        const int daysBack = row / static_cast<int>(read.size()) + (stale[object] ? kStaleDays : 0);
        const QString value = QString::number(10000 + row % 90000);
        insert.bind(0, read[object]);
        insert.bind(1, newest.addDays(-daysBack).addSecs(-(row % 3600)));
        insert.bind(2, QString::number(row + 1));
        insert.bind(3, value);
        insert.bind(4, value);
        insert.bind(5, 40 + row % 60);
        insert.bind(6, row % 32);
        insert.bind(7, 1 + row % 5);
        insert.bind(8, row % 7 == 0 ? 1 : 0);
        insert.execute();
        if ((row + 1) % kRowsPerCommit == 0)
            db.commitRetaining();
    }
    db.commitRetaining();
}

// The desktop stand-ins: the save dialog answers with the next preset name, messages are printed, nothing is
// opened.
class PresetNames final : public vornic::FileDialogs {
public:
    QString saveFileName(const QString&, const QString&, const QString&) override {
        return names.isEmpty() ? QString() : names.takeFirst();
    }
    QStringList names;
};

class PrintedMessages final : public vornic::MessageBoxes {
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
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    }
};

class NoShell final : public vornic::Shell {
public:
    void open(const QString&) override {}
};

} // namespace

int main(int argc, char** argv) {
    const int objects = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int readings = argc > 2 ? std::atoi(argv[2]) : 1000000;

    QTemporaryDir home;
    const QString database = home.path() + QStringLiteral("/Vornic_Client/DB/FB_PROJECT.GDB");
    QElapsedTimer timer;
    timer.start();
    if (!inChildProcess([&] { fillDatabase(database, objects, readings); }))
        return 1;
    const double fillSeconds = millisecondsSince(timer) / 1000.0;
    const double fileMegabytes = static_cast<double>(QFile(database).size()) / 1048576.0;

    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("HOME", home.path().toLocal8Bit()); // the workbook goes into the documents folder there
    QApplication app(argc, argv);
    PresetNames files;
    PrintedMessages messages;
    NoShell shell;
    vornic::services().files = &files;
    vornic::services().messages = &messages;
    vornic::services().shell = &shell;
    const double baseline = peakMegabytes();

    vornic::ClientSession session(vornic::dataFolder());
    session.context().database.connect(database);
    TForm10 window(session.context());
    window.show();
    QApplication::processEvents();

    window.form().DateTimePicker1->setDay(kNewestDay.addDays(1 - kPeriodDays));
    window.form().DateTimePicker2->setDay(kNewestDay);
    timer.restart();
    window.Button1Click();
    QApplication::processEvents();
    const double formMs = millisecondsSince(timer);

    vornic::DataSet& list = window.IBDataSet1();
    timer.restart();
    list.last();
    QApplication::processEvents();
    const double lastMs = millisecondsSince(timer);
    const int listed = list.rowCount();
    const double listedPeak = peakMegabytes();

    const QString text = home.filePath(QStringLiteral("Отчет.txt"));
    const QString xml = home.filePath(QStringLiteral("Отчет.xml"));
    files.names = {text, xml};
    double saveMs[3] = {};
    for (int format = 0; format < 3; ++format) {
        window.form().ComboBox1->setCurrentIndex(format);
        timer.restart();
        window.Button2Click();
        QApplication::processEvents();
        saveMs[format] = millisecondsSince(timer);
    }
    const QString workbook = QDir(home.filePath(QStringLiteral("Documents"))).filePath(QStringLiteral("MyTest.xlsx"));

    int expected = 0;
    for (int i = 0; i < objects; ++i)
        expected += neverRead(i) || readLongAgo(i) ? 1 : 0;

#ifndef NDEBUG
    std::printf("a Debug build: its figures are no guide to the program as delivered\n");
#endif
    std::printf("objects: %d, readings: %d (database %.0f MB, filled in %.1f s)\n", objects, readings, fileMegabytes,
                fillSeconds);
    std::printf("form the list of a %d-day period: %.1f ms\n", kPeriodDays, formMs);
    std::printf("read the whole list: %.1f ms (%d objects listed, %d expected)\n", lastMs, listed, expected);
    std::printf("save as text: %.1f ms (%lld bytes)\n", saveMs[0], static_cast<long long>(QFile(text).size()));
    std::printf("save as XML: %.1f ms (%lld bytes)\n", saveMs[1], static_cast<long long>(QFile(xml).size()));
    std::printf("save as a workbook: %.1f ms (%lld bytes)\n", saveMs[2],
                static_cast<long long>(QFile(workbook).size()));
    std::printf("from forming to the last file: %.1f ms\n", formMs + lastMs + saveMs[0] + saveMs[1] + saveMs[2]);
    std::printf("peak memory (VmHWM): before the window %.1f MB, with the list formed %.1f MB, at the end %.1f MB\n",
                baseline, listedPeak, peakMegabytes());
    window.close();
    return listed == expected && messages.count == 0 ? 0 : 1;
}
