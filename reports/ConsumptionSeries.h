#pragma once

#include "reports/ImplausibleReadings.h"

#include <QDate>
#include <QDateTime>
#include <QList>

#include <optional>

namespace vornic {

class Database;

// What the consumption chart of one object shows for a period of days.

struct ConsumptionDay {
    QDate day;
    // The rises between consecutive numeric readings, each given to the day of the later one. Nothing on a day
    // without a reading: a day nobody read is not a day nothing was used.
    std::optional<double> consumption;
};

struct ChartReading {
    QDateTime at;
    double value = 0;
    bool implausible = false;
};

struct ConsumptionSeries {
    QList<ConsumptionDay> days;            // every day of the period, the first to the last
    QList<ChartReading> readings;          // the numeric readings of the period, oldest first
    QList<ImplausibleReading> implausible; // those of the period, a text that is no number among them
};

// history is one object's readings, oldest first, from its first reading on: the first day's consumption needs
// the reading before the period, and the judge its months before. An implausible reading is drawn and marked but
// makes no bar: one misreading would otherwise stand as a spike followed by a negative day.
ConsumptionSeries consumptionSeries(const QList<HistoryReading>& history, QDate first, QDate last, double factor);

// The object's readings up to the end of the last day, read from the database.
QList<HistoryReading> objectHistory(Database& database, int object, QDate last);

} // namespace vornic
