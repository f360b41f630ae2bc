#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace vornic {
class Database;
class Statement;
} // namespace vornic

namespace vornic::bench {

// One reading as a benchmark stores it. Its value goes into both the recognition and the reading, as a download
// stores an answer the operator has not corrected.
struct Reading {
    qint64 object = 0;
    QDateTime taken;
    QString imageId;
    QString value;
    int battery = 0;
    int signal = 0;
    int mode = 1;
    bool error = false;
    QByteArray picture; // none when empty: most benchmarks read no picture

    // Battery, signal and mode that vary with n and stay in range, for benchmarks that measure nothing of them.
    Reading& withVaryingTelemetry(int n) {
        battery = 40 + n % 60;
        signal = n % 32;
        mode = 1 + n % 5;
        return *this;
    }
};

// Stores readings with one prepared insert and commits every rowsPerCommit of them, so that a fill of a million
// rows neither holds one huge transaction nor pays a commit a row. The last rows are committed by commit().
class ReadingWriter {
public:
    ReadingWriter(Database& db, int rowsPerCommit);
    ~ReadingWriter();
    ReadingWriter(const ReadingWriter&) = delete;
    ReadingWriter& operator=(const ReadingWriter&) = delete;

    void write(const Reading& reading);
    void commit();

private:
    Database& db_;
    std::unique_ptr<Statement> insert_;
    int rowsPerCommit_;
    int written_ = 0;
};

// What a benchmark's database holds: demo objects, then the readings `readings` writes for them, given the
// objects' ids in the order of the directory.
struct DatabaseFill {
    int objects = 1;
    int rowsPerCommit = 5000;
    std::function<void(const QList<qint64>& objects, ReadingWriter& readings)> readings;
};

// How long a fill took and how large it left the file.
struct FillFigures {
    double seconds = 0;
    double megabytes = 0;
};

// Makes a fresh database at path and fills it, in a child process so that the memory the fill takes does not count
// as the measured run's. Call it before any thread is started. Nothing when the fill failed.
std::optional<FillFigures> fillDatabase(const QString& path, const DatabaseFill& fill);

// A database of demo objects and their readings (tools/demo_data/DemoReadings.h) for a benchmark that needs one
// of real size: the file the environment variable VORNIC_BENCH_DATABASE names, made once beforehand with
// demo_data, as it is; else one of `objects` objects and `days` days made at path now, in a child process as
// fillDatabase makes its. The path of the database, nothing when the fill failed.
std::optional<QString> demoDatabase(const QString& path, int objects, int days, bool pictures = false);

// The ids of the objects in the order of the directory.
QList<qint64> objectIds(Database& db);

} // namespace vornic::bench
