#pragma once

#include "download/Thread_loadf.h"
#include "ui_Loading_data.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class TForm1;

namespace vornic {
class DataSet;
} // namespace vornic

// The loading window: the operator chooses all or the marked objects and a depth in days, starts a download
// run and watches its log. It is made anew for each opening and lives on until the program ends, so that a
// run still going after the window closed has somewhere to report.
class TForm2 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm2)

public:
    explicit TForm2(TForm1& mainWindow);
    ~TForm2() override; // abandons a run still going

    // Event handlers, public so that tests drive them as the operator would.
    void FormActivate();
    void Button1Click();
    void FormClose();

    Ui::TForm2& form() { return ui; }
    vornic::DataSet& objects() const { return *objects_; }
    Thread_loadF* runningWorker() const { return worker_.data(); }

    // Escape closes the window like its close box, so that the closing steps run.
    void reject() override { close(); }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void addLogLine(const QString& text);

    Ui::TForm2 ui;
    TForm1& mainWindow_;
    std::unique_ptr<vornic::DataSet> objects_;
    QPointer<Thread_loadF> worker_;
};
