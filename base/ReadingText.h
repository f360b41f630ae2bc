#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace vornic {

// Whether a text the operator gives as a meter reading is a number: the digits 0 to 9 with at most one decimal
// separator, a comma or a full stop (the recognition writes either), and at least one digit. Blanks and control
// characters around it are no part of it, as for every reader of readings. A sign is refused: a meter counts up
// from zero, so a reading is never negative, and "+" says nothing a reading needs. An empty text is no number;
// whether a window takes one is the window's rule.
bool isReadingNumber(QStringView text);

// What the operator is told when a reading is refused for not being a number.
QString readingNumberRule();

// A reading that can be read as a number: "12.5" and "12,5" alike, with blanks around it. Nothing for a text the
// recognition could not make a number of, or for an empty one.
std::optional<double> numericReading(QStringView text);

} // namespace vornic
