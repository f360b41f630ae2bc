#pragma once

#include "db/DataSet.h"
#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui/common/WorkInSteps.h"
#include "ui_Generate_reports.h"

// The subscriber report: the readings of the main list's current object over a period of days, newest first, with
// the consumption over that period, saved as a text file, an XML file or a workbook. Made once at start-up; the
// result is read again at every Build and emptied at every opening.
class TForm3 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm3)

public:
    // objects is the main window's object list: the report is of its current object.
    TForm3(vornic::WindowContext& context, vornic::DataSet& objects, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    // The window opens no window of its own; the message boxes, the error report and the save dialog shown over
    // it must not empty the result when they close, so only the opening activates it.
    void FormActivate() override; // the opening: runs once each time the window is shown
    void FormClose() override;
    void Button1Click(); // "Сформировать ": builds the result and its consumption
    void Button2Click(); // "Сохранить": saves the result in the chosen form

    vornic::DataSet& IBDataSet1() { return result_; }
    Ui::TForm3& form() { return ui; }
    vornic::WorkInSteps& work() { return work_; }

private:
    vornic::WindowContext& context_;
    vornic::DataSet& objects_;
    Ui::TForm3 ui;
    vornic::DataSet result_;
    vornic::WorkInSteps work_;
};
