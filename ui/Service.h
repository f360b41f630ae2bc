#pragma once

#include "ui/WindowContext.h"
#include "ui_Service.h"

#include <QDialog>

namespace vornic {
class DataSet;
} // namespace vornic

class TForm8 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm8)

public:
    // objects is the main window's object list: the journal is a detail of its current row.
    TForm8(vornic::WindowContext& context, vornic::DataSet& objects, QWidget* parent = nullptr);

private:
    Ui::TForm8 ui;
    vornic::WindowContext& context_;
    vornic::DataSet& objects_;
};
