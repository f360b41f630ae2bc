#include "ui/Generate_reports_all.h"

TForm7::TForm7(vornic::WindowContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    ui.setupUi(this);
}
