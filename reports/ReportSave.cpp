#include "reports/ReportSave.h"

#include "base/Services.h"
#include "reports/Spreadsheet.h"

namespace vornic {

void saveReport(ReportFormat format, Services& services, const ReportContent& content) {
    switch (format) {
    case ReportFormat::Text:
        saveTextReport(*services.files, content.lines());
        break;
    case ReportFormat::Xml:
        saveXmlReport(*services.files, content.elements());
        break;
    case ReportFormat::Spreadsheet:
        writeSpreadsheetReport(spreadsheetServer(), *services.messages, content.sheet());
        break;
    }
}

} // namespace vornic
