#include "ui/Editor_bd.h"

TForm4::TForm4(vornic::WindowContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    ui.setupUi(this);
}
