#pragma once

#include "ui/WindowContext.h"
#include "ui_Generate_reports_all.h"

#include <QDialog>

class TForm7 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm7)

public:
    explicit TForm7(vornic::WindowContext& context, QWidget* parent = nullptr);

private:
    Ui::TForm7 ui;
    vornic::WindowContext& context_;
};
