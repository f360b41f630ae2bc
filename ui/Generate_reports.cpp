#include "ui/Generate_reports.h"

TForm3::TForm3(vornic::WindowContext& context, vornic::DataSet& objects, QWidget* parent)
    : QDialog(parent), context_(context), objects_(objects) {
    ui.setupUi(this);
}
