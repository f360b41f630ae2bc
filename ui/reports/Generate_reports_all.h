#pragma once

#include "db/DataSet.h"
#include "reports/ReportSave.h"
#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui/common/WorkInSteps.h"
#include "ui_Generate_reports_all.h"

// The period report: every reading of one month, for all objects or for the marked group, listed and saved as a
// text file, an XML file or a workbook. Made once at start-up; the scope and format choices stay from one
// opening to the next, while the month list is made afresh and the result emptied at each opening.
class TForm7 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm7)

public:
    explicit TForm7(vornic::WindowContext& context, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    // Only an opening activates the window: coming back from a message box or the save dialog must not empty the
    // result the operator is saving.
    void FormActivate() override;
    void Button1Click(); // "Сформировать "
    void Button2Click(); // "Сохранить"

    // Puts the months the report can be built for into the month list, for today.
    void FillMonthList();

    vornic::DataSet& IBDataSet1() { return dataSet_; }
    vornic::WorkInSteps& work() { return work_; }
    Ui::TForm7& form() { return ui; }

private:
    vornic::SlicedReportContent slicedContent();

    Ui::TForm7 ui;
    vornic::WindowContext& context_;
    vornic::DataSet dataSet_;
    vornic::WorkInSteps work_;
};
