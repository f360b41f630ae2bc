#pragma once

#include "db/DataSet.h"
#include "ui/common/WindowContext.h"
#include "ui_Generate_reports.h"

#include <QDialog>

// The subscriber report: the readings of the main list's current object over a period of days, newest first, with
// the consumption over that period, saved as a text file, an XML file or a workbook. Made once at start-up; the
// result is read again at every Build and emptied at every opening.
class TForm3 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm3)

public:
    // objects is the main window's object list: the report is of its current object.
    TForm3(vornic::WindowContext& context, vornic::DataSet& objects, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    void FormActivate(); // the opening: runs once each time the window is shown
    void FormClose();
    void Button1Click(); // "Сформировать ": builds the result and its consumption
    void Button2Click(); // "Сохранить": saves the result in the chosen form

    vornic::DataSet& IBDataSet1() { return result_; }
    Ui::TForm3& form() { return ui; }

    // Escape closes the window like its close box, so that the closing steps run.
    void reject() override { close(); }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    vornic::WindowContext& context_;
    vornic::DataSet& objects_;
    Ui::TForm3 ui;
    vornic::DataSet result_;
    bool activated_ = false; // since the window was last shown
};
