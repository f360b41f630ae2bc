#include "bench/support/BenchDatabase.h"

#include "bench/support/BenchSupport.h"
#include "db/Database.h"
#include "db/Statement.h"
#include "tools/demo_data/DemoObjects.h"
#include "tools/demo_data/DemoReadings.h"
#include "tools/make_database/DatabaseMaker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QVariant>

namespace vornic::bench {

ReadingWriter::ReadingWriter(Database& db, int rowsPerCommit)
    : db_(db),
      insert_(std::make_unique<Statement>(db, QStringLiteral("INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, "
                                                             "IMAGE, RECOGNITION, READINGS, BAT, CSQ, NSMOD, ERROR) "
                                                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))),
      rowsPerCommit_(rowsPerCommit) {}

ReadingWriter::~ReadingWriter() = default;

void ReadingWriter::write(const Reading& reading) {
    insert_->bind(0, reading.object);
    insert_->bind(1, reading.taken);
    insert_->bind(2, reading.imageId);
    insert_->bind(3, reading.picture.isEmpty() ? QVariant() : QVariant(reading.picture));
    insert_->bind(4, reading.value);
    insert_->bind(5, reading.value);
    insert_->bind(6, reading.battery);
    insert_->bind(7, reading.signal);
    insert_->bind(8, reading.mode);
    insert_->bind(9, reading.error ? 1 : 0);
    insert_->execute();
    if (++written_ % rowsPerCommit_ == 0)
        db_.commitRetaining();
}

void ReadingWriter::commit() {
    db_.commitRetaining();
}

QList<qint64> objectIds(Database& db) {
    QList<qint64> ids;
    Statement select(db, QStringLiteral("SELECT ID_OBJECT FROM LIST_OBJECTS ORDER BY ID_OBJECT"));
    select.open();
    while (select.fetch())
        ids.append(select.value(0).toLongLong());
    select.close();
    return ids;
}

std::optional<FillFigures> fillDatabase(const QString& path, const DatabaseFill& fill) {
    QElapsedTimer timer;
    timer.start();
    const bool filled = inChildProcess([&] {
        makeDatabase(path);
        setForcedWrites(path, false);
        {
            Database db;
            db.connect(path);
            addDemoObjects(db, fill.objects);
            auto unit = db.lock();
            const QList<qint64> ids = objectIds(db);
            ReadingWriter writer(db, fill.rowsPerCommit);
            if (fill.readings)
                fill.readings(ids, writer);
            writer.commit();
        }
        setForcedWrites(path, true);
    });
    if (!filled)
        return std::nullopt;
    return FillFigures{millisecondsSince(timer) / 1000.0, static_cast<double>(QFile(path).size()) / 1048576.0};
}

std::optional<QString> demoDatabase(const QString& path, int objects, int days, bool pictures) {
    const QString shared = qEnvironmentVariable("VORNIC_BENCH_DATABASE");
    if (!shared.isEmpty()) {
        if (QFile::exists(shared))
            return shared;
        QTextStream(stderr) << "VORNIC_BENCH_DATABASE names no file: " << shared << '\n';
        return std::nullopt;
    }
    const bool filled = inChildProcess([&] {
        makeDatabase(path);
        setForcedWrites(path, false);
        {
            Database db;
            db.connect(path);
            addDemoObjects(db, objects);
            DemoReadingsPlan plan;
            plan.days = days;
            plan.pictures = pictures;
            addDemoReadings(db, plan);
            db.commit();
        }
        setForcedWrites(path, true);
    });
    return filled ? std::optional(path) : std::nullopt;
}

} // namespace vornic::bench
