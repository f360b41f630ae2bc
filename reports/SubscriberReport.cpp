#include "reports/SubscriberReport.h"

#include "base/DateText.h"
#include "base/Trimmed.h"
#include "db/DataSet.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

// The warning that closes every form of the report: the consumption rests on recognised readings only.
const QString kConsumptionWarning =
    u"Расход за период  вычисляется только с распознанных данных, если данные не распознаны или распознаны не "
    u"верно они пропускаются. Внимательно проверяйте полученную сумму в расхода."_s;

constexpr int kSheetColumnWidth = 25;
constexpr int kSheetWidthColumns = 5; // the network type keeps the sheet's default width
constexpr int kFirstReadingRow = 3;   // under the subscriber and the titles

QString textOf(const QVariant& value) {
    if (value.isNull() || !value.isValid())
        return {};
    return value.toString();
}

QDateTime dateTimeOf(const QVariant& value) {
    if (value.isNull() || !value.isValid())
        return {};
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().startOfDay();
    return value.toDateTime();
}

QString subscriberName(const Subscriber& subscriber) {
    // The separator stays when either part is empty, so that the line always reads the same way.
    return trimmed(subscriber.fio) + u",  "_s + trimmed(subscriber.address);
}

} // namespace

Subscriber currentSubscriber(DataSet& objects) {
    const auto text = [&](const QString& name) { return objects.field(name).asString(); };
    return {text(ObjectsTable::kFio), text(ObjectsTable::kAddress), text(ObjectsTable::kId),
            text(ObjectsTable::kScanner)};
}

QList<SubscriberReading> resultReadings(DataSet& result) {
    result.fetchAll();
    const int dat = result.fieldIndex(ReadingsTable::kDate);
    const int readings = result.fieldIndex(ReadingsTable::kReadings);
    const int bat = result.fieldIndex(ReadingsTable::kBattery);
    const int csq = result.fieldIndex(ReadingsTable::kSignal);
    const int nsmod = result.fieldIndex(ReadingsTable::kNetwork);
    QList<SubscriberReading> rows;
    const int first = std::max(result.currentRow(), 0);
    rows.reserve(result.rowCount() - first);
    for (int row = first; row < result.rowCount(); ++row)
        rows.append({dateTimeOf(result.value(row, dat)), textOf(result.value(row, readings)),
                     textOf(result.value(row, bat)), textOf(result.value(row, csq)), textOf(result.value(row, nsmod))});
    return rows;
}

QString subscriberReportSelect(const QString& idObject, const QString& startText, const QString& endText) {
    using namespace ReadingsTable;
    return kOfObjectInPeriodStart + idObject + kOfObjectInPeriodFrom + startText + kOfObjectInPeriodUntil + endText +
           kOfObjectInPeriodEnd;
}

std::optional<qint32> wholeNumberReading(QStringView readings) {
    const QString text = trimmed(readings);
    QStringView digits(text);
    bool negative = false;
    if (!digits.isEmpty() && (digits.front() == u'-' || digits.front() == u'+')) {
        negative = digits.front() == u'-';
        digits = digits.sliced(1);
    }
    if (digits.isEmpty())
        return std::nullopt;
    // Only the digits 0 to 9: a meter's reading is never written in other scripts' digits, nor with blanks.
    for (const QChar c : digits)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.sliced(1);
    if (digits.size() > 10)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : digits)
        value = value * 10 + (c.unicode() - u'0');
    if (negative)
        value = -value;
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(value);
}

Consumption consumptionOf(const QStringList& readingsNewestFirst) {
    Consumption consumption;
    const int rows = static_cast<int>(readingsNewestFirst.size());
    if (rows == 0)
        return consumption;
    for (int row = 0; row < rows; ++row) {
        if (const std::optional<qint32> value = wholeNumberReading(readingsNewestFirst.at(row))) {
            consumption.endValue = *value;
            break;
        }
    }
    consumption.startRow = 0;
    for (int row = rows - 1; row >= 0; --row) {
        if (const std::optional<qint32> value = wholeNumberReading(readingsNewestFirst.at(row))) {
            consumption.startValue = *value;
            consumption.startRow = row;
            break;
        }
    }
    consumption.difference = consumption.endValue - consumption.startValue;
    return consumption;
}

Consumption PeriodConsumption(DataSet& result) {
    result.fetchAll();
    const int column = result.fieldIndex(ReadingsTable::kReadings);
    QStringList readings;
    readings.reserve(result.rowCount());
    for (int row = 0; row < result.rowCount(); ++row)
        readings.append(textOf(result.value(row, column)));
    const Consumption consumption = consumptionOf(readings);
    // The rows are read in place and the result moved once, so that a list showing it follows one move only.
    if (consumption.startRow >= 0)
        result.moveTo(consumption.startRow);
    return consumption;
}

QList<std::optional<qint64>> readingIncreases(const QList<SubscriberReading>& readings) {
    QList<std::optional<qint64>> increases(readings.size());
    // From the oldest up, each whole-number reading is compared with the last one seen below it. A reading that is
    // no number is passed over rather than counted as 0, which would show a consumption of the whole reading and
    // then as much again negative.
    std::optional<qint64> older;
    for (qsizetype row = readings.size() - 1; row >= 0; --row) {
        const std::optional<qint32> value = wholeNumberReading(readings.at(row).readings);
        if (!value)
            continue;
        if (older)
            increases[row] = *value - *older;
        older = *value;
    }
    return increases;
}

QStringList subscriberReportLines(const Subscriber& subscriber, const QList<SubscriberReading>& readings,
                                  const QString& consumption) {
    QStringList lines;
    lines.reserve(readings.size() + 5);
    lines.append(u" Абонент: "_s + subscriberName(subscriber));
    lines.append(u" ID абонента: "_s + trimmed(subscriber.idObject));
    lines.append(u" ID Сканера: "_s + trimmed(subscriber.idScanner));
    for (const SubscriberReading& reading : readings)
        lines.append(u"  Дата:"_s + dateTimeText(reading.dat) + u"  Показания:"_s + trimmed(reading.readings) +
                     u"  Батарея:"_s + reading.bat + u"  Уровень сигнала:"_s + reading.csq + u"  Тип сети:"_s +
                     reading.nsmod);
    lines.append(u" Расход за период*  : "_s + trimmed(consumption));
    lines.append(u' ' + kConsumptionWarning + u' ');
    return lines;
}

QList<XmlElement> subscriberReportElements(const Subscriber& subscriber, const QList<SubscriberReading>& readings,
                                           const QString& consumption) {
    QList<XmlElement> elements;
    elements.reserve(readings.size() + 5);
    elements.append({u"inf_abo"_s, {{u"abonent"_s, subscriberName(subscriber)}}});
    elements.append({u"inf_abo"_s, {{u"id_abonent"_s, trimmed(subscriber.idObject)}}});
    elements.append({u"inf_abo"_s, {{u"id_scaner"_s, trimmed(subscriber.idScanner)}}});
    for (const SubscriberReading& reading : readings)
        elements.append({u"row"_s,
                         {{u"date"_s, dateTimeText(reading.dat)},
                          {u"READINGS"_s, trimmed(reading.readings)},
                          {u"BAT"_s, reading.bat},
                          {u"CSQ"_s, reading.csq},
                          {u"NSMOD"_s, trimmed(reading.nsmod)}}});
    elements.append({u"rasxod"_s, {{u"rasxod"_s, trimmed(consumption)}}});
    elements.append({u"rasxod"_s, {{u"inf_rasxod"_s, kConsumptionWarning}}});
    return elements;
}

SpreadsheetReport subscriberReportSheet(const Subscriber& subscriber, const QList<SubscriberReading>& readings,
                                        const QString& consumption) {
    SpreadsheetReport sheet;
    sheet.widths = QList<int>(kSheetWidthColumns, kSheetColumnWidth);
    QList<ReportCell>& cells = sheet.cells;
    cells.reserve(readings.size() * 6 + 12);
    cells.append({1, 1, u"Абонент: "_s + trimmed(subscriber.fio)});
    cells.append({1, 2, u"Адрес: "_s + trimmed(subscriber.address)});
    cells.append({1, 3, u" ID абонента: "_s + trimmed(subscriber.idObject)});
    cells.append({1, 4, u" ID Сканера: "_s + trimmed(subscriber.idScanner)});
    cells.append({2, 1, u"Дата: "_s});
    cells.append({2, 2, u"Показания: "_s});
    cells.append({2, 3, u"Расход: "_s});
    cells.append({2, 4, u"Батарея: "_s});
    cells.append({2, 5, u"Уровень сигнала:  "_s});
    cells.append({2, 6, u"Тип сети: "_s});

    const QList<std::optional<qint64>> increases = readingIncreases(readings);
    for (qsizetype k = 0; k < readings.size(); ++k) {
        const SubscriberReading& reading = readings.at(k);
        const int row = kFirstReadingRow + static_cast<int>(k);
        cells.append({row, 1, dateTimeText(reading.dat)});
        cells.append({row, 2, reading.readings});
        if (const std::optional<qint64> increase = increases.at(k))
            cells.append({row, 3, QString::number(*increase)});
        cells.append({row, 4, reading.bat});
        cells.append({row, 5, reading.csq});
        cells.append({row, 6, reading.nsmod});
    }

    // One empty row between the readings and the closing row.
    const int closing = kFirstReadingRow + static_cast<int>(readings.size()) + 1;
    cells.append({closing, 1, u"!!! "_s + kConsumptionWarning});
    cells.append({closing, 2, u"Расход за период*: "_s + trimmed(consumption)});
    return sheet;
}

} // namespace vornic
