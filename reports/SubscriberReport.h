#pragma once

#include "reports/ExcelSheet.h"
#include "reports/ReportFiles.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace vornic {

class DataSet;

// The report of one subscriber: the readings of one object over a period, newest first, and its consumption over
// that period, in the three forms a report is saved in.

// The object the report is about, its fields read as text from the main list's current row.
struct Subscriber {
    QString fio;
    QString address;
    QString idObject; // untrimmed: the statement takes the number as it reads
    QString idScanner;
};

// The current row of the object list; empty texts when the list has no current row.
Subscriber currentSubscriber(DataSet& objects);

// One reading of the result as the report writes it.
struct SubscriberReading {
    QDateTime dat;    // invalid for a reading without a time
    QString readings; // as stored, untrimmed: the sheet shows it so
    QString bat;      // decimal texts, empty when the database holds none
    QString csq;
    QString nsmod;
};

// The rows of the result from its current row to its last, read without moving, so that a list showing the
// result does not follow every row.
QList<SubscriberReading> resultReadings(DataSet& result);

// The result's select statement: the object's readings from the start day 00:00:00 to the end day 23:59:59,
// newest first. The texts are the pickers' date texts.
QString subscriberReportSelect(const QString& idObject, const QString& startText, const QString& endText);

// A reading the consumption can be computed from: a whole number of the 32-bit signed range, with an optional
// sign and leading zeros, once trimmed. A fraction, an unrecognised reading or an empty value is none.
std::optional<qint32> wholeNumberReading(QStringView readings);

// The consumption over the period: the newest whole-number reading less the oldest. Both are 0 when no reading is
// a whole number. The difference is kept wide, so that readings at the ends of the range cannot overflow it; a
// negative difference (a meter replaced or rolled over) is given as it is.
struct Consumption {
    qint64 endValue = 0;
    qint64 startValue = 0;
    qint64 difference = 0;
    // The row where the scan from the oldest reading stopped: the oldest whole-number reading, or the first row
    // when there is none; -1 for no rows.
    int startRow = -1;
};

// Over the readings' texts, newest first.
Consumption consumptionOf(const QStringList& readingsNewestFirst);

// Over the open result, newest first: reads every row and leaves the result on consumption.startRow.
Consumption PeriodConsumption(DataSet& result);

// The three forms of the report. consumption is the text of the window's consumption field, which the reports
// print trimmed.
QStringList subscriberReportLines(const Subscriber& subscriber, const QList<SubscriberReading>& readings,
                                  const QString& consumption);
QList<XmlElement> subscriberReportElements(const Subscriber& subscriber, const QList<SubscriberReading>& readings,
                                           const QString& consumption);
SpreadsheetReport subscriberReportSheet(const Subscriber& subscriber, const QList<SubscriberReading>& readings,
                                        const QString& consumption);

// The sheet's consumption column, one entry per reading: how much a whole-number reading exceeds the next older
// whole-number reading. A reading that is no whole number has none, and neither has the oldest whole-number one.
QList<std::optional<qint64>> readingIncreases(const QList<SubscriberReading>& readings);

} // namespace vornic
