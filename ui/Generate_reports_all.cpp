#include "ui/Generate_reports_all.h"

TForm7::TForm7(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
