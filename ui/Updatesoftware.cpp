#include "ui/Updatesoftware.h"

TForm9::TForm9(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
