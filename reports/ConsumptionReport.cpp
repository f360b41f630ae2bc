#include "reports/ConsumptionReport.h"

#include "base/DateText.h"
#include "base/Trimmed.h"
#include "db/DataSet.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "db/Statement.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>
#include <utility>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

// Digits shown of a reading: as many as a reading of a meter can carry, and no more than a double holds exactly.
constexpr int kSignificantDigits = 15;

constexpr int kColumns = 6;

QString decimalComma(const char* first, const char* last) {
    QString text = QString::fromLatin1(first, last - first);
    text.replace(u'.', u',');
    return text;
}

// A value rounded to the significant digits it was read with: a difference such as 112.35 - 100, which is
// 12.349999999999994 in binary, becomes the 12.35 that the readings say.
double asRead(double value) {
    char buffer[64];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, kSignificantDigits);
    double read = value;
    if (written.ec == std::errc())
        std::from_chars(buffer, written.ptr, read);
    return read;
}

// The text of a row's field as the data set gives it, the row made current for it.
QString fieldText(DataSet& dataSet, int row, const QString& name) {
    dataSet.moveTo(row);
    return dataSet.field(name).asString();
}

QString trimmedCell(const QStringList& row, int column) {
    return trimmed(row.value(column));
}

} // namespace

void selectConsumptionObjects(DataSet& objects, const ConsumptionPeriod& period) {
    objects.setSelectSql(ObjectsTable::kWithReadingsSelect);
    objects.setParameter(ObjectsTable::kPeriodStart, period.start);
    objects.setParameter(ObjectsTable::kPeriodEnd, period.end);
}

PeriodEndReadings::PeriodEndReadings(Database& database, ConsumptionPeriod period)
    : period_(std::move(period)),
      newestFirst_(std::make_unique<Statement>(database, ReadingsTable::kValuesOfObjectInPeriodNewestFirst)),
      oldestFirst_(std::make_unique<Statement>(database, ReadingsTable::kValuesOfObjectInPeriodOldestFirst)) {}

PeriodEndReadings::~PeriodEndReadings() = default;

std::optional<PeriodEndReadings::Found> PeriodEndReadings::firstNumber(Statement& readings, const QVariant& objectId) {
    readings.bind(0, objectId);
    readings.bind(1, period_.start);
    readings.bind(2, period_.end);
    readings.open();
    while (readings.fetch()) {
        if (const std::optional<double> reading = numericReading(readings.value(1).toString())) {
            Found found{*reading, trimmed(dateTimeText(readings.value(0).toDateTime()))};
            readings.close();
            return found;
        }
    }
    return std::nullopt; // the cursor closed itself after its last row
}

Consumption PeriodEndReadings::of(const QVariant& objectId) {
    Consumption result;
    const std::optional<Found> end = firstNumber(*newestFirst_, objectId);
    if (!end)
        return result; // nothing to read: zeros and no days
    // There is a numeric reading, so this finds one, at the latest the newest one.
    const std::optional<Found> start = firstNumber(*oldestFirst_, objectId);
    result.endReading = end->reading;
    result.endDay = end->day;
    result.startReading = start ? start->reading : end->reading;
    result.startDay = start ? start->day : end->day;
    result.consumption = result.endReading - result.startReading;
    return result;
}

QString consumptionText(double consumption) {
    // Rounded half away from zero on the decimal value the readings give, not on its binary neighbour, which may
    // lie just below the half.
    const double tenths = std::round(asRead(consumption * 10));
    if (tenths == 0)
        return u"0,0"_s; // a consumption that rounds to nothing has no sign
    char buffer[400];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, tenths / 10, std::chars_format::fixed, 1);
    return decimalComma(buffer, written.ptr);
}

QString readingText(double reading) {
    char buffer[64];
    // + 0.0 turns a reading of "-0" into 0.
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, reading + 0.0, std::chars_format::general, kSignificantDigits);
    return decimalComma(buffer, written.ptr);
}

const QStringList& consumptionTitles() {
    static const QStringList titles = {u"ID Сканера"_s,
                                       u"Абонент"_s,
                                       u"Потребление куб.м"_s,
                                       u"Показание на начало периода куб.м"_s,
                                       u"Показания на конец периода куб.м"_s,
                                       u"Период потребление"_s};
    return titles;
}

QStringList consumptionRow(const QString& scanner, const QString& subscriber, const Consumption& consumption) {
    return {scanner,
            subscriber,
            consumptionText(consumption.consumption),
            readingText(consumption.startReading),
            readingText(consumption.endReading),
            consumption.startDay.left(10) + u" - "_s + consumption.endDay.left(10)};
}

ConsumptionReportBuild::ConsumptionReportBuild(DataSet& objects, Database& database, ConsumptionPeriod period)
    : objects_(objects), database_(database), period_(std::move(period)) {}

void ConsumptionReportBuild::selectObjects() {
    objects_.close();
    selectConsumptionObjects(objects_, period_);
}

void ConsumptionReportBuild::start() {
    if (!objects_.isOpen()) {
        selectObjects();
        objects_.open();
    }
    objects_.fetchAll();
    readings_ = std::make_unique<PeriodEndReadings>(database_, period_);
    done_ = 0;
}

int ConsumptionReportBuild::total() const {
    return objects_.isOpen() ? objects_.rowCount() : 0;
}

std::optional<QStringList> ConsumptionReportBuild::next() {
    if (!readings_ || done_ >= objects_.rowCount()) {
        // The readings' statements are of no use once the last object's row is made.
        readings_.reset();
        return std::nullopt;
    }
    const int row = done_;
    const QString scanner = fieldText(objects_, row, ObjectsTable::kScanner);
    const QString subscriber = fieldText(objects_, row, ObjectsTable::kFio);
    const QVariant object = objects_.field(ObjectsTable::kId).value();
    QStringList cells = consumptionRow(scanner, subscriber, readings_->of(object));
    ++done_;
    return cells;
}

QStringList consumptionReportLines(const ConsumptionPeriod& period, const QList<QStringList>& rows) {
    QStringList lines;
    lines.reserve(rows.size() + 1);
    lines.append(u"Отчет расхода с: "_s + period.start + u" по: "_s + period.end);
    const QStringList& titles = consumptionTitles();
    for (const QStringList& row : rows) {
        QString line;
        for (int c = 0; c < kColumns; ++c)
            line += u"  "_s + trimmed(titles.at(c)) + u' ' + trimmedCell(row, c);
        lines.append(line);
    }
    return lines;
}

QList<XmlElement> consumptionReportElements(const ConsumptionPeriod& period, const QList<QStringList>& rows) {
    QList<XmlElement> elements;
    elements.reserve(rows.size() + 1);
    elements.append({u"row"_s, {{u"date1"_s, trimmed(period.start)}, {u"date2"_s, trimmed(period.end)}}});
    // "date1" and "date2" of an object carry its start and end readings, and "id_object" its scanner: the names
    // are what the office's programs read.
    for (const QStringList& row : rows)
        elements.append({u"row"_s,
                         {{u"id_object"_s, trimmedCell(row, 0)},
                          {u"abonent"_s, trimmedCell(row, 1)},
                          {u"consuming"_s, trimmedCell(row, 2)},
                          {u"date1"_s, trimmedCell(row, 3)},
                          {u"date2"_s, trimmedCell(row, 4)},
                          {u"time_period"_s, trimmedCell(row, 5)}}});
    return elements;
}

SpreadsheetReport consumptionReportSheet(const ConsumptionPeriod& period, const QList<QStringList>& rows) {
    SpreadsheetReport sheet;
    sheet.widths = {25, 25, 25, 25, 25, 40};
    sheet.cells.reserve((rows.size() + 2) * kColumns);
    sheet.cells.append({1, 1, u"Отчет потребления "_s});
    sheet.cells.append({1, 2, u"С: "_s + trimmed(period.start)});
    sheet.cells.append({1, 3, u"По: "_s + trimmed(period.end)});
    const QStringList& titles = consumptionTitles();
    for (int c = 0; c < kColumns; ++c)
        sheet.cells.append({2, c + 1, trimmed(titles.at(c))});
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < kColumns; ++c)
            sheet.cells.append({r + 3, c + 1, trimmedCell(rows.at(r), c)});
    return sheet;
}

} // namespace vornic
