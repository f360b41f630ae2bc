#include "ui/Notrespondentsscanners.h"

TForm10::TForm10(vornic::WindowContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    ui.setupUi(this);
}
