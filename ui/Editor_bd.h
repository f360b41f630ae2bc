#pragma once

#include "ui/WindowContext.h"
#include "ui_Editor_bd.h"

#include <QDialog>

class TForm4 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm4)

public:
    explicit TForm4(vornic::WindowContext& context, QWidget* parent = nullptr);

private:
    Ui::TForm4 ui;
    vornic::WindowContext& context_;
};
