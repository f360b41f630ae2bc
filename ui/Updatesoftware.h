#pragma once

#include "ui_Updatesoftware.h"

#include <QDialog>

class TForm9 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm9)

public:
    explicit TForm9(QWidget* parent = nullptr);

private:
    Ui::TForm9 ui;
};
