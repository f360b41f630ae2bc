#pragma once

#include <QString>

#include <optional>

namespace vornic {

class DataSet;
class Database;

// The directory's own statements on the program's transaction. None of them commits: the directory decides when
// its work becomes permanent.

// Whether an object with exactly this scanner number is stored, pending work of the transaction included; an
// object being changed passes its own key as except, so that keeping its number is no duplicate. The number
// travels as a parameter, so no text typed by the operator can change the statement.
bool scannerIsStored(Database& database, const QString& scanner, std::optional<int> except = std::nullopt);

// The key the database gave to the newest object with this scanner number, none when no object has it. A new
// object's key is assigned by the database; this is how the directory learns it right after storing the object.
std::optional<int> newestObjectWithScanner(Database& database, const QString& scanner);

// Deletes what is recorded for an object: its service journal, then its readings with their dial pictures. The
// object itself stays, for its list to delete.
void removeObjectRecords(Database& database, int objectId);

// Moves the list to the object with this key, reading on from the cursor as far as needed. Returns false, and
// leaves the list where it was, when the list does not hold it.
bool moveToObject(DataSet& list, int objectId);

} // namespace vornic
