#pragma once

#include <QString>

namespace vornic {

class Database;

// An installation's database may be older than the program. A schema description "compare_bd.xml" placed in
// the data folder lists the columns the tables must have; each missing one is added at its listed position and
// committed, and the description is then deleted. Without the file nothing happens.
//
// A failure (a description that is no well-formed XML, a probe or a change the database refuses) is thrown and
// the file stays, so the next start runs the upgrade again; columns committed before the failure are then found
// present and not added twice.
void upgradeSchema(Database& database, const QString& dataFolder);

} // namespace vornic
