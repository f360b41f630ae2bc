#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class Thread_loadF;

namespace vornic {

// The download runs of the program. Only one run goes at a time: two runs would look up and insert the same
// readings. A run asked to start while another is still ending waits for it.
//
// Owned by start-up, beside the connection, and destroyed before it: a run still going at the program's end is
// abandoned (its transfer given up, nothing more written) and waited for, so the connection closes last.
class DownloadRuns final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadRuns)

public:
    explicit DownloadRuns(QObject* parent = nullptr);
    ~DownloadRuns() override;

    bool isRunning() const;
    // Starts a worker that was made suspended. The caller makes sure no run is going (see isRunning and idle).
    void start(Thread_loadF* worker);
    // The program is ending: every run gives up and is waited for.
    void abandonAll();

Q_SIGNALS:
    // The last run has ended: its worker has stopped using the connection.
    void idle();

private:
    void forget(QObject* worker);

    QList<QPointer<Thread_loadF>> running_;
};

} // namespace vornic
