#pragma once

#include "ui/WindowContext.h"
#include "ui_Expense_reports.h"

#include <QDialog>

class TForm13 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm13)

public:
    explicit TForm13(vornic::WindowContext& context, QWidget* parent = nullptr);

private:
    Ui::TForm13 ui;
    vornic::WindowContext& context_;
};
