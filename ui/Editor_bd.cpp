#include "ui/Editor_bd.h"

TForm4::TForm4(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
