// Downloads the readings of 500 objects (argv[1] overrides) from the local readings server, 30 readings each with a
// picture of about 20 KB, and prints the readings stored per second and the peak memory of:
//   run 1: the download worker into a database that holds no readings yet;
//   run 2: the same run into a database that already holds 300,000 readings of other objects (argv[2] overrides);
//   the floor: the same requests and the same inserts, each committed on its own, without the worker: what the
//   HTTP transfers and the database cost by themselves;
//   run 3: run 1 into a database on a database server of the bench's own on this computer (tools/firebird-server),
//   as an office shares one: what the server's round trips cost. Left out when the server does not start.
// Then the ratios: run 2 against run 1 (does a full database slow the download?), run 1 against the floor
// (what the worker adds), and run 3 against run 1 and the floor.
//
// Every run starts from a copy of one database file made at the start, and runs in a process of its own, so that
// the runs are independent and each peak memory is its run's alone. The server runs in a process of its own too:
// it keeps every picture it has served, which would otherwise count as the client's memory. Before the timed runs
// every picture is fetched once, so that no run pays for the server drawing them.
//
// `download_bench latency [OBJECTS]` measures instead what the worker makes of a distant server: 100 objects by
// default, every answer 50 ms late, with 1, 4 and 8 requests at once, each beside the same requests made as many at
// a time with no client work, and beside its run against the local server.
//
// Figures of a Debug build (as ./test builds it) say little: build with -DCMAKE_BUILD_TYPE=Release.

#include "base/IniFile.h"
#include "bench/support/BenchSupport.h"
#include "db/Database.h"
#include "db/Statement.h"
#include "download/HttpClient.h"
#include "download/ReadingsProtocol.h"
#include "download/Thread_loadf.h"
#include "tools/demo_data/DemoObjects.h"
#include "tools/make_database/DatabaseMaker.h"
#include "tools/readings_server/ReadingsServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <variant>

namespace {

using vornic::bench::peakMegabytes;

constexpr int kDays = 3;
constexpr int kReadingsPerDay = 10;
constexpr int kPictureBytes = 20000;
constexpr int kFirstScanner = 860001; // the server's first scanner and addDemoObjects' first ID_SCANNER
constexpr int kOtherObjects = 10000;
constexpr int kOtherRowsPerCommit = 10000;
const QDate kToday(2018, 3, 10);

double secondsSince(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// What a run sends back to the main process.
struct Figures {
    double seconds = 0;
    int stored = 0;
    double peak = 0;
    double peakBefore = 0;
    double syncWrite = 0; // milliseconds, measured just before the run
};

// Runs work in a child process and returns what it reported; nullopt when it failed. The main process starts no
// thread and no application object, so that it can fork at any time.
std::optional<Figures> inChildProcess(const std::function<Figures()>& work) {
    int channel[2];
    if (pipe(channel) != 0)
        return std::nullopt;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        close(channel[0]);
        int code = 0;
        try {
            const Figures figures = work();
            if (write(channel[1], &figures, sizeof figures) != static_cast<ssize_t>(sizeof figures))
                code = 1;
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "failed: %s\n", failure.what());
            code = 1;
        } catch (...) {
            std::fprintf(stderr, "failed\n");
            code = 1;
        }
        std::fflush(nullptr);
        std::exit(code);
    }
    close(channel[1]);
    Figures figures;
    const bool reported = read(channel[0], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!reported || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return figures;
}

// The readings server in a child process of its own, until this object goes.
class ServerProcess final {
public:
    explicit ServerProcess(const vornic::ReadingsServer::Options& options) {
        int portChannel[2];
        int stopChannel[2];
        if (pipe(portChannel) != 0 || pipe(stopChannel) != 0)
            return;
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            close(portChannel[0]);
            close(stopChannel[1]);
            int port = 0;
            try {
                vornic::ReadingsServer server(options);
                port = server.start();
                if (write(portChannel[1], &port, sizeof port) != static_cast<ssize_t>(sizeof port))
                    port = 0;
                // Serves until the main process closes its end of the channel, or ends.
                char ignored = 0;
                while (port != 0 && read(stopChannel[0], &ignored, 1) > 0) {
                }
                server.stop();
            } catch (const std::exception& failure) {
                std::fprintf(stderr, "readings server: %s\n", failure.what());
            }
            std::fflush(nullptr);
            _exit(port != 0 ? 0 : 1);
        }
        close(portChannel[1]);
        close(stopChannel[0]);
        stop_ = stopChannel[1];
        if (read(portChannel[0], &port_, sizeof port_) != static_cast<ssize_t>(sizeof port_))
            port_ = 0;
        close(portChannel[0]);
    }

    ~ServerProcess() {
        if (stop_ >= 0)
            close(stop_);
        if (pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    Q_DISABLE_COPY_MOVE(ServerProcess)

    int port() const { return port_; }
    QString baseAddress() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port_); }

private:
    pid_t pid_ = -1;
    int stop_ = -1;
    int port_ = 0;
};

// A database server in a folder of its own (tools/firebird-server), until this object goes. It is started and
// stopped by the script through the shell, so that the main process still starts no thread.
class DatabaseServer final {
public:
    explicit DatabaseServer(const QString& folder) : folder_(folder) {
        FILE* script = popen(command(QStringLiteral("start")).constData(), "r");
        if (!script)
            return;
        char line[4096] = {};
        const bool read = std::fgets(line, sizeof line, script) != nullptr;
        if (pclose(script) == 0 && read)
            name_ = QString::fromLocal8Bit(line).trimmed();
    }
    ~DatabaseServer() {
        if (!name_.isEmpty() && std::system(command(QStringLiteral("stop")).constData()) != 0)
            std::fprintf(stderr, "the database server in %s may still run\n", qPrintable(folder_));
    }
    Q_DISABLE_COPY_MOVE(DatabaseServer)

    // "127.0.0.1/port:path" of a database in its folder; empty when the server did not start.
    const QString& databaseName() const { return name_; }

private:
    QByteArray command(const QString& action) const {
        const QString script =
            QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/../tools/firebird-server");
        return (u'\'' + script + QStringLiteral("' ") + action + QStringLiteral(" '") + folder_ + u'\'').toLocal8Bit();
    }

    QString folder_;
    QString name_;
};

QList<Thread_loadF::Object> objectsOf(vornic::Database& db) {
    QList<Thread_loadF::Object> objects;
    vornic::Statement select(db, QStringLiteral("SELECT ID_OBJECT, ID_SCANNER FROM LIST_OBJECTS ORDER BY ID_OBJECT"));
    select.open();
    while (select.fetch())
        objects.append({select.value(0).toString(), select.value(1).toString()});
    return objects;
}

int readingCount(vornic::Database& db) {
    vornic::Statement count(db, QStringLiteral("SELECT COUNT(*) FROM IMAGE_OBJECT_DATE"));
    count.open();
    const int rows = count.fetch() ? count.value(0).toInt() : -1;
    count.close();
    return rows;
}

void makeObjects(const QString& path, int scanners) {
    vornic::makeDatabase(path);
    vornic::Database db;
    db.connect(path);
    vornic::addDemoObjects(db, scanners, kFirstScanner);
}

// Readings of other objects, as an installation that has been downloading for a while holds them: ids that are no
// number (the server's ids are numbers), no pictures, two years of times.
void addOtherReadings(const QString& path, int rows) {
    vornic::Database db;
    db.connect(path);
    auto unit = db.lock();
    vornic::Statement insert(db, QStringLiteral("INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, IMAGE, "
                                                "RECOGNITION, READINGS, BAT, CSQ, NSMOD, ERROR) "
                                                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QDateTime start(kToday.addYears(-2), QTime(0, 0));
    for (int row = 0; row < rows; ++row) {
        const QString value = QStringLiteral("%1").arg((row * 31) % 100000, 5, 10, QChar(u'0'));
        insert.bind(0, 1000000 + row % kOtherObjects);
        insert.bind(1, start.addSecs(static_cast<qint64>(row) * 209 % (2 * 365 * 86400)));
        insert.bind(2, QStringLiteral("B%1").arg(row));
        insert.bind(3, QVariant());
        insert.bind(4, value);
        insert.bind(5, value);
        insert.bind(6, 50 + row % 50);
        insert.bind(7, row % 32);
        insert.bind(8, 1 + row % 5);
        insert.bind(9, row % 9 == 0 ? 1 : 0);
        insert.execute();
        if ((row + 1) % kOtherRowsPerCommit == 0)
            db.commitRetaining();
    }
    db.commitRetaining();
}

// Sends every object's readings request and every picture request of its answer, as the worker does, and hands
// each row with its picture to onRow.
template <class OnRow>
void forEveryServedReading(const QString& baseAddress, const QList<Thread_loadF::Object>& objects, OnRow&& onRow) {
    const vornic::HttpClient http;
    for (const Thread_loadF::Object& object : objects) {
        QByteArray body;
        if (http.get(vornic::FormatReadingsUrl(baseAddress, object.scanner, kToday.addDays(-(kDays - 1)), kToday),
                     body))
            throw std::runtime_error("a readings request failed");
        for (const vornic::AnswerElement& element : vornic::ParseReadingsAnswer(body).elements) {
            const auto* row = std::get_if<vornic::AnswerRow>(&element);
            if (!row)
                continue;
            QByteArray picture;
            if (http.get(vornic::FormatPictureUrl(baseAddress, row->img), picture))
                throw std::runtime_error("a picture request failed");
            onRow(object, *row, picture);
        }
    }
}

// Every readings request and every picture once, without storing anything.
Figures fetchEverything(const QString& path, const QString& baseAddress) {
    QList<Thread_loadF::Object> objects;
    {
        vornic::Database db;
        db.connect(path);
        objects = objectsOf(db);
    }
    Figures figures;
    figures.peakBefore = peakMegabytes();
    QElapsedTimer timer;
    timer.start();
    forEveryServedReading(
        baseAddress, objects,
        [&](const Thread_loadF::Object&, const vornic::AnswerRow&, const QByteArray&) { ++figures.stored; });
    figures.seconds = secondsSince(timer);
    figures.peak = peakMegabytes();
    return figures;
}

// The download worker's run over every object, from start to the moment it has freed itself.
Figures workerRun(const QString& path, const QString& settingsPath, int otherRows) {
    int argc = 1;
    char name[] = "download_bench";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    vornic::Database db;
    db.connect(path);
    const QList<Thread_loadF::Object> objects = objectsOf(db);
    db.commitRetaining();

    Figures figures;
    figures.peakBefore = peakMegabytes();
    QEventLoop loop;
    bool finished = false;
    QElapsedTimer timer;
    timer.start();
    auto* worker = new Thread_loadF(db, vornic::IniFile(settingsPath), kDays, kToday, objects);
    QObject::connect(worker, &Thread_loadF::runFinished, &loop, [&finished] { finished = true; });
    QObject::connect(worker, &QObject::destroyed, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    figures.seconds = secondsSince(timer);
    figures.peak = peakMegabytes();
    if (!finished)
        throw std::runtime_error("the worker ended without finishing its run");
    figures.stored = readingCount(db) - otherRows;
    return figures;
}

// The same requests and inserts without the worker: one prepared insert, a commit per row.
Figures floorRun(const QString& path, const QString& baseAddress) {
    vornic::Database db;
    db.connect(path);
    const QList<Thread_loadF::Object> objects = objectsOf(db);
    db.commitRetaining();

    Figures figures;
    figures.peakBefore = peakMegabytes();
    QElapsedTimer timer;
    timer.start();
    vornic::Statement insert(db, QStringLiteral("INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, IMAGE, "
                                                "RECOGNITION, READINGS, BAT, CSQ, NSMOD, ERROR) "
                                                "VALUES (?,?,?,?,?,?,?,?,?,?)"));
    forEveryServedReading(
        baseAddress, objects,
        [&](const Thread_loadF::Object& object, const vornic::AnswerRow& row, const QByteArray& picture) {
            auto unit = db.lock();
            insert.bind(0, object.id.toLongLong());
            insert.bind(1, vornic::ReadingTimeText(row.date).value);
            insert.bind(2, row.id);
            insert.bind(3, picture);
            insert.bind(4, row.pok);
            insert.bind(5, row.pok);
            insert.bind(6, row.bat.toLongLong());
            insert.bind(7, row.csq.toLongLong());
            insert.bind(8, row.nsmod.toLongLong());
            insert.bind(9, row.er);
            insert.execute();
            db.commitRetaining();
            ++figures.stored;
        });
    figures.seconds = secondsSince(timer);
    figures.peak = peakMegabytes();
    return figures;
}

// The time of one synchronous write of a page to a file in folder, in milliseconds: every commit waits for a few of
// them, so it tells how busy the disk was around a run.
double syncWriteMilliseconds(const QString& folder) {
    constexpr int kWrites = 200;
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/probe"));
    const int file = open(path.constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (file < 0)
        return 0;
    const QByteArray page(8192, '\0');
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kWrites; ++i)
        if (pwrite(file, page.constData(), static_cast<size_t>(page.size()), (i % 16) * page.size()) < 0 ||
            fdatasync(file) != 0)
            break;
    const double milliseconds = static_cast<double>(timer.nsecsElapsed()) / 1e6 / kWrites;
    close(file);
    unlink(path.constData());
    return milliseconds;
}

double perSecond(const Figures& figures) {
    return figures.seconds > 0 ? figures.stored / figures.seconds : 0;
}

void print(const char* what, const Figures& figures) {
    std::printf("%s: %d readings in %.2f s\n", what, figures.stored, figures.seconds);
    std::printf("%s: %.1f readings per second\n", what, perSecond(figures));
    std::printf("%s: peak memory %.1f MB (%.1f MB before the run)\n", what, figures.peak, figures.peakBefore);
    std::printf("%s: a synchronous page write took %.2f ms just before\n", what, figures.syncWrite);
}

// The latency mode: the server's answers held back as a distant server's are.
constexpr int kLatencyObjects = 100;
constexpr int kLatencyMs = 50;
constexpr int kParallels[] = {1, 4, 8};

// Every readings request and every picture of their answers, `parallel` at a time and nothing else done: the
// fastest a client that keeps that many requests going can be. A readings answer's pictures go to the front of
// the queue, so that the requests go in about the worker's order.
Figures parallelFetches(const QString& path, const QString& baseAddress, int parallel) {
    QList<Thread_loadF::Object> objects;
    {
        vornic::Database db;
        db.connect(path);
        objects = objectsOf(db);
    }
    Figures figures;
    figures.peakBefore = peakMegabytes();
    QElapsedTimer timer;
    timer.start();
    struct Pending {
        QString url;
        bool answer = false;
    };
    QList<Pending> queue;
    for (const Thread_loadF::Object& object : objects)
        queue.append(
            {vornic::FormatReadingsUrl(baseAddress, object.scanner, kToday.addDays(-(kDays - 1)), kToday), true});
    vornic::HttpRequestSet requests;
    QList<std::pair<vornic::HttpRequestSet::Id, bool>> going; // oldest first
    while (!queue.isEmpty() || !going.isEmpty()) {
        while (going.size() < parallel && !queue.isEmpty()) {
            const Pending next = queue.takeFirst();
            going.append({requests.start(next.url), next.answer});
        }
        const auto [request, answer] = going.takeFirst();
        vornic::HttpRequestSet::Result result = requests.take(request);
        if (result.failure)
            throw std::runtime_error("a request failed");
        if (!answer) {
            ++figures.stored;
            continue;
        }
        QList<Pending> pictures;
        for (const vornic::AnswerElement& element : vornic::ParseReadingsAnswer(result.body).elements)
            if (const auto* row = std::get_if<vornic::AnswerRow>(&element))
                pictures.append({vornic::FormatPictureUrl(baseAddress, row->img), false});
        queue = pictures + queue;
    }
    figures.seconds = secondsSince(timer);
    figures.peak = peakMegabytes();
    return figures;
}

// download_bench latency [OBJECTS]: the worker with 1, 4 and 8 requests at once against a server 50 ms away, each
// beside the same requests made as many at a time without the worker, and beside its run against the local server
// and the local floor (the requests and inserts one at a time without the worker).
int latencyMode(int scanners) {
    vornic::ReadingsServer::Options options;
    options.scanners = scanners;
    options.days = kDays;
    options.readingsPerDay = kReadingsPerDay;
    options.firstScanner = kFirstScanner;
    options.pictureBytes = kPictureBytes;
    options.emptyPokPercent = 0;
    options.today = kToday;
    const ServerProcess local(options);
    options.latencyMs = kLatencyMs;
    const ServerProcess distant(options);
    if (local.port() == 0 || distant.port() == 0) {
        std::fprintf(stderr, "the readings server did not start\n");
        return 1;
    }
    const QTemporaryDir folder;
    const QString base = folder.filePath(QStringLiteral("base.gdb"));
    if (!inChildProcess([&] {
            makeObjects(base, scanners);
            return Figures{};
        }))
        return 1;
    int copies = 0;
    const auto freshCopy = [&] {
        const QString copy = folder.filePath(QStringLiteral("run%1.gdb").arg(++copies));
        if (!QFile::copy(base, copy))
            throw std::runtime_error("the database could not be copied");
        return copy;
    };
    const auto settingsFor = [&](const ServerProcess& server, int parallel) {
        const QString path = folder.filePath(QStringLiteral("options%1-%2.ini").arg(server.port()).arg(parallel));
        vornic::IniFile settings(path);
        settings.writeString(QStringLiteral("Edit_link"), QStringLiteral("link"), server.baseAddress());
        settings.writeInteger(QStringLiteral("Download"), QStringLiteral("parallel"), parallel);
        return path;
    };
    const auto settled = [&folder](const std::function<Figures()>& run) {
        sync();
        const double syncWrite = syncWriteMilliseconds(folder.path());
        std::optional<Figures> figures = inChildProcess(run);
        if (!figures)
            throw std::runtime_error("a run failed");
        figures->syncWrite = syncWrite;
        return *figures;
    };

    const int expected = scanners * kDays * kReadingsPerDay;
    struct Row {
        int parallel;
        Figures distantRun, distantFloor, localRun;
    };
    QList<Row> rows;
    Figures localFloor;
    try {
        // Each server draws every picture once before anything is timed.
        settled([&] { return parallelFetches(base, local.baseAddress(), 8); });
        settled([&] { return parallelFetches(base, distant.baseAddress(), 16); });
        const QString floorCopy = freshCopy();
        localFloor = settled([&] { return floorRun(floorCopy, local.baseAddress()); });
        for (const int parallel : kParallels) {
            Row row{parallel, {}, {}, {}};
            row.distantFloor = settled([&] { return parallelFetches(base, distant.baseAddress(), parallel); });
            const QString distantCopy = freshCopy();
            const QString distantSettings = settingsFor(distant, parallel);
            row.distantRun = settled([&] { return workerRun(distantCopy, distantSettings, 0); });
            const QString localCopy = freshCopy();
            const QString localSettings = settingsFor(local, parallel);
            row.localRun = settled([&] { return workerRun(localCopy, localSettings, 0); });
            rows.append(row);
            QFile::remove(distantCopy);
            QFile::remove(localCopy);
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }

    vornic::bench::printBuildKind();
    std::printf("objects: %d, readings on the server: %d (%d days x %d a day), pictures of %d bytes, %d ms away\n",
                scanners, expected, kDays, kReadingsPerDay, kPictureBytes, kLatencyMs);
    std::printf("readings per second; floor at %d ms: the same requests as many at a time, nothing stored; "
                "floor at 0 ms: the requests and inserts one at a time\n\n",
                kLatencyMs);
    std::printf("| requests at once | %d ms: worker | floor | worker / floor | 0 ms: worker | floor | worker / floor | "
                "peak MB at %d ms |\n",
                kLatencyMs, kLatencyMs);
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows)
        std::printf("| %d | %.1f | %.1f | %.3f | %.1f | %.1f | %.3f | %.1f |\n", row.parallel,
                    perSecond(row.distantRun), perSecond(row.distantFloor),
                    perSecond(row.distantRun) / perSecond(row.distantFloor), perSecond(row.localRun),
                    perSecond(localFloor), perSecond(row.localRun) / perSecond(localFloor), row.distantRun.peak);
    for (const Row& row : rows)
        if (row.distantRun.stored != expected || row.localRun.stored != expected || row.distantFloor.stored != expected)
            std::printf("WARNING: %d readings expected in every run\n", expected);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "latency") == 0)
        return latencyMode(argc > 2 ? std::atoi(argv[2]) : kLatencyObjects);
    const int scanners = argc > 1 ? std::atoi(argv[1]) : 500;
    const int otherRows = argc > 2 ? std::atoi(argv[2]) : 300000;
    const int expected = scanners * kDays * kReadingsPerDay;

    vornic::ReadingsServer::Options options;
    options.scanners = scanners;
    options.days = kDays;
    options.readingsPerDay = kReadingsPerDay;
    options.firstScanner = kFirstScanner;
    options.pictureBytes = kPictureBytes;
    options.emptyPokPercent = 0;
    options.today = kToday;
    const ServerProcess server(options);
    if (server.port() == 0) {
        std::fprintf(stderr, "the readings server did not start\n");
        return 1;
    }

    const QTemporaryDir folder;
    const QString base = folder.filePath(QStringLiteral("base.gdb"));
    const QString settings = folder.filePath(QStringLiteral("options.ini"));
    vornic::IniFile(settings).writeString(QStringLiteral("Edit_link"), QStringLiteral("link"), server.baseAddress());

    QElapsedTimer timer;
    timer.start();
    if (!inChildProcess([&] {
            makeObjects(base, scanners);
            return Figures{};
        }))
        return 1;
    const QString first = folder.filePath(QStringLiteral("run1.gdb"));
    const QString second = folder.filePath(QStringLiteral("run2.gdb"));
    const QString floor = folder.filePath(QStringLiteral("floor.gdb"));
    if (!QFile::copy(base, first) || !QFile::copy(base, second) || !QFile::copy(base, floor))
        return 1;
    if (!inChildProcess([&] {
            addOtherReadings(second, otherRows);
            return Figures{};
        }))
        return 1;
    const double preparedSeconds = secondsSince(timer);

    // Every commit of a run waits for its data to reach the disk, and with it for whatever else the system still
    // holds unwritten: the copies and the filling above would slow whichever run came first. Each run starts with
    // nothing pending.
    const auto settled = [&folder](const std::function<Figures()>& run) {
        sync();
        const double syncWrite = syncWriteMilliseconds(folder.path());
        std::optional<Figures> figures = inChildProcess(run);
        if (figures)
            figures->syncWrite = syncWrite;
        return figures;
    };
    const auto warmUp = settled([&] { return fetchEverything(base, server.baseAddress()); });
    const auto fetches = settled([&] { return fetchEverything(base, server.baseAddress()); });
    const auto floorFigures = settled([&] { return floorRun(floor, server.baseAddress()); });
    const auto run1 = settled([&] { return workerRun(first, settings, 0); });
    const auto run2 = settled([&] { return workerRun(second, settings, otherRows); });
    if (!warmUp || !fetches || !floorFigures || !run1 || !run2) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    const DatabaseServer databaseServer(folder.filePath(QStringLiteral("server")));
    const QString shared = databaseServer.databaseName();
    std::optional<Figures> run3;
    if (!shared.isEmpty() && inChildProcess([&] {
            makeObjects(shared, scanners);
            return Figures{};
        }))
        run3 = settled([&] { return workerRun(shared, settings, 0); });

    vornic::bench::printBuildKind();
    std::printf("objects: %d, readings on the server: %d (%d days x %d a day), pictures of %d bytes\n", scanners,
                expected, kDays, kReadingsPerDay, kPictureBytes);
    std::printf("other readings in the database of run 2: %d of %d other objects (databases made in %.1f s)\n",
                otherRows, kOtherObjects, preparedSeconds);
    std::printf("first fetch of every picture (the server draws them): %.2f s\n", warmUp->seconds);
    std::printf("the HTTP requests alone: %.1f readings per second (%.2f s)\n", perSecond(*fetches), fetches->seconds);
    print("run 1, no readings stored before", *run1);
    print("run 2, other readings stored before", *run2);
    print("floor, the same requests and inserts without the worker", *floorFigures);
    if (run3)
        print("run 3, no readings stored before, a database on the local database server", *run3);
    else
        std::printf("run 3, a database on the local database server: not run (%s)\n",
                    shared.isEmpty() ? "the server did not start" : "the run failed");
    if (run1->stored != expected || run2->stored != expected || floorFigures->stored != expected)
        std::printf("WARNING: %d readings expected in every run\n", expected);
    std::printf("run 2 / run 1 throughput: %.3f\n", perSecond(*run2) / perSecond(*run1));
    std::printf("run 1 / floor throughput: %.3f\n", perSecond(*run1) / perSecond(*floorFigures));
    if (run3) {
        if (run3->stored != expected)
            std::printf("WARNING: %d readings expected in run 3\n", expected);
        std::printf("run 3 / run 1 throughput: %.3f\n", perSecond(*run3) / perSecond(*run1));
        std::printf("run 3 / floor throughput: %.3f\n", perSecond(*run3) / perSecond(*floorFigures));
    }
    return 0;
}
