#include "ui/Problem_object.h"

TForm11::TForm11(vornic::WindowContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    ui.setupUi(this);
}
