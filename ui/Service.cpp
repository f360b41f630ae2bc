#include "ui/Service.h"

TForm8::TForm8(vornic::WindowContext& context, vornic::DataSet& objects, QWidget* parent)
    : QDialog(parent), context_(context), objects_(objects) {
    ui.setupUi(this);
}
