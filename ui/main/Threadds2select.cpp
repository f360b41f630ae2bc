#include "ui/main/Threadds2select.h"

#include <QMetaObject>

#include <chrono>
#include <condition_variable>
#include <mutex>

// What wakes the worker: a move, a stop, or the end of a call it queued on the user-interface thread.
struct ThreadDS2Select::Wake {
    std::mutex mutex;
    std::condition_variable changed;
    bool moved = false;
    bool looking = false; // between taking a move and acting on it
    bool stopping = false;
    quint64 callsFinished = 0; // calls finish in the order queued: one number tells which have
};

ThreadDS2Select::ThreadDS2Select(QObject* uiContext, Calls calls, int periodMs)
    : uiContext_(uiContext), calls_(std::move(calls)), periodMs_(periodMs), wake_(std::make_shared<Wake>()) {}

ThreadDS2Select::~ThreadDS2Select() {
    stop();
}

void ThreadDS2Select::resume() {
    {
        std::lock_guard lock(wake_->mutex);
        if (wake_->stopping)
            return;
        wake_->moved = true;
    }
    wake_->changed.notify_all();
    if (!isRunning())
        start();
}

void ThreadDS2Select::stop() {
    {
        std::lock_guard lock(wake_->mutex);
        wake_->stopping = true;
    }
    wake_->changed.notify_all();
    wait();
}

bool ThreadDS2Select::idle() const {
    std::lock_guard lock(wake_->mutex);
    return !wake_->moved && !wake_->looking;
}

bool ThreadDS2Select::onUiThread(std::function<void()> work) {
    QObject* context = uiContext_.data();
    if (!context)
        return false;
    const quint64 ticket = ++callsQueued_;
    QMetaObject::invokeMethod(
        context,
        [wake = wake_, ticket, work = std::move(work)] {
            work();
            {
                std::lock_guard lock(wake->mutex);
                wake->callsFinished = ticket;
            }
            wake->changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(wake_->mutex);
    wake_->changed.wait(lock, [this, ticket] { return wake_->stopping || wake_->callsFinished >= ticket; });
    return !wake_->stopping;
}

bool ThreadDS2Select::waitForMove() {
    std::unique_lock lock(wake_->mutex);
    wake_->looking = false;
    wake_->changed.wait(lock, [this] { return wake_->stopping || wake_->moved; });
    wake_->moved = false;
    wake_->looking = true;
    return !wake_->stopping;
}

bool ThreadDS2Select::pause() {
    // A move meanwhile does not cut the period short: the look after it compares, and the move makes one more.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(periodMs_);
    std::unique_lock lock(wake_->mutex);
    wake_->changed.wait_until(lock, deadline, [this] { return wake_->stopping; });
    return !wake_->stopping;
}

void ThreadDS2Select::run() {
    // The results live on the heap: a call given up at a stop may still run later on the other thread.
    const auto before = std::make_shared<std::optional<QString>>();
    const auto after = std::make_shared<std::optional<QString>>();
    const auto readScanner = calls_.readScanner;
    while (waitForMove()) {
        if (!onUiThread([before, readScanner] { *before = readScanner(); }) || !pause() ||
            !onUiThread([after, readScanner] { *after = readScanner(); }))
            return;
        const bool stayed = *before && *after && (*before)->trimmed() == (*after)->trimmed();
        if (!onUiThread(stayed ? calls_.openReadings : calls_.closeReadings))
            return;
    }
}
