#pragma once

#include "ui_Loading_data.h"

#include <QDialog>

class TForm2 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm2)

public:
    explicit TForm2(QWidget* parent = nullptr);

private:
    Ui::TForm2 ui;
};
