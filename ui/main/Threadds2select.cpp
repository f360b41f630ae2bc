#include "ui/main/Threadds2select.h"

#include <QMetaObject>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// What a queued call and the waiting worker share; it outlives whichever side finishes last.
struct PendingCall {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

constexpr int kStopCheckMs = 10;

} // namespace

ThreadDS2Select::ThreadDS2Select(QObject* uiContext, Calls calls, int periodMs)
    : uiContext_(uiContext), calls_(std::move(calls)), periodMs_(periodMs) {}

ThreadDS2Select::~ThreadDS2Select() {
    stop();
}

void ThreadDS2Select::resume() {
    if (!isRunning() && !isInterruptionRequested())
        start();
}

void ThreadDS2Select::stop() {
    requestInterruption();
    wait();
}

bool ThreadDS2Select::onUiThread(std::function<void()> work) {
    auto call = std::make_shared<PendingCall>();
    QObject* context = uiContext_.data();
    if (!context)
        return false;
    QMetaObject::invokeMethod(
        context,
        [call, work = std::move(work)] {
            work();
            std::lock_guard lock(call->mutex);
            call->finished = true;
            call->done.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(call->mutex);
    while (!call->finished) {
        if (isInterruptionRequested())
            return false;
        call->done.wait_for(lock, std::chrono::milliseconds(kStopCheckMs));
    }
    return true;
}

bool ThreadDS2Select::pause() {
    for (int waited = 0; waited < periodMs_; waited += kStopCheckMs) {
        if (isInterruptionRequested())
            return false;
        msleep(static_cast<unsigned long>(std::min(kStopCheckMs, periodMs_ - waited)));
    }
    return !isInterruptionRequested();
}

void ThreadDS2Select::run() {
    // The results live on the heap: a call given up at a stop may still run later on the other thread.
    const auto before = std::make_shared<std::optional<QString>>();
    const auto after = std::make_shared<std::optional<QString>>();
    const auto readScanner = calls_.readScanner;
    while (!isInterruptionRequested()) {
        if (!onUiThread([before, readScanner] { *before = readScanner(); }) || !pause() ||
            !onUiThread([after, readScanner] { *after = readScanner(); }))
            return;
        const bool stayed = *before && *after && (*before)->trimmed() == (*after)->trimmed();
        if (!onUiThread(stayed ? calls_.openReadings : calls_.closeReadings))
            return;
    }
}
