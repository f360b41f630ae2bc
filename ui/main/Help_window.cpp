#include "ui/main/Help_window.h"

THelpWindow::THelpWindow(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
    connect(ui.Button1, &QPushButton::clicked, this, &THelpWindow::Button1Click);
}

void THelpWindow::Button1Click() {
    close();
}
