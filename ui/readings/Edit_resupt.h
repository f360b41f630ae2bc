#pragma once

#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui_Edit_resupt.h"

#include <QString>

namespace vornic {
class DataSet;
} // namespace vornic

// The reading editor: the operator corrects the value of the current reading of the main window, puts back the
// value the server recognised, or deletes the reading. It works on the main window's readings in place, so the
// list behind it shows every stored change at once. Made anew for each opening; it goes when it closes.
class TForm5 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm5)

public:
    // objects and readings are the main window's object list and the readings of its current object; the
    // editor edits the current reading in place.
    TForm5(vornic::WindowContext& context, vornic::DataSet& objects, vornic::DataSet& readings,
           QWidget* parent = nullptr);
    ~TForm5() override;

    // Event handlers, public so that tests drive them as the operator would.
    // The editor opens no window of its own, so only its opening activates it: coming back from a message box
    // or from another program must not take the typed text as the text at opening.
    void FormActivate() override;
    void Button1Click(); // "Сохранить"
    void Button3Click(); // "Отменить изменение"
    void Button2Click(); // "Удалить запись"
    void FormClose() override;

    Ui::TForm5& form() { return ui; }
    // The reading's text when the window was activated: "Сохранить" stores only a text that differs from it.
    const QString& textAtOpening() const { return textAtOpening_; }

private:
    bool hasCurrentReading() const;
    // The current reading is still the one the window was opened on.
    bool onReadingAtOpening() const;

    Ui::TForm5 ui;
    vornic::WindowContext& context_;
    vornic::DataSet& objects_;
    vornic::DataSet& readings_;
    QString textAtOpening_;
    QString readingAtOpening_; // its picture number, the key it is stored under
};
