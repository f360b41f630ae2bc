#pragma once

#include "base/ReadingText.h"
#include "reports/ExcelSheet.h"
#include "reports/ReportFiles.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>

#include <memory>
#include <optional>

namespace vornic {

class Database;
class DataSet;
class Statement;

// The consumption report: for every object with a reading in a period of days, its newest and oldest readings
// that are numbers, the days they were taken and the difference between them. Readings are the numbers bills are
// made from, so they are kept in double precision and printed as they were read.

// The period as the report's pickers write it: "01.01.2014" and "11.11.2014 23:59:59".
struct ConsumptionPeriod {
    QString start;
    QString end;
};

// Gives the closed data set its statement: the objects with a reading in the period, the object with the newest
// reading first. The period's date texts travel as parameters.
void selectConsumptionObjects(DataSet& objects, const ConsumptionPeriod& period);

// The newest and the oldest readings of an object's period that are numbers. An object without any numeric
// reading has both readings and the consumption 0 and empty day texts.
struct Consumption {
    double endReading = 0;
    double startReading = 0;
    double consumption = 0; // end reading - start reading; a replaced or rolled-over meter gives a negative one
    QString endDay;         // the date texts of the two readings' rows
    QString startDay;
};

// Finds each object's consumption from the two ends of its readings of the period: each end is read only down to
// its first reading that is a number, so a year of readings costs an object a few rows. The two statements are
// prepared once for all objects.
class PeriodEndReadings final {
public:
    PeriodEndReadings(Database& database, ConsumptionPeriod period);
    ~PeriodEndReadings();
    Q_DISABLE_COPY_MOVE(PeriodEndReadings)

    Consumption of(const QVariant& objectId);

private:
    struct Found {
        double reading = 0;
        QString day;
    };
    std::optional<Found> firstNumber(Statement& readings, const QVariant& objectId);

    ConsumptionPeriod period_;
    std::unique_ptr<Statement> newestFirst_;
    std::unique_ptr<Statement> oldestFirst_;
};

// The consumption with one decimal, rounded half away from zero: 25 gives "25,0", -3.25 gives "-3,3".
QString consumptionText(double consumption);
// A reading with up to 15 significant digits and a decimal comma, a whole one without a decimal part:
// "1475", "123,45", "16777217".
QString readingText(double reading);

// The titles of the report's six columns, in order.
const QStringList& consumptionTitles();

// The six cells of an object's row: scanner, subscriber, consumption, start reading, end reading, and the days
// of the two readings ("01.11.2014 - 10.11.2014").
QStringList consumptionRow(const QString& scanner, const QString& subscriber, const Consumption& consumption);

// The Build, one step at a time: start() runs the objects statement, and each next() makes one object's row.
// objects is a data set of the program's connection, given its statement here; the readings are read on the same
// connection.
class ConsumptionReportBuild final {
public:
    ConsumptionReportBuild(DataSet& objects, Database& database, ConsumptionPeriod period);

    // The objects' select, made ready on the data set, which is then opened by the caller (its engine answers only
    // once it has looked at every object) or by start().
    void selectObjects();
    void start();
    // The next object's row, or nothing once every object has its row.
    std::optional<QStringList> next();
    // Objects done and objects in all, once start() has run.
    int done() const { return done_; }
    int total() const;
    DataSet& objects() const { return objects_; }

private:
    DataSet& objects_;
    Database& database_;
    ConsumptionPeriod period_;
    std::unique_ptr<PeriodEndReadings> readings_;
    int done_ = 0;
};

// The three forms of a report whose grid holds rows (six cells each, as consumptionRow makes them).
QStringList consumptionReportLines(const ConsumptionPeriod& period, const QList<QStringList>& rows);
QList<XmlElement> consumptionReportElements(const ConsumptionPeriod& period, const QList<QStringList>& rows);
SpreadsheetReport consumptionReportSheet(const ConsumptionPeriod& period, const QList<QStringList>& rows);

} // namespace vornic
