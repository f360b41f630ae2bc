#pragma once

#include "reports/ExcelSheet.h"
#include "reports/ReportFiles.h"

#include <functional>

namespace vornic {

struct Services;

enum class ReportFormat { Text, Xml, Spreadsheet };

// What a report window can save. Only the part of the chosen form is asked for, when it is saved.
struct ReportContent {
    std::function<QStringList()> lines;          // the text file's lines
    std::function<QList<XmlElement>()> elements; // the XML elements under the root
    std::function<SpreadsheetReport()> sheet;    // the workbook's widths and cells
};

// The Save action once the form is chosen: the text or XML file through the save dialog, or the workbook in the
// spreadsheet application in force. Failures are the caller's to report.
void saveReport(ReportFormat format, Services& services, const ReportContent& content);

} // namespace vornic
