#pragma once

#include <QDateTime>
#include <QString>

namespace vornic {

// A date and time as the program writes it everywhere (lists, logs, reports, statements): the day alone as
// dd.MM.yyyy at midnight, else the day, a blank and the time with the hour unpadded ("11.11.2014 9:05:00").
// A value on the zero day (30.12.1899) is a time of day alone.
QString dateTimeText(const QDateTime& value);

// The zero day of the date-and-time values the program exchanges.
inline QDate zeroDay() {
    return QDate(1899, 12, 30);
}

} // namespace vornic
