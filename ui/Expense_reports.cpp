#include "ui/Expense_reports.h"

TForm13::TForm13(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
}
