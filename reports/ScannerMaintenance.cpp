#include "reports/ScannerMaintenance.h"

#include "base/IniFile.h"
#include "base/Settings.h"
#include "base/Trimmed.h"
#include "db/Database.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "db/Statement.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace vornic {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// Beyond this a battery is as good as everlasting: no day is worth naming.
constexpr double kFarthestDays = 3650.0;

std::optional<int> wholeNumber(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    return value.toInt();
}

// Days since a fixed moment, with the time of day as a fraction. Local time as stored: a trend in % per day does
// not care for a summer hour.
double dayNumber(const QDateTime& at) {
    return double(at.date().toJulianDay()) + at.time().msecsSinceStartOfDay() / (kSecondsPerDay * 1000.0);
}

QDate dayOfNumber(double day) {
    return QDate::fromJulianDay(qint64(std::floor(day)));
}

// The battery of the readings since the battery now in the scanner was put in, within the trend days. The
// readings before a change belong to the old battery: mixing them in would draw a rising line across the change
// and predict nothing, or a day long past.
struct BatteryPoint {
    double day;
    int level;
};

std::vector<BatteryPoint> currentBattery(const QList<MaintenanceReading>& readings,
                                         const MaintenanceThresholds& thresholds) {
    std::vector<BatteryPoint> points;
    for (const MaintenanceReading& reading : readings)
        if (reading.battery)
            points.push_back({dayNumber(reading.at), *reading.battery});
    if (points.empty())
        return points;
    const double since = dayNumber(readings.last().at) - thresholds.trendDays;
    auto first = std::find_if(points.begin(), points.end(), [&](const BatteryPoint& p) { return p.day >= since; });
    for (auto it = points.end() - 1; it != first && it != points.begin(); --it)
        if (it->level - (it - 1)->level >= thresholds.batteryChangeRise) {
            first = it;
            break;
        }
    return std::vector<BatteryPoint>(first, points.end());
}

struct Line {
    double slope; // per day
    double at(double day) const { return level + slope * (day - day0); }
    double level; // at day0
    double day0;
};

std::optional<Line> leastSquares(const std::vector<BatteryPoint>& points) {
    if (points.size() < 2)
        return std::nullopt;
    double meanDay = 0;
    double meanLevel = 0;
    for (const BatteryPoint& p : points) {
        meanDay += p.day;
        meanLevel += p.level;
    }
    meanDay /= double(points.size());
    meanLevel /= double(points.size());
    double spread = 0;
    double together = 0;
    for (const BatteryPoint& p : points) {
        spread += (p.day - meanDay) * (p.day - meanDay);
        together += (p.day - meanDay) * (p.level - meanLevel);
    }
    // Readings all at one moment say nothing of a trend.
    if (spread < 1e-9)
        return std::nullopt;
    return Line{together / spread, meanLevel, meanDay};
}

std::optional<double> median(std::vector<int> values) {
    if (values.empty())
        return std::nullopt;
    const auto middle = values.begin() + qsizetype(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1)
        return double(*middle);
    const int below = *std::max_element(values.begin(), middle);
    return (double(below) + double(*middle)) / 2.0;
}

QString decimalText(double value, int decimals) {
    // "-0,00" would read as a fall that is not there.
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0;
    return QString::number(value, 'f', decimals).replace(u'.', u',');
}

QString numberText(const std::optional<int>& value) {
    return value ? QString::number(*value) : QString();
}

} // namespace

MaintenanceThresholds maintenanceThresholds(const IniFile& settings) {
    return {readSetting(settings, settings::silentDays()),         readSetting(settings, settings::batteryLevel()),
            readSetting(settings, settings::batteryWarningDays()), readSetting(settings, settings::batteryChangeRise()),
            readSetting(settings, settings::weakSignal()),         readSetting(settings, settings::trendDays())};
}

QString daysText(int days) {
    const int tens = days % 100;
    const int ones = days % 10;
    const QString word = tens >= 11 && tens <= 14 ? u"дней"_s
                         : ones == 1              ? u"день"_s
                         : ones >= 2 && ones <= 4 ? u"дня"_s
                                                  : u"дней"_s;
    return QString::number(days) + u' ' + word;
}

MaintenanceRow maintenanceRow(const MaintenanceObject& object, const QList<MaintenanceReading>& readings, QDate today,
                              const MaintenanceThresholds& thresholds) {
    MaintenanceRow row;
    row.object = object;
    if (readings.isEmpty()) {
        row.verdict = MaintenanceVerdict::NoReadings;
        row.verdictText = u"Нет показаний"_s;
        return row;
    }
    // A reading stamped after today (a scanner with a wrong clock) is as fresh as one of today.
    row.daysSilent = std::max<qint64>(0, readings.last().at.date().daysTo(today));

    if (!object.mains) {
        const std::vector<BatteryPoint> battery = currentBattery(readings, thresholds);
        if (!battery.empty()) {
            const BatteryPoint& last = battery.back();
            row.battery = last.level;
            const std::optional<Line> line = leastSquares(battery);
            if (line)
                row.batteryTrend = line->slope;
            if (last.level <= thresholds.batteryLevel) {
                row.batterySpent = dayOfNumber(last.day);
            } else if (line && line->slope < 0) {
                // From the line rather than the last reading, so that one reading a point or two off does not
                // move the day.
                const double left = std::max(0.0, (line->at(last.day) - thresholds.batteryLevel) / -line->slope);
                if (left <= kFarthestDays)
                    row.batterySpent = dayOfNumber(last.day + left);
            }
        }
    }

    // The usual signal decides, not the last one: a single poor reading is no reason to send anybody out.
    std::vector<int> levels;
    const double since = dayNumber(readings.last().at) - thresholds.trendDays;
    for (auto it = readings.crbegin(); it != readings.crend() && dayNumber(it->at) >= since; ++it) {
        if (!it->signal)
            continue;
        if (!row.signal)
            row.signal = it->signal;
        levels.push_back(*it->signal);
    }
    row.usualSignal = median(std::move(levels));

    if (*row.daysSilent >= thresholds.silentDays) {
        row.verdict = MaintenanceVerdict::NoConnection;
        row.verdictText = u"Нет связи "_s + daysText(*row.daysSilent);
    } else if (row.batterySpent && today.daysTo(*row.batterySpent) <= thresholds.batteryWarningDays) {
        row.verdict = MaintenanceVerdict::ReplaceBattery;
        row.verdictText = u"Заменить батарею до "_s + row.batterySpent->toString(u"dd.MM.yyyy"_s);
    } else if (row.usualSignal && *row.usualSignal < thresholds.weakSignal) {
        row.verdict = MaintenanceVerdict::WeakSignal;
        row.verdictText = u"Слабый сигнал"_s;
    }
    return row;
}

void sortMaintenanceRows(QList<MaintenanceRow>& rows) {
    // A silent scanner comes before a battery about to run out: it has already stopped sending, and what the list
    // knows of its battery and signal is as old as its last reading. A weak signal still lets readings through.
    std::stable_sort(rows.begin(), rows.end(), [](const MaintenanceRow& a, const MaintenanceRow& b) {
        if (a.verdict != b.verdict)
            return a.verdict < b.verdict;
        switch (a.verdict) {
        case MaintenanceVerdict::NoConnection:
            return *a.daysSilent > *b.daysSilent;
        case MaintenanceVerdict::ReplaceBattery:
            return *a.batterySpent < *b.batterySpent;
        case MaintenanceVerdict::WeakSignal:
            return *a.usualSignal < *b.usualSignal;
        case MaintenanceVerdict::NoReadings:
        case MaintenanceVerdict::None:
            break;
        }
        return false;
    });
}

QList<MaintenanceRow> scannerMaintenance(Database& database, QDate today, const MaintenanceThresholds& thresholds) {
    // One unit, so that a download going on does not add readings between the objects and their readings.
    auto unit = database.lock();
    QList<MaintenanceObject> objects;
    {
        Statement list(database, ObjectsTable::kMaintenanceSelect);
        list.open();
        while (list.fetch())
            objects.append({list.value(0).toLongLong(), list.value(1).toString(), list.value(2).toString(),
                            list.value(3).toString(), trimmed(list.value(4).toString()) == ObjectsTable::kMainsPower});
    }

    QList<MaintenanceRow> rows;
    rows.reserve(objects.size());
    // Each object's readings come newest first, down to the first one older than the trend days before its newest:
    // the engine reads those few from its index and no more, however long the object's history. The moment comes
    // as seconds since the start of 2000: a local date and time made for each reading would ask the system's time
    // zone each time.
    const qint64 trendSeconds = qint64(qMax(0, thresholds.trendDays)) * 86400;
    Statement newestFirst(database, ReadingsTable::kNewestFirstOfObjectSelect);
    QList<MaintenanceReading> readings;
    for (const MaintenanceObject& object : std::as_const(objects)) {
        readings.clear();
        newestFirst.bind(0, object.id);
        newestFirst.open();
        std::optional<qint64> oldestKept;
        while (newestFirst.fetch()) {
            const QVariant at = newestFirst.value(0);
            // Without a moment a reading has no place among the days; such readings come last.
            if (at.isNull())
                break;
            const qint64 seconds = at.toLongLong();
            if (!oldestKept)
                oldestKept = seconds - trendSeconds;
            if (seconds < *oldestKept)
                break;
            // Kept as the wall-clock time it was stored as, without a zone to convert it through.
            readings.append({QDateTime::fromSecsSinceEpoch(ReadingsTable::kSecondsAt2000 + seconds, Qt::UTC),
                             wholeNumber(newestFirst.value(1)), wholeNumber(newestFirst.value(2))});
        }
        if (newestFirst.isOpen())
            newestFirst.close();
        std::reverse(readings.begin(), readings.end());
        rows.append(maintenanceRow(object, readings, today, thresholds));
    }
    sortMaintenanceRows(rows);
    return rows;
}

const QStringList& maintenanceTitles() {
    static const QStringList titles = {u"ID сканера"_s,     u"ФИО"_s,      u"Адрес"_s,
                                       u"Дней без связи"_s, u"Заряд, %"_s, u"Тренд, % в день"_s,
                                       u"Дата разряда"_s,   u"Сигнал"_s,   u"Вывод"_s};
    return titles;
}

QStringList maintenanceCells(const MaintenanceRow& row) {
    return {trimmed(row.object.scanner),
            trimmed(row.object.fio),
            trimmed(row.object.address),
            numberText(row.daysSilent),
            numberText(row.battery),
            row.batteryTrend ? decimalText(*row.batteryTrend, 2) : QString(),
            row.batterySpent ? row.batterySpent->toString(u"dd.MM.yyyy"_s) : QString(),
            numberText(row.signal),
            row.verdictText};
}

QStringList maintenanceLines(const QList<MaintenanceRow>& rows) {
    const QStringList& titles = maintenanceTitles();
    QStringList lines;
    lines.reserve(rows.size());
    for (const MaintenanceRow& row : rows) {
        const QStringList cells = maintenanceCells(row);
        QStringList parts;
        for (qsizetype i = 0; i < cells.size(); ++i)
            parts.append(titles[i] + u": "_s + cells[i]);
        lines.append(parts.join(u"  "_s));
    }
    return lines;
}

QList<XmlElement> maintenanceElements(const QList<MaintenanceRow>& rows) {
    static const QStringList names = {u"ID_SCANNER"_s,    u"fio"_s,     u"address"_s,
                                      u"days_silent"_s,   u"battery"_s, u"battery_trend"_s,
                                      u"battery_spent"_s, u"signal"_s,  u"verdict"_s};
    QList<XmlElement> elements;
    elements.reserve(rows.size());
    for (const MaintenanceRow& row : rows) {
        const QStringList cells = maintenanceCells(row);
        XmlElement element{u"row"_s, {}};
        for (qsizetype i = 0; i < cells.size(); ++i)
            element.attributes.append({names[i], cells[i]});
        elements.append(element);
    }
    return elements;
}

SpreadsheetReport maintenanceSheet(const QList<MaintenanceRow>& rows) {
    SpreadsheetReport sheet{{14, 25, 30, 10, 10, 12, 14, 10, 32}, {}};
    const QStringList& titles = maintenanceTitles();
    for (qsizetype i = 0; i < titles.size(); ++i)
        sheet.cells.append({1, int(i) + 1, titles[i]});
    int line = 2;
    for (const MaintenanceRow& row : rows) {
        const QStringList cells = maintenanceCells(row);
        for (qsizetype i = 0; i < cells.size(); ++i)
            sheet.cells.append({line, int(i) + 1, cells[i]});
        ++line;
    }
    return sheet;
}

} // namespace vornic
