#include "ui/common/WorkInSteps.h"

#include "db/AsideConnection.h"
#include "db/DataSet.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

namespace vornic {
namespace {

// Work shorter than this ends before the operator waits for it, and a window that flashes up would only disturb.
constexpr int kProgressAfterMs = 500;

// Watches the caller's window while work runs. Closing it interrupts the work, so that a window closed meanwhile
// does not go on with work nobody waits for; the window itself closes only once the work has returned, since a
// window that deletes itself on closing would otherwise go while its own handler still runs.
class ClosingWatch final : public QObject {
public:
    ClosingWatch(QWidget* window, WorkInSteps& work) : window_(window), work_(work) {
        if (window)
            window->installEventFilter(this);
    }
    ~ClosingWatch() override {
        if (!window_)
            return;
        window_->removeEventFilter(this);
        if (closeAfterWork_)
            QTimer::singleShot(0, window_.data(), [window = window_] {
                if (window)
                    window->close();
            });
    }
    Q_DISABLE_COPY_MOVE(ClosingWatch)

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            work_.interrupt();
            closeAfterWork_ = true;
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::Hide)
            work_.interrupt();
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> window_;
    WorkInSteps& work_;
    bool closeAfterWork_ = false;
};

} // namespace

WorkInSteps::WorkInSteps(QWidget* window, QString title)
    : window_(window), title_(std::move(title)), progressRetry_(new QTimer(this)) {
    progressRetry_->setSingleShot(true);
    progressRetry_->setInterval(100);
    connect(progressRetry_, &QTimer::timeout, this, &WorkInSteps::showProgress);
}

WorkInSteps::~WorkInSteps() {
    delete progress_;
}

WorkEnd WorkInSteps::run(const std::function<bool()>& step) {
    running_ = true;
    progressWaits_ = false;
    interrupted_ = false;
    done_ = 0;
    total_ = 0;
    bool finished = false;
    std::exception_ptr failure;

    QEventLoop loop;
    QTimer nextStep;
    nextStep.setInterval(0); // fires once the events that came meanwhile have been handled
    connect(&nextStep, &QTimer::timeout, &loop, [&] {
        if (interrupted_) {
            loop.quit();
            return;
        }
        try {
            if (!step()) {
                finished = true;
                loop.quit();
            }
        } catch (...) {
            failure = std::current_exception();
            loop.quit();
        }
        updateProgress();
    });
    QTimer progressDue;
    progressDue.setSingleShot(true);
    connect(&progressDue, &QTimer::timeout, this, &WorkInSteps::showProgress);
    const ClosingWatch watch(window_, *this);

    nextStep.start();
    progressDue.start(kProgressAfterMs);
    // The end of the program leaves this loop too (QCoreApplication::exit): the work then counts as interrupted.
    loop.exec();
    nextStep.stop();
    progressDue.stop();
    progressRetry_->stop();
    delete progress_;
    running_ = false;
    if (failure)
        std::rethrow_exception(failure);
    return finished && !interrupted_ ? WorkEnd::Finished : WorkEnd::Interrupted;
}

WorkEnd WorkInSteps::openAside(DataSet& dataSet) {
    Database& database = dataSet.database();
    if (runAside([&] { dataSet.openQuietly(); }, [&database] { database.cancelOperation(); }) == WorkEnd::Interrupted) {
        database.resumeAfterCancel();
        dataSet.close();
        return WorkEnd::Interrupted;
    }
    dataSet.announceOpened();
    return WorkEnd::Finished;
}

WorkEnd WorkInSteps::runAside(const std::function<void()>& work, std::function<void()> cancel) {
    running_ = true;
    progressWaits_ = false;
    interrupted_ = false;
    done_ = 0;
    total_ = 0;
    cancel_ = std::move(cancel);
    std::exception_ptr failure;
    const std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer progressDue;
    progressDue.setSingleShot(true);
    connect(&progressDue, &QTimer::timeout, this, &WorkInSteps::showProgress);
    const ClosingWatch watch(window_, *this);

    Q_EMIT progressed(0, 0);
    thread->start();
    progressDue.start(kProgressAfterMs);
    loop.exec();
    // The end of the program leaves the loop with the work still going: it is interrupted and waited for.
    if (!thread->isFinished())
        interrupt();
    thread->wait();
    progressDue.stop();
    progressRetry_->stop();
    delete progress_;
    running_ = false;
    cancel_ = nullptr;
    if (interrupted_)
        return WorkEnd::Interrupted;
    if (failure)
        std::rethrow_exception(failure);
    return WorkEnd::Finished;
}

WorkEnd WorkInSteps::readAside(const QString& databaseName, const std::function<void(Database&)>& pass) {
    AsideConnection aside(databaseName);
    return runAside([&] { aside.run(pass); }, [&] { aside.cancel(); });
}

void WorkInSteps::setProgress(qint64 done, qint64 total) {
    done_ = done;
    total_ = total;
    Q_EMIT progressed(done, total);
}

void WorkInSteps::interrupt() {
    if (!running_ || std::exchange(interrupted_, true))
        return;
    if (cancel_)
        cancel_();
}

bool WorkInSteps::questionIsOpen() const {
    const QWidget* modal = QApplication::activeModalWidget();
    return modal && modal != window_ && modal != progress_;
}

void WorkInSteps::showProgress() {
    if (!running_ || progress_)
        return;
    if (questionIsOpen()) {
        progressWaits_ = true;
        progressRetry_->start();
        return;
    }
    progressWaits_ = false;
    auto* progress = new QDialog(window_, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    progress->setWindowTitle(title_);
    progress->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(progress);
    layout->addWidget(new QLabel(title_ + QStringLiteral("…"), progress));
    bar_ = new QProgressBar(progress);
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(320);
    layout->addWidget(bar_);
    count_ = new QLabel(progress);
    layout->addWidget(count_);
    auto* stop = new QPushButton(QStringLiteral("Прервать"), progress);
    layout->addWidget(stop, 0, Qt::AlignRight);
    connect(stop, &QPushButton::clicked, this, &WorkInSteps::interrupt);
    // Escape and the close box interrupt as the button does.
    connect(progress, &QDialog::rejected, this, &WorkInSteps::interrupt);
    progress_ = progress;
    updateProgress();
    progress->show();
}

void WorkInSteps::updateProgress() {
    if (!progress_) {
        if (progressWaits_ && !questionIsOpen())
            showProgress();
        return;
    }
    if (total_ > 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(std::min(done_, total_) * 1000 / total_));
        count_->setText(QStringLiteral("%1 из %2").arg(done_).arg(total_));
    } else {
        bar_->setRange(0, 0); // a bar that moves without an end: the total is not known
        count_->setText(done_ > 0 ? QString::number(done_) : QString());
    }
}

} // namespace vornic
