#pragma once

#include "db/DataSet.h"
#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui/common/WindowLayout.h"
#include "ui_Editor_bd.h"

#include <optional>

// The object directory: the operator adds, changes and removes the monitored objects through the editor panel,
// finds one by the beginning of a field and sorts the list by any column. Made once at start-up, with its list
// open from then on; the toggles, the open row and the sort direction live as long as the program.
class TForm4 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm4)

public:
    explicit TForm4(vornic::WindowContext& context, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    // The directory opens no window of its own, so only its opening activates it: coming back from a message box
    // must not put the column widths back that the operator has just dragged.
    void FormActivate() override;
    void FormClose() override;
    void Button_add_bdClick();    // "Новая запись", then "Сохранить новую запись"
    void Button1Click();          // "Изменить запись ", then "Сохранить изменения"
    void Button_remove_bdClick(); // "Удалить запись": the object with its journal and readings, unasked
    void Edit1Change(const QString& text);
    void DBGrid1TitleClick(int column);
    // A mouse button pressed anywhere in the list: back to browsing, the open row dropped.
    void DBGrid1MouseDown();
    // The list is about to move its current row by a key or typing; false keeps it where it stands.
    bool DBGrid1LeaveRow();

    vornic::DataSet& IBDataSet1() { return dataSet_; }
    Ui::TForm4& form() { return ui; }
    bool adding() const { return adding_; }
    bool changing() const { return changing_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bindEditor();
    void enableEditor(bool enabled);
    // The current row's key; none on an empty list and on a new row not yet stored.
    std::optional<int> currentObject();
    // Stores the new row after its checks; false when a check stopped it and the row stays open.
    bool storeNewRow();
    void readBackNewObject(const QString& scanner);
    // The scanner number of the open change is another object's: the operator is told, and the change must not be
    // stored.
    bool refuseScannerOfAnotherObject();
    // Stores the open change; false when it was refused, with the operator told why and the typed values back in
    // the fields.
    bool storeChange();

    vornic::WindowContext& context_;
    Ui::TForm4 ui;
    vornic::DataSet dataSet_;
    std::optional<vornic::WindowLayout> layout_; // made once the form's list exists
    bool adding_ = false;
    bool changing_ = false;
    bool sortAscending_ = true; // the direction of the next sort, whichever column it is on
};
