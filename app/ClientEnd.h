#pragma once

#include "base/Services.h"

#include <QPointer>
#include <QWidget>

namespace vornic {

// The one way the program ends, whoever asks: the operator closing the main window or choosing "Выход", a request
// from outside (SIGTERM at logout), the update that has been opened, a lost server connection. The main window
// closes, writing its settings, and the event loop is left, nested ones included, with the exit code; start-up
// then lets the windows go and the session end: download runs and the update check abandoned and waited for, the
// commit, the connection closed. No window that stays shown, such as the update window, keeps the program up.
//
// While it lives it is the process end of the services in force, so that every window asks it for the end.
class ClientEnd final : public ProcessControl {
public:
    ClientEnd();
    ~ClientEnd() override; // the previous process end comes back
    Q_DISABLE_COPY_MOVE(ClientEnd)

    // The window whose closing ends the program; it is closed when the end is asked for otherwise.
    void setMainWindow(QWidget* window) { mainWindow_ = window; }

    // Asks for the end and returns; the first code asked for is the process's. Asked before the event loop runs,
    // the loop is not entered at all (requested()).
    void exitProcess(int code) override;

    bool requested() const { return requested_; }
    int code() const { return code_; }

private:
    ProcessControl* previous_;
    QPointer<QWidget> mainWindow_;
    bool requested_ = false;
    int code_ = 0;
};

} // namespace vornic
