#pragma once

#include "ui/WindowContext.h"
#include "ui_Edit_resupt.h"

#include <QDialog>

namespace vornic {
class DataSet;
} // namespace vornic

class TForm5 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm5)

public:
    // objects and readings are the main window's object list and the readings of its current object; the
    // editor edits the current reading in place.
    TForm5(vornic::WindowContext& context, vornic::DataSet& objects, vornic::DataSet& readings,
           QWidget* parent = nullptr);

private:
    Ui::TForm5 ui;
    vornic::WindowContext& context_;
    vornic::DataSet& objects_;
    vornic::DataSet& readings_;
};
