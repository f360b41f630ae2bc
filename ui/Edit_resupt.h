#pragma once

#include "ui_Edit_resupt.h"

#include <QDialog>

class TForm5 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm5)

public:
    explicit TForm5(QWidget* parent = nullptr);

private:
    Ui::TForm5 ui;
};
