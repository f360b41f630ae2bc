#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace vornic {

// The embedded database engine keeps its lock files in a folder it is given in FIREBIRD_LOCK; by default it is one
// folder for the whole computer, made by the first account that opens a database and closed to the others, so
// that every other account is refused until the folder is cleared. Each account gets a folder of its own instead:
// the one the environment names; otherwise "firebird" in the login session's runtime folder (XDG_RUNTIME_DIR);
// without one, "lock" in the data folder. The folder is the same for every program of the account, so two copies
// of the client on one database still see each other.
QString engineLockFolderFor(const QProcessEnvironment& environment, const QString& dataFolder);

// Puts that choice in FIREBIRD_LOCK and makes the folder, open to this account alone. The engine reads the
// variable once, when it starts: call this before the first database call of the process. Returns the folder, or
// an empty text when it could not be made (the engine's default stays).
QString settleEngineLockFolder(const QString& dataFolder);

} // namespace vornic
