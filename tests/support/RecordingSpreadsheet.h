#pragma once

#include "reports/Spreadsheet.h"

#include <QStringList>

#include <memory>

namespace vornic {

// A spreadsheet application that only writes down what it is asked, for the tests of the reports: every call
// goes into `calls` in order, as text ("attach", "start", "WorkBooks.add", "WorkBooks(1)", "WorkSheets(1)",
// "Cells(1,2).ColumnWidth=25", "Cells(3,1).Value=12,5", "Visible=true", "WorkBooks(2).SaveAs(MyTest)"). A call
// whose text is in `refused` is written down and then fails; attach fails as well while no instance runs.
class RecordingSpreadsheetServer final : public SpreadsheetServer {
public:
    std::shared_ptr<SpreadsheetApplication> attach() override;
    std::shared_ptr<SpreadsheetApplication> start() override;

    // Makes an instance run, as if the operator had started the application, with that many workbooks open.
    void run(int openWorkbooks = 0);

    QStringList calls;
    QStringList refused;
    // The running instance, held as the application keeps running between reports.
    std::shared_ptr<SpreadsheetApplication> instance;

    // Writes the call down; throws Failure when it is refused.
    void call(const QString& text);
};

} // namespace vornic
