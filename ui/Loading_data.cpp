#include "ui/Loading_data.h"

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
