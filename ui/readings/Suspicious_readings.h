#pragma once

#include "reports/ImplausibleReadings.h"
#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui/common/WindowLayout.h"
#include "ui/common/WorkInSteps.h"
#include "ui_Suspicious_readings.h"

#include <QList>

#include <optional>

// The readings that their own object's history makes implausible, each with its reason: the confident
// misreadings the server's doubt flag does not catch. The operator checks one by a double click, which opens it
// in the reading editor through the main window; the list is read again when the editor closes. Made for one
// opening; it changes nothing by itself.
class TForm14 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm14)

public:
    explicit TForm14(vornic::WindowContext& context, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    // Coming back from the reading editor or a message box activates the window again; the list is read again
    // where that is due, not at every activation.
    void FormActivate() override;
    void FormClose() override;
    void Button1Click(); // "Обновить"
    void StringGrid1DblClick(int row);

    // The readings as listed, row by row.
    const QList<vornic::ImplausibleReading>& listed() const { return listed_; }
    Ui::TForm14& form() { return ui; }
    vornic::WorkInSteps& work() { return work_; }

Q_SIGNALS:
    // The operator wants to see this reading in the reading editor. Whoever opens the editor does so before
    // returning: the list is read again as soon as the signal returns.
    void readingChosen(int object, const QString& reading);

private:
    void readList();

    Ui::TForm14 ui;
    vornic::WindowContext& context_;
    QList<vornic::ImplausibleReading> listed_;
    std::optional<vornic::WindowLayout> layout_;
    vornic::WorkInSteps work_;
};
