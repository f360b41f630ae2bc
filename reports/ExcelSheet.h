#pragma once

#include <QList>
#include <QString>

#include <memory>

namespace vornic {

class MessageBoxes;
class SpreadsheetApplication;
class SpreadsheetServer;
class Workbook;
class Worksheet;

// One cell of a report's workbook; row and column counted from 1.
struct ReportCell {
    int row;
    int column;
    QString text;
};

// What a report window puts into its workbook: the widths of its columns 1, 2, … and its cells in order.
struct SpreadsheetReport {
    QList<int> widths;
    QList<ReportCell> cells;
};

// The references a report holds while it fills a workbook: the application, the workbook it added and the sheet
// that receives the cells. Empty before OpenExcelSheet and again once released.
class ExcelSheet final {
public:
    ExcelSheet(SpreadsheetServer& server, MessageBoxes& messages);
    ~ExcelSheet();
    ExcelSheet(const ExcelSheet&) = delete;
    ExcelSheet& operator=(const ExcelSheet&) = delete;

    // Attaches to the running application, else starts one, adds a workbook and takes its first sheet. Tells the
    // operator when the application or the workbook cannot be had, and then leaves the references empty.
    void OpenExcelSheet();
    // Cells(row, column).Value := text. A cell that cannot be written stays empty, and nothing is said.
    void SetExcelCell(int row, int column, const QString& text);

    SpreadsheetApplication* application() const { return application_.get(); }
    Workbook* workbook() const { return workbook_; }
    // The sheet; throws Failure when there is none, which ends the report that needed it.
    Worksheet& sheet() const;

    // Lets go of the sheet, then of the application, which goes on running.
    void release();

private:
    SpreadsheetServer& server_;
    MessageBoxes& messages_;
    std::shared_ptr<SpreadsheetApplication> application_;
    Workbook* workbook_ = nullptr;
    Worksheet* sheet_ = nullptr;
};

// writeSpreadsheetReport in pieces: the first part opens the sheet and sets the widths, every part writes its
// cells, finish() shows the application and saves the workbook. A writer let go before finish() releases the
// application with the workbook unsaved.
class SpreadsheetReportWriter final {
public:
    SpreadsheetReportWriter(SpreadsheetServer& server, MessageBoxes& messages);
    ~SpreadsheetReportWriter();
    SpreadsheetReportWriter(const SpreadsheetReportWriter&) = delete;
    SpreadsheetReportWriter& operator=(const SpreadsheetReportWriter&) = delete;

    void append(const SpreadsheetReport& part);
    void finish();

private:
    ExcelSheet excel_;
    bool opened_ = false;
};

// The spreadsheet writer of every report window: OpenExcelSheet; the column widths (unguarded: without a sheet
// the first width throws Failure, which ends the Save action in the general error report); the cells; Visible;
// SaveAs("MyTest") of the workbook just filled, a failure of which is ignored; the references released.
void writeSpreadsheetReport(SpreadsheetServer& server, MessageBoxes& messages, const SpreadsheetReport& report);

} // namespace vornic
