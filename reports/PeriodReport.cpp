#include "reports/PeriodReport.h"

#include "base/DateText.h"
#include "base/Failure.h"
#include "base/Trimmed.h"
#include "db/DataSet.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

// The month names of the Russian regional settings the program is made for; the month list shows them and
// Build knows no others.
const std::array<QString, 12> kMonthNames = {u"Январь"_s,   u"Февраль"_s, u"Март"_s,   u"Апрель"_s,
                                             u"Май"_s,      u"Июнь"_s,    u"Июль"_s,   u"Август"_s,
                                             u"Сентябрь"_s, u"Октябрь"_s, u"Ноябрь"_s, u"Декабрь"_s};

// 1 to 12, or 0 for a text that is none of the names.
int monthNumber(QStringView name) {
    for (int i = 0; i < static_cast<int>(kMonthNames.size()); ++i)
        if (name == kMonthNames[static_cast<size_t>(i)])
            return i + 1;
    return 0;
}

// A year written as four ASCII digits; 0 otherwise.
int fourDigitYear(QStringView text) {
    if (text.size() != 4)
        return 0;
    int year = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return 0;
        year = year * 10 + (c.unicode() - u'0');
    }
    return year;
}

QString dayText(QDate day) {
    return day.toString(u"dd.MM.yyyy"_s);
}

} // namespace

QStringList FillMonthList(QDate today) {
    QStringList months;
    for (int month = today.month(); month >= 1; --month)
        months.append(kMonthNames[static_cast<size_t>(month - 1)]);
    // The previous year's months carry their year: the plain names stay this year's, as Build reads them.
    const QString previousYear = QString::number(today.year() - 1);
    for (int month = 12; month > today.month(); --month)
        months.append(kMonthNames[static_cast<size_t>(month - 1)] + u' ' + previousYear);
    return months;
}

ReportMonth reportMonth(const QString& text, QDate today) {
    if (const int month = monthNumber(text))
        return {today.year(), month};
    const qsizetype blank = text.indexOf(u' ');
    if (blank > 0) {
        const int month = monthNumber(QStringView(text).left(blank));
        const int year = fourDigitYear(QStringView(text).mid(blank + 1));
        if (month != 0 && year != 0)
            return {year, month};
    }
    throw Failure(u"«%1» не является названием месяца: дату начала периода составить нельзя."_s.arg(text));
}

QString periodReportSelect(PeriodScope scope, const ReportMonth& month) {
    const QString start = dayText(month.firstDay());
    const QString end = dayText(month.lastDay());
    using namespace ReadingsTable;
    return kMonthSelectStart + start + kMonthSelectUntil + end +
           (scope == PeriodScope::AllSubscribers ? kMonthSelectAllEnd : kMonthSelectMarkedEnd);
}

QList<PeriodReportRow> periodReportRows(DataSet& result) {
    result.fetchAll();
    const int first = std::max(result.currentRow(), 0);
    return periodReportRows(result, first, result.rowCount() - first);
}

QList<PeriodReportRow> periodReportRows(DataSet& result, int first, int count) {
    const auto column = [&](const QString& name) {
        const int index = result.fieldIndex(name);
        if (index < 0)
            throw Failure(u"Поле «%1» не найдено."_s.arg(name));
        return index;
    };
    const int idObject = column(ObjectsTable::kId);
    const int fio = column(ObjectsTable::kFio);
    const int idScanner = column(ObjectsTable::kScanner);
    const int dat = column(ReadingsTable::kDate);
    const int readings = column(ReadingsTable::kReadings);
    QList<PeriodReportRow> rows;
    const int end = std::min(result.rowCount(), first + std::max(count, 0));
    rows.reserve(std::max(end - first, 0));
    for (int row = first; row < end; ++row)
        rows.append({result.value(row, idObject).toString(), result.value(row, fio).toString(),
                     result.value(row, idScanner).toString(), dateTimeText(result.value(row, dat).toDateTime()),
                     result.value(row, readings).toString()});
    return rows;
}

QStringList periodReportLines(const QList<PeriodReportRow>& rows) {
    QStringList lines;
    for (const PeriodReportRow& row : rows)
        lines.append(u" ID абонента:"_s + trimmed(row.idObject) + u"  ФИО абонента:"_s + trimmed(row.fio) +
                     u"  ID сканера:"_s + trimmed(row.idScanner) + u"  Дата:"_s + trimmed(row.dat) +
                     u"  Показания счетчика:"_s + trimmed(row.readings));
    return lines;
}

QList<XmlElement> periodReportElements(const QList<PeriodReportRow>& rows) {
    QList<XmlElement> elements;
    // The attribute names are the file's own, kept although they do not fit: "personal_account" carries the
    // object number and "id_object" the scanner number. The object's subscriber number is not written.
    for (const PeriodReportRow& row : rows)
        elements.append({u"row"_s,
                         {{u"personal_account"_s, trimmed(row.idObject)},
                          {u"fio"_s, trimmed(row.fio)},
                          {u"id_object"_s, trimmed(row.idScanner)},
                          {u"dat"_s, trimmed(row.dat)},
                          {u"READINGS"_s, trimmed(row.readings)}}});
    return elements;
}

SpreadsheetReport periodReportSheetHead() {
    return {{25, 25, 25, 25, 25, 25},
            {{1, 1, u"ID абонента "_s},
             {1, 2, u"ФИО абонента "_s},
             {1, 3, u"ID сканера "_s},
             {1, 4, u"Дата  "_s},
             {1, 5, u"Показания счетчика  "_s}}};
}

QList<ReportCell> periodReportSheetCells(const QList<PeriodReportRow>& rows, int firstSheetRow) {
    QList<ReportCell> cells;
    cells.reserve(rows.size() * 5);
    int sheetRow = firstSheetRow;
    for (const PeriodReportRow& row : rows) {
        cells.append({sheetRow, 1, row.idObject});
        cells.append({sheetRow, 2, row.fio});
        cells.append({sheetRow, 3, row.idScanner});
        cells.append({sheetRow, 4, row.dat});
        cells.append({sheetRow, 5, row.readings});
        ++sheetRow;
    }
    return cells;
}

SpreadsheetReport periodReportSheet(const QList<PeriodReportRow>& rows) {
    SpreadsheetReport sheet = periodReportSheetHead();
    sheet.cells += periodReportSheetCells(rows, 2);
    return sheet;
}

} // namespace vornic
