#pragma once

#include <QString>
#include <QStringList>

namespace vornic {

// The statements of a schema script: separated by the current terminator (";" until a "SET TERM"), with
// comments and blank statements left out.
QStringList splitSchemaScript(const QString& script);

// The delivered schema of the local database.
QString deliveredSchemaScript();

// Makes a new database file at path (its folder is made when missing) with the program's account
// (databaseAccount()), dialect 3 and no default character set, and runs the script in it, each statement committed
// on its own. Given a server's "host:path", the server makes the file; its folder must exist there. Throws
// DatabaseError, or Failure when the file exists already.
void makeDatabase(const QString& path, const QString& script = deliveredSchemaScript());

// Sets whether the database writes each page through to the disk before it goes on (on for a delivered database).
// A fill of hundreds of thousands of rows runs many times faster with it off; it is set on again afterwards, so
// that what is measured or tried on the database behaves as at an office. Throws DatabaseError.
void setForcedWrites(const QString& path, bool on);

} // namespace vornic
