#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QDialog;
class QLabel;
class QProgressBar;
class QTimer;
class QWidget;

namespace vornic {

class DataSet;
class Database;

// How a piece of work run in steps ended.
enum class WorkEnd {
    Finished,
    Interrupted, // by "Прервать", by the window's closing or by the end of the program
};

// Runs a long piece of work on the user-interface thread one step at a time, letting the event loop turn after
// each step, so that the windows repaint and answer while it goes on: a step is one statement or one batch of
// rows, short enough not to be felt. The call returns when the work is done, so the caller goes on as after a
// plain call, and a failure thrown by a step comes out of it.
//
// Work that outlasts half a second shows a small window over the caller's window: what is being done, a bar with
// the count done (of the total, when the work knows it) and "Прервать". It is modal to the caller's window, so
// the operator cannot start the same work twice; the rest of the program stays usable. A step that asks the
// operator something (a message, a file's name) is answered first: the progress window waits until it is, rather
// than cover the question.
class WorkInSteps final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WorkInSteps)

public:
    // title: what the progress window says is going on ("Формирование отчёта").
    WorkInSteps(QWidget* window, QString title);
    ~WorkInSteps() override;

    // step is called until it returns false (done) or the work is interrupted. It may call setProgress.
    WorkEnd run(const std::function<bool()>& step);

    // Runs work on a thread of its own while the event loop turns, for work that needs no widget: a pass over
    // the database on a connection of its own. interrupt() calls cancel on this thread, which must make work end
    // soon (cancel its statement), and the call returns once work has ended. A failure thrown by work comes out
    // of the call unless the work was interrupted.
    WorkEnd runAside(const std::function<void()>& work, std::function<void()> cancel);

    // Opens the data set with its select run on a thread of its own while the event loop turns, for a select that
    // the engine answers only once it has read and sorted all its rows. The connection is the data set's, held by
    // that thread meanwhile, and an interruption cancels the select and leaves the data set closed.
    WorkEnd openAside(DataSet& dataSet);

    // runAside for a pass that only reads the database: pass gets a connection of its own to the database named
    // (AsideConnection), and an interruption cancels its running statement.
    WorkEnd readAside(const QString& databaseName, const std::function<void(Database&)>& pass);

    // total 0: the total is not known, and the bar shows the count alone.
    void setProgress(qint64 done, qint64 total = 0);
    // Ends the work after the step that runs now; nothing when none runs.
    void interrupt();
    bool isRunning() const { return running_; }

    // The progress window while it is shown, for tests.
    QDialog* progressWindow() const { return progress_; }

Q_SIGNALS:
    // After each step that said how far the work has come, and as work run aside begins.
    void progressed(qint64 done, qint64 total);

private:
    bool questionIsOpen() const;
    void showProgress();
    void updateProgress();

    QPointer<QWidget> window_;
    QString title_;
    QPointer<QDialog> progress_;
    bool progressWaits_ = false; // its time came while a step's question was open
    // Looks again while it waits: work run aside has no steps after which to look.
    QTimer* progressRetry_ = nullptr;
    QLabel* count_ = nullptr;
    QProgressBar* bar_ = nullptr;
    std::function<void()> cancel_;
    bool running_ = false;
    bool interrupted_ = false;
    qint64 done_ = 0;
    qint64 total_ = 0;
};

} // namespace vornic
