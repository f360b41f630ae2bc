#pragma once

#include <QString>

namespace vornic {

// A scanner can send several readings stamped with the same second, and ordering by DAT alone leaves them in no
// defined order: one list would then take one of them as the newest and another list another. Every statement
// that orders readings by time appends one of these after its DAT, so that among equal times the reading with
// the greater picture number (ID_IMAG) is the newer one everywhere: in the lists, the reports and the chart.
// The engine puts NULL first when ascending and last when descending, so a reading without a picture number is
// the oldest of its second either way.
inline const QString kEqualTimesNewestFirst = QStringLiteral(", ID_IMAG DESC");
inline const QString kEqualTimesOldestFirst = QStringLiteral(", ID_IMAG");

} // namespace vornic
