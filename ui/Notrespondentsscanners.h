#pragma once

#include "ui/WindowContext.h"
#include "ui_Notrespondentsscanners.h"

#include <QDialog>

class TForm10 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm10)

public:
    explicit TForm10(vornic::WindowContext& context, QWidget* parent = nullptr);

private:
    Ui::TForm10 ui;
    vornic::WindowContext& context_;
};
