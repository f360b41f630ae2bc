#include "reports/ReportSave.h"

#include "base/Services.h"
#include "reports/Spreadsheet.h"

#include <utility>

namespace vornic {

ReportSaveSteps::ReportSaveSteps(ReportFormat format, Services& services, SlicedReportContent content)
    : format_(format), services_(services), content_(std::move(content)) {
    switch (format_) {
    case ReportFormat::Text:
        text_.emplace();
        break;
    case ReportFormat::Xml:
        xml_ = std::make_unique<XmlReportBytes>();
        break;
    case ReportFormat::Spreadsheet:
        sheet_ = std::make_unique<SpreadsheetReportWriter>(spreadsheetServer(), *services_.messages);
        break;
    }
}

ReportSaveSteps::~ReportSaveSteps() = default;

bool ReportSaveSteps::step() {
    if (done_ >= content_.slices) {
        // The workbook is written as a step of its own, the last, so that the window stays guarded while its
        // file is written; a text or XML file waits for finish(), which asks for the file's name.
        if (sheet_ && !sheetWritten_) {
            sheetWritten_ = true;
            sheet_->finish();
        }
        return false;
    }
    switch (format_) {
    case ReportFormat::Text:
        text_->append(content_.lines(done_));
        break;
    case ReportFormat::Xml:
        xml_->append(content_.elements(done_));
        break;
    case ReportFormat::Spreadsheet:
        sheet_->append(content_.sheet(done_));
        break;
    }
    ++done_;
    return true;
}

void ReportSaveSteps::finish() {
    switch (format_) {
    case ReportFormat::Text:
        saveTextReportBytes(*services_.files, text_->bytes());
        break;
    case ReportFormat::Xml:
        saveXmlReportBytes(*services_.files, xml_->finish());
        break;
    case ReportFormat::Spreadsheet:
        if (!std::exchange(sheetWritten_, true))
            sheet_->finish();
        break;
    }
}

void saveReport(ReportFormat format, Services& services, const ReportContent& content) {
    ReportSaveSteps save(format, services,
                         {1, [&](qsizetype) { return content.lines(); }, [&](qsizetype) { return content.elements(); },
                          [&](qsizetype) { return content.sheet(); }});
    while (save.step()) {
    }
    save.finish();
}

} // namespace vornic
