#include "ui/Edit_resupt.h"

TForm5::TForm5(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
