#include "ui/Edit_resupt.h"

TForm5::TForm5(vornic::WindowContext& context, vornic::DataSet& objects, vornic::DataSet& readings, QWidget* parent)
    : QDialog(parent), context_(context), objects_(objects), readings_(readings) {
    ui.setupUi(this);
}
