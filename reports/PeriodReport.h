#pragma once

#include "reports/ExcelSheet.h"
#include "reports/ReportFiles.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace vornic {

class DataSet;

// The period report: every reading of one calendar month, for all objects or for the marked group, and the
// three forms it is saved in.

// A calendar month of the report.
struct ReportMonth {
    int year = 0;
    int month = 0; // 1 to 12

    QDate firstDay() const { return QDate(year, month, 1); }
    QDate lastDay() const { return firstDay().addMonths(1).addDays(-1); }
    friend bool operator==(const ReportMonth&, const ReportMonth&) = default;
};

// The month list for today: the months of the current year from this one back to January, by their names alone
// ("Март", "Февраль", "Январь"), then the months of the previous year from December back to the one after the
// current month, each followed by its year ("Декабрь 2025"). Twelve months in all, so that in January the
// operator can still report December.
QStringList FillMonthList(QDate today);

// The month that a text of the month list names, matched whole and with the letter case as written: a name alone
// is that month of today's year, a name, one blank and a four-digit year is that month of that year. Throws
// Failure for any other text, which the report cannot turn into a period.
ReportMonth reportMonth(const QString& text, QDate today);

// Whose readings the report lists: the scope choice's items in their order.
enum class PeriodScope { AllSubscribers, MarkedGroup };

// The result's select statement for the month: from its first day at 00:00:00 to its last day at 23:59:59. All
// subscribers come newest first; the marked group in whatever order the database gives.
QString periodReportSelect(PeriodScope scope, const ReportMonth& month);

// One reading of the result, its values as the data set gives them as text (the date by the date-text rule),
// untrimmed.
struct PeriodReportRow {
    QString idObject;
    QString fio;
    QString idScanner;
    QString dat;
    QString readings;
};

// The rows of the result from its current row to its last, as the writers read them. The current row stays.
QList<PeriodReportRow> periodReportRows(DataSet& result);
// The rows first to first + count - 1 of the rows read so far (fewer at the end), for a Save made in slices.
QList<PeriodReportRow> periodReportRows(DataSet& result, int first, int count);

// The text file: one line per reading and no other line.
QStringList periodReportLines(const QList<PeriodReportRow>& rows);
// The XML file: one "row" per reading under the root.
QList<XmlElement> periodReportElements(const QList<PeriodReportRow>& rows);
// The workbook: six columns 25 wide, the titles in row 1, the k-th reading in row k + 1.
SpreadsheetReport periodReportSheet(const QList<PeriodReportRow>& rows);
// The workbook in slices: the widths and the title row, then rows' cells from the sheet's row firstSheetRow on.
SpreadsheetReport periodReportSheetHead();
QList<ReportCell> periodReportSheetCells(const QList<PeriodReportRow>& rows, int firstSheetRow);

} // namespace vornic
