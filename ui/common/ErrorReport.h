#pragma once

#include "base/Failure.h"
#include "base/Services.h"
#include "db/DatabaseError.h"
#include "db/DatabaseReason.h"

#include <QString>

#include <exception>
#include <utility>

namespace vornic {

// Set once the operator has been told that the connection to the database server is lost. Every later statement
// fails the same way, and the program is ending: nothing more is shown, so that no cascade of boxes follows.
inline bool connectionLostReported = false;

// A lost server connection ends the program: the session cannot be resumed, and the operator is told once.
inline void reportLostConnection(const DatabaseError& error) {
    if (std::exchange(connectionLostReported, true))
        return;
    services().messages->reportError(error.text() + QStringLiteral("\n\nПрограмма будет закрыта."));
    services().process->exitProcess(1);
}

// Shows a failure that ended an operation: the general error report's box, and for a lost server connection
// the end of the program.
inline void reportFailure(const Failure& failure) {
    const auto* error = dynamic_cast<const DatabaseError*>(&failure);
    if (error && tellsOfLostConnection(error->reason()))
        reportLostConnection(*error);
    else if (!connectionLostReported)
        services().messages->reportError(failure.text());
}

// The general error report: a failure that the operation in hand does not catch ends that operation and is
// shown with its own text; the window stays open and the program goes on, unless the database server is lost.
// Every event handler runs its work through this, so that no failure unwinds through the toolkit.
template <class Work> bool reportFailures(Work&& work) {
    try {
        work();
        return true;
    } catch (const Failure& failure) {
        reportFailure(failure);
    } catch (const std::exception& error) {
        if (!connectionLostReported)
            services().messages->reportError(QString::fromLocal8Bit(error.what()));
    }
    return false;
}

} // namespace vornic
