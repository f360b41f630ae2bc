#pragma once

#include "download/Thread_loadf.h"
#include "ui/common/WindowContext.h"
#include "ui_Loading_data.h"

#include <QDialog>
#include <QPointer>

#include <memory>

namespace vornic {
class DataSet;
} // namespace vornic

// The loading window: the operator chooses all or the marked objects and a depth in days, starts a download
// run and watches its log. It is made anew for each opening and goes when it closes; a run still going then is
// asked to stop and ends on its own, and the main window still hears that readings were stored.
class TForm2 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm2)

public:
    explicit TForm2(vornic::WindowContext& context, QWidget* parent = nullptr);
    ~TForm2() override;

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
    // Starts the run, or waits for the program's run still ending and starts then.
    void startWhenIdle(int depth);
    void startRun(int depth);

    Ui::TForm2 ui;
    vornic::WindowContext& context_;
    std::unique_ptr<vornic::DataSet> objects_;
    QPointer<Thread_loadF> worker_;
};
