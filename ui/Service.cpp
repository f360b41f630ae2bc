#include "ui/Service.h"

TForm8::TForm8(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
