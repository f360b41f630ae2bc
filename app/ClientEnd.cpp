#include "app/ClientEnd.h"

#include <QCoreApplication>

namespace vornic {

ClientEnd::ClientEnd() : previous_(services().process) {
    services().process = this;
}

ClientEnd::~ClientEnd() {
    services().process = previous_;
}

void ClientEnd::exitProcess(int code) {
    if (!requested_) {
        requested_ = true;
        code_ = code;
    }
    // Closing the main window writes its settings; a window closing already is not closed again.
    if (mainWindow_ && mainWindow_->isVisible())
        mainWindow_->close();
    // Not quit(): it asks every shown window to close first, and a window that refuses (the update window has no
    // close) would cancel the end.
    QCoreApplication::exit(code_);
}

} // namespace vornic
