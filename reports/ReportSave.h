#pragma once

#include "reports/ExcelSheet.h"
#include "reports/ReportFiles.h"

#include <functional>
#include <memory>
#include <optional>

namespace vornic {

struct Services;

enum class ReportFormat { Text, Xml, Spreadsheet };

// What a report window can save. Only the part of the chosen form is asked for, when it is saved.
struct ReportContent {
    std::function<QStringList()> lines;          // the text file's lines
    std::function<QList<XmlElement>()> elements; // the XML elements under the root
    std::function<SpreadsheetReport()> sheet;    // the workbook's widths and cells
};

// The same content in slices, each made by one step of a long Save: slice 0 comes first, and the workbook's widths
// are those of its first slice.
struct SlicedReportContent {
    qsizetype slices = 1;
    std::function<QStringList(qsizetype slice)> lines;
    std::function<QList<XmlElement>(qsizetype slice)> elements;
    std::function<SpreadsheetReport(qsizetype slice)> sheet;
};

// The Save action a slice at a time, so that a window can let its event loop turn between the steps. The file's
// bytes are made whole before the save dialog is offered, so that a report that cannot be written asks for no file
// name; the workbook is filled in the spreadsheet application as the slices come, and shown and saved by the step
// after the last slice. Letting it go before that writes nothing (an unfinished workbook is not saved).
class ReportSaveSteps final {
public:
    ReportSaveSteps(ReportFormat format, Services& services, SlicedReportContent content);
    ~ReportSaveSteps();
    ReportSaveSteps(const ReportSaveSteps&) = delete;
    ReportSaveSteps& operator=(const ReportSaveSteps&) = delete;

    // Makes the next slice, or after the last one writes the workbook; false once all of it is done.
    bool step();
    qsizetype done() const { return done_; }
    qsizetype total() const { return content_.slices; }
    // The text or XML file through the save dialog; the workbook shown and saved, unless a step did that.
    void finish();

private:
    ReportFormat format_;
    Services& services_;
    SlicedReportContent content_;
    qsizetype done_ = 0;
    std::optional<TextReportBytes> text_;
    std::unique_ptr<XmlReportBytes> xml_;
    std::unique_ptr<SpreadsheetReportWriter> sheet_;
    bool sheetWritten_ = false;
};

// The Save action once the form is chosen, in one go: the text or XML file through the save dialog, or the workbook
// in the spreadsheet application in force. Failures are the caller's to report.
void saveReport(ReportFormat format, Services& services, const ReportContent& content);

} // namespace vornic
