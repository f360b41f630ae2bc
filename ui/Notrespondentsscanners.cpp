#include "ui/Notrespondentsscanners.h"

TForm10::TForm10(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
