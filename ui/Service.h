#pragma once

#include "ui_Service.h"

#include <QDialog>

class TForm8 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm8)

public:
    explicit TForm8(QWidget* parent = nullptr);

private:
    Ui::TForm8 ui;
};
