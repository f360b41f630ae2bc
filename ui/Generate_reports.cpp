#include "ui/Generate_reports.h"

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
