#include "tools/demo_data/DemoReadings.h"

#include "db/Database.h"
#include "db/ObjectsTable.h"
#include "db/Statement.h"
#include "tools/demo_data/DialPictureSplicer.h"
#include "tools/readings_server/DialPicture.h"

#include <QDateTime>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace vornic {

namespace {

// Cases need some history before them: the implausible pass judges a rise by the rises of the days before.
constexpr int kFewestDaysForCases = 14;
// A scanner's gaps stay this far from the newest day, so that a gap never looks like a silent scanner.
constexpr int kNoGapsInLastDays = 7;
constexpr int kMisreadBy = 5000; // a turning wheel taken for the next digit
constexpr int kBackwardsBy = 100;
// Battery levels: a normal battery is changed at this level, a running-down one is this far above spent today.
constexpr double kBatteryChangedAt = 40;
constexpr double kRunningDownLast = 12;
constexpr int kSmallestPicture = 20 * 1024;
// Cameras differ: a quality each object keeps, so that the pictures lie between 20 and 40 KB.
constexpr std::array<int, 3> kQualities = {90, 95, 98};

// A small, fast generator of its own, so that a million objects cost 8 bytes each and the data do not depend on
// how a library's generator is implemented (splitmix64).
class SmallRandom {
public:
    explicit SmallRandom(quint64 seed) : state_(seed) {}
    quint64 next() {
        quint64 z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int bound) { return bound <= 0 ? 0 : int(next() % quint64(bound)); }
    double unit() { return double(next() >> 11) / double(1ULL << 53); }

private:
    quint64 state_;
};

struct DemoObject {
    qint64 id = 0;
    int scanner = 0;
    int quality = 0; // index into kQualities
    SmallRandom random{0};
    double meter = 0;
    double dailyRise = 0;
    double drain = 0; // % a day
    double phase = 0; // days into the current battery on the first day
    bool misread = false;
    bool backwards = false;
    bool notANumber = false;
    bool gaps = false;
    DemoMaintenanceCase maintenance = DemoMaintenanceCase::None;
};

// Which object carries which case goes by its place among the objects written, so that a list of N objects
// always holds the same number of each.
std::vector<DemoObject> objectsWithoutReadings(Database& database, const DemoReadingsPlan& plan) {
    Statement select(database, QStringLiteral("SELECT O.ID_OBJECT, O.ID_SCANNER, O.POWER_DEVICES FROM LIST_OBJECTS O "
                                              "WHERE NOT EXISTS (SELECT 1 FROM IMAGE_OBJECT_DATE R WHERE R.ID_OBJECT "
                                              "= O.ID_OBJECT) ORDER BY O.ID_OBJECT"));
    select.open();
    const bool cases = plan.days >= kFewestDaysForCases;
    std::vector<DemoObject> objects;
    while (select.fetch()) {
        const int index = int(objects.size());
        DemoObject object;
        object.id = select.value(0).toLongLong();
        object.scanner = select.value(1).toString().trimmed().toInt();
        object.quality = index % int(kQualities.size());
        object.random = SmallRandom(plan.seed * 0x100000001B3ULL + quint64(object.id));
        object.meter = 1000 + object.random.below(50000);
        object.dailyRise = 2 + object.random.below(39);
        object.drain = 0.1 + 0.1 * object.random.unit();
        object.phase = object.random.unit() * (100 - kBatteryChangedAt) / object.drain;
        object.misread = cases && index % 50 == 1;
        object.backwards = cases && index % 70 == 2;
        object.notANumber = cases && index % 90 == 3;
        object.gaps = index % 10 == 8;
        const bool mains = select.value(2).toString().trimmed() == ObjectsTable::kMainsPower;
        if (mains)
            object.maintenance = DemoMaintenanceCase::Mains;
        else if (cases && index % 40 == 6)
            object.maintenance = DemoMaintenanceCase::BatteryRunningDown;
        else if (cases && index % 40 == 16)
            object.maintenance = DemoMaintenanceCase::BatteryChanged;
        else if (cases && index % 40 == 26)
            object.maintenance = DemoMaintenanceCase::Silent;
        else if (cases && index % 40 == 36)
            object.maintenance = DemoMaintenanceCase::WeakSignal;
        objects.push_back(object);
    }
    return objects;
}

// ID_IMAG is the key: the new readings are numbered on from the largest number already there.
qint64 firstFreePictureId(Database& database) {
    Statement select(database, QStringLiteral("SELECT MAX(CAST(ID_IMAG AS BIGINT)) FROM IMAGE_OBJECT_DATE WHERE "
                                              "ID_IMAG SIMILAR TO '[0-9]{1,18}'"));
    select.open();
    qint64 largest = 0;
    if (select.fetch()) {
        largest = select.value(0).toLongLong();
        select.close();
    }
    return largest + 1;
}

// A battery level in %, daysBack days before the end of the newest day.
double batteryLevel(const DemoObject& object, double day, double daysBack) {
    const double period = (100 - kBatteryChangedAt) / object.drain;
    const double normal = 100 - object.drain * std::fmod(day + object.phase, period);
    switch (object.maintenance) {
    case DemoMaintenanceCase::Mains:
        return 100;
    case DemoMaintenanceCase::BatteryRunningDown:
        // A point a day over the last month, a day or two from spent on the newest day.
        return daysBack <= 30 ? std::min(normal, kRunningDownLast + daysBack) : normal;
    case DemoMaintenanceCase::BatteryChanged:
        if (daysBack > kDemoBatteryChangedDaysAgo)
            return std::min(normal, 15 + 2 * (daysBack - kDemoBatteryChangedDaysAgo));
        return 100 - 0.25 * (kDemoBatteryChangedDaysAgo - daysBack);
    default:
        return normal;
    }
}

class ReadingInsert {
public:
    ReadingInsert(Database& database, int rowsPerCommit)
        : database_(database),
          insert_(database,
                  QStringLiteral("INSERT INTO IMAGE_OBJECT_DATE (ID_OBJECT, DAT, ID_IMAG, IMAGE, RECOGNITION, "
                                 "READINGS, BAT, CSQ, NSMOD, ERROR) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")),
          rowsPerCommit_(qMax(1, rowsPerCommit)) {}

    // True when it committed.
    bool write(const QVariantList& values) {
        for (int i = 0; i < values.size(); ++i)
            insert_.bind(i, values[i]);
        insert_.execute();
        if (++pending_ < rowsPerCommit_)
            return false;
        commit();
        return true;
    }
    void commit() {
        database_.commitRetaining();
        pending_ = 0;
    }

private:
    Database& database_;
    Statement insert_;
    int rowsPerCommit_;
    int pending_ = 0;
};

} // namespace

DemoReadingsResult addDemoReadings(Database& database, const DemoReadingsPlan& plan) {
    auto unit = database.lock();
    std::vector<DemoObject> objects = objectsWithoutReadings(database, plan);
    qint64 nextId = firstFreePictureId(database);
    const int days = qMax(0, plan.days);
    const int perDay = qMax(1, plan.perDay);
    const qint64 most = qint64(objects.size()) * days * perDay;
    std::array<std::unique_ptr<DialPictureSplicer>, kQualities.size()> splicers;
    if (plan.pictures)
        for (size_t i = 0; i < kQualities.size(); ++i)
            splicers[i] = std::make_unique<DialPictureSplicer>(kQualities[i]);

    DemoReadingsResult result;
    result.objects = qint64(objects.size());
    for (const DemoObject& object : objects)
        if (object.maintenance != DemoMaintenanceCase::None)
            result.maintenance.insert(object.id, object.maintenance);

    const int misreadDay = days / 2;
    const int backwardsDay = days / 3;
    const int notANumberDay = days / 4;
    const int middle = perDay / 2;
    const int share = 86400 / perDay;
    ReadingInsert insert(database, plan.rowsPerCommit);
    QVariantList values(10);
    // Day by day, every object each day, as downloads store them.
    for (int day = 0; day < days; ++day) {
        const int back = days - 1 - day;
        const QDate date = plan.newest.addDays(-back);
        for (DemoObject& object : objects) {
            SmallRandom& random = object.random;
            const double dayRise = object.dailyRise * (0.5 + random.unit());
            const bool plantedDay = (object.misread && day == misreadDay) ||
                                    (object.backwards && day == backwardsDay) ||
                                    (object.notANumber && day == notANumberDay);
            const bool silent = object.maintenance == DemoMaintenanceCase::Silent && back < kDemoSilentDays;
            const bool gap = object.gaps && back >= kNoGapsInLastDays && !plantedDay && random.below(10) == 0;
            if (silent || gap) {
                object.meter += dayRise;
                ++result.missedObjectDays;
                continue;
            }
            for (int k = 0; k < perDay; ++k) {
                // Early in its share of the day, give or take a tenth of it: readings evenly spaced rise by much the
                // same amount, as a scanner's regular schedule makes them.
                const int second = k * share + random.below(qMax(1, share / 10));
                const double fraction = second / 86400.0;
                int value = int(object.meter + dayRise * fraction);
                if (object.backwards && (day > backwardsDay || (day == backwardsDay && k >= middle)))
                    value -= kBackwardsBy;
                const QString shown = QStringLiteral("%1").arg(value, 5, 10, QLatin1Char('0'));
                QString text = shown;
                bool planted = false;
                if (k == middle && day == misreadDay && object.misread) {
                    text = QStringLiteral("%1").arg(value + kMisreadBy, 5, 10, QLatin1Char('0'));
                    planted = true;
                } else if (k == middle && day == notANumberDay && object.notANumber) {
                    text[1] = u'?';
                    planted = true;
                } else if (k == middle && day == backwardsDay && object.backwards) {
                    planted = true;
                }
                const QString id = QString::number(nextId++);
                if (planted)
                    result.implausible.append(id);
                // The planted readings were recognised with confidence: nothing marks them for the review.
                const bool doubtful = random.below(100) < plan.doubtfulPercent && !planted;
                const int battery =
                    qBound(0, int(batteryLevel(object, day + fraction, back + 1 - fraction)) - random.below(2), 100);
                const int signal =
                    object.maintenance == DemoMaintenanceCase::WeakSignal ? random.below(8) : 12 + random.below(20);
                QVariant picture;
                if (plan.pictures) {
                    // The dial shows what the meter shows; a misreading or a text that is no number is the
                    // recognition's fault, and a blank drum on the dial is what makes the latter.
                    QByteArray jpeg = splicers[size_t(object.quality)]->picture(
                        object.notANumber && text != shown ? text : shown, object.scanner);
                    if (jpeg.size() < kSmallestPicture)
                        jpeg = padJpeg(jpeg, kSmallestPicture);
                    result.pictureBytes += jpeg.size();
                    picture = jpeg;
                }
                values[0] = object.id;
                // The wall-clock time as stored, without a zone to ask each time or a summer hour to skip.
                values[1] = QDateTime(date, QTime(0, 0).addSecs(second), Qt::UTC);
                values[2] = id;
                values[3] = picture;
                values[4] = text;
                values[5] = text;
                values[6] = battery;
                values[7] = signal;
                values[8] = 1 + random.below(5);
                values[9] = doubtful ? 1 : 0;
                ++result.readings;
                if (insert.write(values) && plan.progress)
                    plan.progress(result.readings, most);
            }
            object.meter += dayRise;
        }
    }
    insert.commit();
    if (plan.progress)
        plan.progress(result.readings, most);
    return result;
}

} // namespace vornic
