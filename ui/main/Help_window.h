#pragma once

#include "ui_Help_window.h"

#include <QDialog>

// The help behind the menu item "Справка": what each menu command does and how the main window is used.
class THelpWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(THelpWindow)

public:
    explicit THelpWindow(QWidget* parent = nullptr);

    void Button1Click();

    Ui::THelpWindow& form() { return ui; }

private:
    Ui::THelpWindow ui;
};
