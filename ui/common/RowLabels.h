#pragma once

#include <QString>

namespace vornic {

class DataSet;

// How a refused change names its row to the operator: the object, the reading or the journal entry in the words the
// windows show them with.
QString objectRowLabel(const DataSet& objects, int row);
QString readingRowLabel(const DataSet& readings, int row);
QString journalRowLabel(const DataSet& journal, int row);

} // namespace vornic
