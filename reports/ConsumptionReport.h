#pragma once

#include "base/ReadingText.h"
#include "reports/ExcelSheet.h"
#include "reports/ReportFiles.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>

#include <functional>
#include <optional>

namespace vornic {

class DataSet;

// The consumption report: for every object with a reading in a period of days, its newest and oldest readings
// that are numbers, the days they were taken and the difference between them. Readings are the numbers bills are
// made from, so they are kept in double precision and printed as they were read.

// The period as the report's pickers write it: "01.01.2014" and "11.11.2014 23:59:59".
struct ConsumptionPeriod {
    QString start;
    QString end;
};

// Give the closed data sets their statements: the objects with a reading in the period, and one object's
// readings of the period, newest first. The period's date texts and the object's key travel as parameters.
void selectConsumptionObjects(DataSet& objects, const ConsumptionPeriod& period);
void selectConsumptionReadings(DataSet& readings, const QVariant& objectId, const ConsumptionPeriod& period);

// What ObjectConsumption finds in one object's readings of the period. An object without any numeric reading
// has both readings and the consumption 0 and empty day texts.
struct Consumption {
    double endReading = 0;
    double startReading = 0;
    double consumption = 0; // end reading - start reading; a replaced or rolled-over meter gives a negative one
    QString endDay;         // the date texts of the two readings' rows
    QString startDay;
};

// readings is open on one object's readings of the period, newest first, with the columns DAT and READINGS: the
// end reading is the newest numeric one, the start reading the oldest.
Consumption ObjectConsumption(DataSet& readings);

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
// objects and readings are data sets of the program's connection, given their statements here.
class ConsumptionReportBuild final {
public:
    ConsumptionReportBuild(DataSet& objects, DataSet& readings, ConsumptionPeriod period);

    void start();
    // The next object's row, or nothing once every object has its row.
    std::optional<QStringList> next();
    // Objects done and objects in all, once start() has run.
    int done() const { return done_; }
    int total() const;

private:
    DataSet& objects_;
    DataSet& readings_;
    ConsumptionPeriod period_;
    int done_ = 0;
};

// The three forms of a report whose grid holds rows (six cells each, as consumptionRow makes them).
QStringList consumptionReportLines(const ConsumptionPeriod& period, const QList<QStringList>& rows);
QList<XmlElement> consumptionReportElements(const ConsumptionPeriod& period, const QList<QStringList>& rows);
SpreadsheetReport consumptionReportSheet(const ConsumptionPeriod& period, const QList<QStringList>& rows);

} // namespace vornic
