#pragma once

#include "db/DataSet.h"
#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui_Service.h"

// The service journal of the current object: dated entries about its servicing, and the working status that the
// main object list shows. Made once at start-up; its journal follows the main list's current object from the
// first opening on. Nothing it stores is committed before it closes.
class TForm8 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm8)

public:
    // objects is the main window's object list: the journal is a detail of its current row.
    TForm8(vornic::WindowContext& context, vornic::DataSet& objects, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    // The journal opens no window of its own, so only its opening activates it: coming back from the general error
    // report while adding must leave the new entry open, not start browsing again.
    void FormActivate() override; // the opening: runs once each time the window is shown
    void FormClose() override;
    void But_addClick();
    void But_EditClick();
    void But_DelClick();
    void ComboBox1Select(int index); // the operator chose a status
    // Shows the current entry's text and date: after a click, a key or a mouse button released in the list, and
    // the mouse wheel over it.
    void ShowCurrentEntry();

    vornic::DataSet& IBDataSet1() { return journal_; }
    Ui::TForm8& form() { return ui; }
    bool isAdding() const { return adding_; }
    bool isChanging() const { return changing_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool hasCurrentObject() const;
    // Reads the journal again and moves to the entry just stored, so that a change or a deletion right after acts
    // on the stored row rather than on the placeholder key the new row was given.
    void readBackNewEntry(const QList<qint64>& keysBefore);

    vornic::WindowContext& context_;
    vornic::DataSet& objects_;
    Ui::TForm8 ui;
    vornic::DataSet journal_;
    bool adding_ = false;   // for the whole run: from the first press of "Добавить" until the entry is stored
    bool changing_ = false; // from the first press of "Изменить" until the second
};
