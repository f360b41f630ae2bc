#pragma once

#include "db/DataSet.h"
#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui_Notrespondentsscanners.h"

// The objects not heard from in a period the operator picks: the scanners to send the service team to. Made
// once at start-up; the pickers keep the operator's days for the whole run, and the list lasts from its forming
// to the next opening. Nothing in the database changes here.
class TForm10 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm10)

public:
    explicit TForm10(vornic::WindowContext& context, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    // Only the opening counts: coming back from a message box, a save dialog or the spreadsheet program that a
    // workbook was opened in must leave the formed list as it is.
    void FormActivate() override; // the opening: runs once each time the window is shown
    void FormClose() override;
    void Button1Click(); // "Сформировать "
    void Button2Click(); // "Сохранить"

    vornic::DataSet& IBDataSet1() { return list_; }
    Ui::TForm10& form() { return ui; }

private:
    vornic::WindowContext& context_;
    Ui::TForm10 ui;
    vornic::DataSet list_;
};
