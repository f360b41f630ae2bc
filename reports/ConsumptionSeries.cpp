#include "reports/ConsumptionSeries.h"

#include "db/Database.h"
#include "db/ReadingsTable.h"
#include "db/Statement.h"
#include "reports/ConsumptionReport.h"

using namespace Qt::StringLiterals;

namespace vornic {

ConsumptionSeries consumptionSeries(const QList<HistoryReading>& history, QDate first, QDate last, double factor) {
    ConsumptionSeries series;
    if (!first.isValid() || !last.isValid() || last < first)
        return series;
    for (QDate day = first; day <= last; day = day.addDays(1))
        series.days.append({day, std::nullopt});

    ImplausibleReadingJudge judge(factor);
    std::optional<double> previous; // the last reading that made a bar, or would have
    for (const HistoryReading& reading : history) {
        const QDate day = reading.at.date();
        if (day > last)
            break;
        const bool inPeriod = day >= first;
        std::optional<ImplausibleReading> verdict = judge.judge(reading);
        const std::optional<double> value = numericReading(reading.text);
        if (inPeriod && value)
            series.readings.append({reading.at, *value, verdict.has_value()});
        if (verdict) {
            if (inPeriod)
                series.implausible.append(std::move(*verdict));
            continue;
        }
        if (!value)
            continue;
        if (previous && inPeriod) {
            std::optional<double>& bar = series.days[static_cast<int>(first.daysTo(day))].consumption;
            bar = bar.value_or(0) + (*value - *previous);
        }
        previous = value;
    }
    return series;
}

QList<HistoryReading> objectHistory(Database& database, int object, QDate last) {
    auto unit = database.lock();
    Statement readings(database, ReadingsTable::kHistorySelect);
    readings.bind(0, object);
    readings.bind(1, QDateTime(last.addDays(1), QTime(0, 0)));
    readings.open();
    QList<HistoryReading> history;
    while (readings.fetch()) {
        const QVariant at = readings.value(1);
        if (at.isNull())
            continue;
        history.append({readings.value(0).toInt(), at.toDateTime(), readings.value(2).toString(),
                        readings.value(3).toString(), readings.value(4).toInt()});
    }
    return history;
}

} // namespace vornic
