#pragma once

#include "ui/WindowContext.h"
#include "ui_Generate_reports.h"

#include <QDialog>

namespace vornic {
class DataSet;
} // namespace vornic

class TForm3 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm3)

public:
    // objects is the main window's object list: the report is of its current object.
    TForm3(vornic::WindowContext& context, vornic::DataSet& objects, QWidget* parent = nullptr);

private:
    Ui::TForm3 ui;
    vornic::WindowContext& context_;
    vornic::DataSet& objects_;
};
