#pragma once

#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <optional>

// Keeps the readings list in step with the current object without reading the readings of every object the
// operator passes over: once resumed it compares the current object's scanner before and after a period, and
// opens the readings list only when the object stayed the same; otherwise it closes the list.
//
// Its reads of the object list and its opening and closing of the readings happen on the user-interface thread
// (the object list may be being reopened there at that moment); the worker waits for each, but gives up the
// wait when it is told to stop, so that the program can end while a call is still queued.
class ThreadDS2Select final : public QThread {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ThreadDS2Select)

public:
    struct Calls {
        std::function<std::optional<QString>()> readScanner; // empty when there is no current object
        std::function<void()> openReadings;
        std::function<void()> closeReadings;
    };

    // Made suspended: it runs from the first resume() on. The calls run on the thread of uiContext.
    ThreadDS2Select(QObject* uiContext, Calls calls, int periodMs = 300);
    ~ThreadDS2Select() override; // stops and waits

    // Resuming a running worker has no effect.
    void resume();
    void stop();

protected:
    void run() override;

private:
    // Runs work on the user-interface thread and waits for it; false when told to stop meanwhile.
    bool onUiThread(std::function<void()> work);
    bool pause();

    QPointer<QObject> uiContext_;
    Calls calls_;
    int periodMs_;
};
