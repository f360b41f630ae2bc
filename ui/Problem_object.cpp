#include "ui/Problem_object.h"

TForm11::TForm11(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
