#include "base/DateText.h"

namespace vornic {

QString dateTimeText(const QDateTime& value) {
    if (!value.isValid())
        return {};
    const QString time = value.time().toString(QStringLiteral("H:mm:ss"));
    if (value.date() == zeroDay())
        return time;
    const QString day = value.date().toString(QStringLiteral("dd.MM.yyyy"));
    if (value.time() == QTime(0, 0))
        return day;
    return day + u' ' + time;
}

} // namespace vornic
