#include "download/DownloadRuns.h"

#include "download/Thread_loadf.h"

namespace vornic {

DownloadRuns::DownloadRuns(QObject* parent) : QObject(parent) {}

DownloadRuns::~DownloadRuns() {
    abandonAll();
}

bool DownloadRuns::isRunning() const {
    for (const QPointer<Thread_loadF>& worker : running_)
        if (worker && !worker->isFinished())
            return true;
    return false;
}

void DownloadRuns::start(Thread_loadF* worker) {
    running_.append(worker);
    // Queued to this thread: the worker's thread has left its run when the signal arrives.
    connect(
        worker, &QThread::finished, this, [this, worker] { forget(worker); }, Qt::QueuedConnection);
    worker->start();
}

void DownloadRuns::forget(QObject* worker) {
    running_.removeIf([worker](const QPointer<Thread_loadF>& entry) { return !entry || entry == worker; });
    if (!isRunning())
        Q_EMIT idle();
}

void DownloadRuns::abandonAll() {
    const QList<QPointer<Thread_loadF>> running = std::exchange(running_, {});
    for (const QPointer<Thread_loadF>& worker : running)
        if (worker)
            delete worker.data(); // abandons the run and waits for its thread
}

} // namespace vornic
