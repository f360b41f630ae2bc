#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace vornic {

// A request to end the program from outside (SIGTERM at logout or shutdown, SIGINT, SIGHUP) becomes a call on
// the user-interface thread, so that the program closes as the operator would close it: settings written,
// pending work committed. Without this the database client library's own handlers take these signals: they
// drop the connection, with its uncommitted work, and leave the program running without it.
//
// Install it after the database is connected, since the client library installs its handlers then.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(std::function<void()> onRequest, QObject* parent = nullptr);
    ~TerminationSignals() override; // the previous handlers come back
    Q_DISABLE_COPY_MOVE(TerminationSignals)

private:
    std::function<void()> onRequest_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace vornic
