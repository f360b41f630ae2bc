#include "ui/common/OpeningDialog.h"

#include <QCloseEvent>
#include <QEvent>
#include <QShowEvent>

#include <utility>

namespace vornic {

OpeningDialog::OpeningDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) {}

void OpeningDialog::reject() {
    close();
}

bool OpeningDialog::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && !std::exchange(activated_, true))
        FormActivate();
    return QDialog::event(event);
}

void OpeningDialog::showEvent(QShowEvent* event) {
    // A window shown again by the program opens again; one the desktop shows again (from minimised) does not.
    if (!event->spontaneous())
        activated_ = false;
    QDialog::showEvent(event);
}

void OpeningDialog::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

} // namespace vornic
