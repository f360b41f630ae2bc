#pragma once

#include "ui_About_program.h"

#include <QDialog>

class TForm6 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm6)

public:
    explicit TForm6(QWidget* parent = nullptr);

private:
    Ui::TForm6 ui;
};
