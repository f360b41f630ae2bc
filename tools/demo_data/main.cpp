#include "base/DataFolder.h"
#include "base/Failure.h"
#include "db/Database.h"
#include "db/EngineLockFolder.h"
#include "tools/demo_data/DemoObjects.h"
#include "tools/demo_data/DemoReadings.h"
#include "tools/make_database/DatabaseMaker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <optional>

// demo_data DATABASE COUNT [--days D] [--per-day R] [--pictures] [--seed S] [--newest YYYY-MM-DD]: adds COUNT
// made-up objects to a database, for trying the program out; with --days, D days of R readings a day for each of
// them, up to the newest day (today unless given).

namespace {

const char kUsage[] = "usage: demo_data DATABASE COUNT [--days D] [--per-day R] [--pictures] [--seed S] "
                      "[--newest YYYY-MM-DD]\n";

struct Arguments {
    QString database;
    int count = 0;
    std::optional<vornic::DemoReadingsPlan> readings; // none: objects only
};

std::optional<Arguments> parse(const QStringList& arguments) {
    if (arguments.size() < 3)
        return std::nullopt;
    Arguments parsed;
    parsed.database = arguments[1];
    bool ok = false;
    parsed.count = arguments[2].toInt(&ok);
    if (!ok || parsed.count < 0)
        return std::nullopt;
    vornic::DemoReadingsPlan plan;
    bool readings = false;
    const auto number = [&](qsizetype at, int least) -> std::optional<qint64> {
        const qint64 value = arguments.value(at).toLongLong(&ok);
        return ok && value >= least ? std::optional(value) : std::nullopt;
    };
    for (qsizetype i = 3; i < arguments.size(); ++i) {
        const QString& option = arguments[i];
        if (option == QStringLiteral("--pictures")) {
            plan.pictures = true;
            continue;
        }
        std::optional<qint64> value;
        if (option == QStringLiteral("--days") || option == QStringLiteral("--per-day"))
            value = number(i + 1, 1);
        else if (option == QStringLiteral("--seed"))
            value = number(i + 1, 0);
        if (option == QStringLiteral("--days") && value && *value <= 100000) {
            plan.days = int(*value);
            readings = true;
        } else if (option == QStringLiteral("--per-day") && value && *value <= 1440) {
            plan.perDay = int(*value);
        } else if (option == QStringLiteral("--seed") && value) {
            plan.seed = quint64(*value);
        } else if (option == QStringLiteral("--newest")) {
            plan.newest = QDate::fromString(arguments.value(i + 1), Qt::ISODate);
            if (!plan.newest.isValid())
                return std::nullopt;
        } else {
            return std::nullopt;
        }
        ++i;
    }
    // Every option but --days tells how the readings are made: without --days there are none to make.
    if (readings)
        parsed.readings = plan;
    else if (arguments.size() > 3)
        return std::nullopt;
    return parsed;
}

double megabytes(const QString& path) {
    return double(QFileInfo(path).size()) / 1048576.0;
}

// Sets the database to write through to the disk again, however the fill ends.
struct ForcedWritesBack {
    QString database;
    ~ForcedWritesBack() {
        try {
            vornic::setForcedWrites(database, true);
        } catch (const vornic::Failure& failure) {
            QTextStream(stderr) << failure.text() << '\n';
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const std::optional<Arguments> arguments = parse(app.arguments());
    if (!arguments) {
        err << kUsage;
        return 2;
    }
    // The client's lock folder: the client may have the same database open.
    vornic::settleEngineLockFolder(vornic::dataFolder());
    try {
        // Written through to the disk page by page, a year of readings takes many times longer to store; the
        // database is set back as it was delivered once they are in.
        vornic::setForcedWrites(arguments->database, false);
        const ForcedWritesBack forcedWritesBack{arguments->database};
        vornic::Database database;
        database.connect(arguments->database);
        vornic::addDemoObjects(database, arguments->count);
        if (!arguments->readings)
            return 0;
        QElapsedTimer timer;
        timer.start();
        vornic::DemoReadingsPlan plan = *arguments->readings;
        qint64 lastShown = 0;
        plan.progress = [&](qint64 written, qint64 most) {
            if (timer.elapsed() - lastShown < 10000)
                return;
            lastShown = timer.elapsed();
            err << QStringLiteral("%1 of %2 readings, %3 s\n").arg(written).arg(most).arg(lastShown / 1000);
            err.flush();
        };
        const vornic::DemoReadingsResult result = vornic::addDemoReadings(database, plan);
        database.commit();
        err << QStringLiteral("%1 objects given %2 readings (%3 MB of pictures) in %4 s; the database is %5 MB\n")
                   .arg(result.objects)
                   .arg(result.readings)
                   .arg(double(result.pictureBytes) / 1048576.0, 0, 'f', 0)
                   .arg(double(timer.elapsed()) / 1000.0, 0, 'f', 1)
                   .arg(megabytes(arguments->database), 0, 'f', 0);
    } catch (const vornic::Failure& failure) {
        err << failure.text() << '\n';
        return 1;
    }
    return 0;
}
