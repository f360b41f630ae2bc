#pragma once

#include "reports/ScannerMaintenance.h"
#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui/common/WorkInSteps.h"
#include "ui_Scanner_maintenance.h"

#include <QStandardItemModel>

// The scanners to see to: silent ones, batteries about to run out, weak signals, the most urgent first. Made at
// each opening and gone when closed; it reads the database and the settings and changes neither.
class TForm16 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm16)

public:
    explicit TForm16(vornic::WindowContext& context, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    // Only the opening makes the list: coming back from the save dialog or the spreadsheet program leaves it.
    void FormActivate() override; // the opening: the list is made
    void Button1Click();          // "Обновить"
    void Button2Click();          // "Сохранить"

    const QList<vornic::MaintenanceRow>& rows() const { return rows_; }
    QStandardItemModel& model() { return model_; }
    Ui::TForm16& form() { return ui; }

    vornic::WorkInSteps& work() { return work_; }

private:
    void makeList();

    vornic::WindowContext& context_;
    Ui::TForm16 ui;
    QStandardItemModel model_;
    QList<vornic::MaintenanceRow> rows_;
    vornic::WorkInSteps work_;
};
