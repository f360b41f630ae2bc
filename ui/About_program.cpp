#include "ui/About_program.h"

TForm6::TForm6(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
