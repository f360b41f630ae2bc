#pragma once

#include "db/DataSet.h"
#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui/common/WorkInSteps.h"
#include "ui_Expense_reports.h"

// The consumption report: for a period of days, every object with readings in it, its newest and oldest readings
// that are numbers and the consumption between them, saved as a text file, an XML file or a workbook. Made once
// at start-up; the result stays from one opening to the next, and the start of the period is kept in the settings.
class TForm13 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm13)

public:
    explicit TForm13(vornic::WindowContext& context, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    // Only the opening activates the window: coming back from a save dialog or a message must leave the period
    // the operator picked, not read the stored start again.
    void FormActivate() override; // the opening: runs once each time the window is shown
    void FormClose() override;
    void Button1Click(); // "Сформировать"
    void Button2Click(); // "Сохранить"

    Ui::TForm13& form() { return ui; }
    vornic::DataSet& IBDataSet1() { return objects_; }
    vornic::WorkInSteps& work() { return work_; }
    // The object rows of the result as the grid shows them: six cells each, the empty last row left out.
    QList<QStringList> resultRows() const;

private:
    void showResult(const QList<QStringList>& rows);

    Ui::TForm13 ui;
    vornic::WindowContext& context_;
    vornic::DataSet objects_;
    vornic::WorkInSteps work_;
};
