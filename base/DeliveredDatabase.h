#pragma once

#include <QString>

namespace vornic {

// Where the package puts the empty database it delivers, beside its schema script: <prefix>/share/vornic-client/
// for a program in <prefix>/bin/. The build folder is laid out the same way, so a client started from it finds
// the database made by the build.
QString deliveredDatabaseFileFor(const QString& programFolder);

// The same for this process.
QString deliveredDatabaseFile();

// What an installer would have done on a workstation: when the database to open is the data folder's own and the
// folder has none yet, the delivered one is copied there. Nothing is done when "BD_path" names a database (a
// missing one is the operator's to mend, and the connection message says so), when the data folder holds a
// database already, or when no delivered database is found. The copy appears under its name only once complete,
// so a start cut short never leaves a half file that a later start would take for a database.
//
// True when a copy was made. Throws Failure, with the reason, when it could not be.
bool provideDeliveredDatabase(const QString& dataFolder, const QString& deliveredFile);

} // namespace vornic
