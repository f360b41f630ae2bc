#pragma once

#include <QPointer>
#include <QString>

class QLabel;
class QWidget;

namespace vornic {

// Shown while a window stores a change. A row another operator holds makes the store wait up to the lock time-out
// (30 s) inside the database call, when the window cannot repaint: the wait cursor and the line at the window's
// foot are put on the screen before the call, so that the window says it waits instead of looking hung.
class LockWaitNotice final {
public:
    explicit LockWaitNotice(QWidget* window);
    ~LockWaitNotice();
    Q_DISABLE_COPY_MOVE(LockWaitNotice)

    static QString text();

private:
    QPointer<QLabel> label_;
};

// Runs a change with the notice shown.
template <class Work> void storeWithLockWaitNotice(QWidget* window, Work&& work) {
    const LockWaitNotice notice(window);
    work();
}

} // namespace vornic
