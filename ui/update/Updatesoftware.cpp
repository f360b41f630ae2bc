#include "ui/update/Updatesoftware.h"

#include "base/IniFile.h"
#include "base/Services.h"
#include "base/Settings.h"
#include "ui/common/ErrorReport.h"
#include "ui/common/WindowContext.h"
#include "update/Threadupdate.h"

#include <QCloseEvent>
#include <QEvent>
#include <QTimer>

#include <limits>

TForm9::TForm9(vornic::WindowContext& context, const QString& currentVersion, MainWindow mainWindow, QWidget* parent)
    : QDialog(parent), context_(context), mainWindow_(std::move(mainWindow)) {
    ui.setupUi(this);
    // No system menu and no close box: only "Выход" closes the window.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    connect(ui.Button1, &QPushButton::clicked, this, &TForm9::Button1Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TForm9::Button2Click);

    const QString link = vornic::readSetting(context_.settings(), vornic::settings::serverAddress());
    updateCheck_ = std::make_unique<ThreadUpdate>(link, currentVersion, context_.dataFolder, mainWindow_.timer,
                                                  context_.services.updateKeys);
    ThreadUpdate* check = updateCheck_.get();
    connect(check, &ThreadUpdate::captionChanged, this, &QWidget::setWindowTitle, Qt::QueuedConnection);
    connect(check, &ThreadUpdate::hideRequested, this, &QWidget::hide, Qt::QueuedConnection);
    connect(check, &ThreadUpdate::transferProgressed, this, &TForm9::showProgress, Qt::QueuedConnection);
    connect(check, &ThreadUpdate::updateReady, this, &TForm9::openUpdateAndEnd, Qt::QueuedConnection);
    check->start();
}

TForm9::~TForm9() {
    // The check may be waiting for the operator or fetching: it ends without writing or opening anything.
    updateCheck_.reset();
}

bool TForm9::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TForm9::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (mainWindow_.window) {
        QRect frame = frameGeometry();
        frame.moveCenter(mainWindow_.window->frameGeometry().center());
        move(frame.topLeft());
    }
}

void TForm9::closeEvent(QCloseEvent* event) {
    // The window manager's close is no choice of the operator's; "Выход" is.
    event->ignore();
}

void TForm9::FormActivate() {
    vornic::reportFailures([&] { mainWindow_.timer.stop(); });
}

void TForm9::Button1Click() {
    vornic::reportFailures([&] {
        updateCheck_->requestStop();
        hide();
    });
}

void TForm9::Button2Click() {
    vornic::reportFailures([&] {
        updateCheck_->proceed();
        ui.Button2->setEnabled(false);
    });
}

void TForm9::showProgress(qint64 expected, qint64 received) {
    vornic::reportFailures([&] {
        if (expected <= 0) {
            // No size announced: a busy bar says that bytes arrive without claiming how many are left.
            ui.ProgressBar1->setRange(0, 0);
            return;
        }
        // The bar counts in int; a size beyond it is shown in kilobytes.
        const qint64 unit = expected > std::numeric_limits<int>::max() ? 1024 : 1;
        ui.ProgressBar1->setRange(0, static_cast<int>(expected / unit));
        ui.ProgressBar1->setValue(static_cast<int>(std::min(received, expected) / unit));
    });
}

void TForm9::openUpdateAndEnd(const QString& path) {
    if (!vornic::reportFailures([&] { context_.services.shell->open(path); }))
        return; // the update did not start: the client goes on
    // The update may be waiting for this client to go. It ends as when the main window closes: settings written,
    // pending work committed.
    context_.services.process->exitProcess(0);
}
