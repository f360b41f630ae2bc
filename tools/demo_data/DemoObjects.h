#pragma once

#include <QString>

namespace vornic {

class Database;

// Fills LIST_OBJECTS with count made-up objects with Russian names and addresses: scanner ids from
// firstScanner on, every third object marked, statuses and power supplies varied. Committed at the end.
void addDemoObjects(Database& database, int count, int firstScanner = 860001);

} // namespace vornic
