#include "reports/ExcelSheet.h"

#include "base/Failure.h"
#include "base/Services.h"
#include "reports/Spreadsheet.h"

#include <exception>
#include <utility>

using namespace Qt::StringLiterals;

namespace vornic {

ExcelSheet::ExcelSheet(SpreadsheetServer& server, MessageBoxes& messages) : server_(server), messages_(messages) {}

ExcelSheet::~ExcelSheet() {
    release();
}

void ExcelSheet::OpenExcelSheet() {
    release();
    try {
        application_ = server_.attach();
    } catch (const std::exception&) {
        try {
            application_ = server_.start();
        } catch (const std::exception&) {
            messages_.inform(u"Невозможно открыть Microsoft Excel! Возможно этого приложения на компьютере не "
                             u"установлено. "_s);
        }
    }
    try {
        if (!application_)
            throw Failure(u"Microsoft Excel не открыт."_s);
        // add makes the new workbook the active one, so WorkSheets addresses the sheets of this report's own
        // workbook even when an earlier report's workbook is still open.
        Workbook& added = application_->WorkBooks().add();
        workbook_ = &added;
        sheet_ = &application_->WorkSheets(1);
    } catch (const std::exception&) {
        messages_.inform(u"Ошибка открытия книги Microsoft Excel!"_s);
    }
}

void ExcelSheet::SetExcelCell(int row, int column, const QString& text) {
    try {
        sheet().Cells(row, column).setValue(text);
    } catch (const std::exception&) {
        // The cell stays empty; the rest of the report is worth more than a message about one cell.
    }
}

Worksheet& ExcelSheet::sheet() const {
    if (!sheet_)
        throw Failure(u"Лист книги Microsoft Excel не открыт: отчет не записан."_s);
    return *sheet_;
}

void ExcelSheet::release() {
    sheet_ = nullptr;
    workbook_ = nullptr;
    application_.reset();
}

SpreadsheetReportWriter::SpreadsheetReportWriter(SpreadsheetServer& server, MessageBoxes& messages)
    : excel_(server, messages) {}

SpreadsheetReportWriter::~SpreadsheetReportWriter() {
    excel_.release();
}

void SpreadsheetReportWriter::append(const SpreadsheetReport& part) {
    if (!std::exchange(opened_, true)) {
        excel_.OpenExcelSheet();
        for (qsizetype c = 0; c < part.widths.size(); ++c)
            excel_.sheet().Cells(1, static_cast<int>(c + 1)).setColumnWidth(part.widths.at(c));
    }
    for (const ReportCell& cell : part.cells)
        excel_.SetExcelCell(cell.row, cell.column, cell.text);
}

void SpreadsheetReportWriter::finish() {
    if (SpreadsheetApplication* application = excel_.application())
        application->setVisible(true);
    try {
        // The workbook this report filled, not the application's first one: with an earlier report's workbook
        // still open, the first one is that older report.
        if (Workbook* workbook = excel_.workbook())
            workbook->SaveAs(u"MyTest"_s);
    } catch (const std::exception&) {
        // The workbook stays open in the application, where the operator can still save it.
    }
    excel_.release();
}

void writeSpreadsheetReport(SpreadsheetServer& server, MessageBoxes& messages, const SpreadsheetReport& report) {
    SpreadsheetReportWriter writer(server, messages);
    writer.append(report);
    writer.finish();
}

} // namespace vornic
