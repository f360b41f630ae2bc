#pragma once

#include "db/DataSet.h"
#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui/common/WindowLayout.h"
#include "ui_Problem_object.h"

#include <functional>
#include <optional>

// The review of doubtful recognitions: every reading of every object that the server was not sure of, each with
// its dial picture beside the recognised value, so that the operator confirms or corrects it, or puts the
// recognised value back. Made once at start-up; the list is read afresh at every opening.
class TForm11 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm11)

public:
    explicit TForm11(vornic::WindowContext& context, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    // The review opens no window of its own, so only its opening activates it: coming back from a message box or
    // from another program must not read the list again, which would take the handled rows out of sight.
    void FormActivate() override;
    void FormClose() override;
    void Button1Click(); // "Изенить": the value in "Реальные показания" is the operator's
    void Button3Click(); // "Вернуть": the recognised value is back, and the reading doubtful again
    // Enter in "Реальные показания": what "Изенить" does, then on to the next reading; an empty field asks for a
    // value instead.
    void DBEdit5KeyEnter();
    // Shows the current row's dial picture.
    void IBDataSet1AfterScroll();
    void DBGrid1CellClick();
    void DBGrid1KeyUp();
    void DBGrid1TitleClick(int column);

    vornic::DataSet& IBDataSet1() { return dataSet_; }
    Ui::TForm11& form() { return ui; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Opens the current row, lets change set its fields and stores it with a retaining commit. Returns false
    // when the data layer refused; the refusal has then been reported.
    bool storeCurrentRow(const std::function<void()>& change);
    bool confirmCurrentRow();

    vornic::WindowContext& context_;
    Ui::TForm11 ui;
    vornic::DataSet dataSet_;
    std::optional<vornic::WindowLayout> layout_; // made once the form's list exists
};
