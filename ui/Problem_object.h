#pragma once

#include "ui/WindowContext.h"
#include "ui_Problem_object.h"

#include <QDialog>

class TForm11 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm11)

public:
    explicit TForm11(vornic::WindowContext& context, QWidget* parent = nullptr);

private:
    Ui::TForm11 ui;
    vornic::WindowContext& context_;
};
