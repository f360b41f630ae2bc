#include "ui/Expense_reports.h"

TForm13::TForm13(vornic::WindowContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    ui.setupUi(this);
}
