#include "ui/common/LockWaitNotice.h"

#include <QApplication>
#include <QLabel>

namespace vornic {

QString LockWaitNotice::text() {
    return QStringLiteral("Сохранение… Если запись занята другим оператором, программа ждёт её до 30 секунд.");
}

LockWaitNotice::LockWaitNotice(QWidget* window) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!window || !window->isVisible())
        return;
    label_ = new QLabel(text(), window);
    label_->setObjectName(QStringLiteral("LockWaitNotice"));
    label_->setAutoFillBackground(true);
    label_->setStyleSheet(
        QStringLiteral("QLabel { background: #fff8c8; border-top: 1px solid #b0a060; padding: 3px; }"));
    label_->setGeometry(0, window->height() - label_->sizeHint().height(), window->width(),
                        label_->sizeHint().height());
    label_->show();
    label_->raise();
    // Painted now: the database call that follows may hold this thread for the whole wait.
    label_->repaint();
}

LockWaitNotice::~LockWaitNotice() {
    delete label_.data();
    QApplication::restoreOverrideCursor();
}

} // namespace vornic
