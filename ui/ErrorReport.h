#pragma once

#include "base/Failure.h"
#include "base/Services.h"

#include <QString>

#include <exception>

namespace vornic {

// The general error report: a failure that the operation in hand does not catch ends that operation and is
// shown with its own text; the window stays open and the program goes on. Every event handler runs its work
// through this, so that no failure unwinds through the toolkit.
template <class Work> bool reportFailures(Work&& work) {
    try {
        work();
        return true;
    } catch (const Failure& failure) {
        services().messages->reportError(failure.text());
    } catch (const std::exception& error) {
        services().messages->reportError(QString::fromLocal8Bit(error.what()));
    }
    return false;
}

} // namespace vornic
