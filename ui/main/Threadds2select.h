#pragma once

#include <QPointer>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>

// Keeps the readings list in step with the current object without reading the readings of every object the
// operator passes over: woken by a move of the current object, it compares the current object's scanner before
// and after a period, and opens the readings list only when the object stayed the same; otherwise it closes the
// list. Between moves it sleeps: nothing but a move or a stop wakes it.
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

    // Made suspended: the first resume() starts it. The calls run on the thread of uiContext.
    ThreadDS2Select(QObject* uiContext, Calls calls, int periodMs = 300);
    ~ThreadDS2Select() override; // stops and waits

    // The current object moved: the worker looks again (once more after the look under way, if one is). After
    // stop() it has no effect.
    void resume();
    void stop();

    // True once the worker has acted on every move so far (or was never woken): what it does next waits for a
    // move. Lets a caller tell that the readings list is as the worker leaves it.
    bool idle() const;

protected:
    void run() override;

private:
    struct Wake;

    // Runs work on the user-interface thread and waits for it; false when told to stop meanwhile.
    bool onUiThread(std::function<void()> work);
    // Sleeps until the current object moves; false when told to stop.
    bool waitForMove();
    // Sleeps for the period; false when told to stop meanwhile.
    bool pause();

    QPointer<QObject> uiContext_;
    Calls calls_;
    int periodMs_;
    // Shared with the calls queued on the user-interface thread, which may run after the worker has gone.
    std::shared_ptr<Wake> wake_;
    quint64 callsQueued_ = 0; // the worker's own count
};
