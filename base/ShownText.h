#pragma once

#include <QString>

namespace vornic {

// A text from outside as a message or a log line shows it: a long one is cut after 80 characters, never between
// the two halves of a character, and marked with an ellipsis, so that one value cannot flood what the operator reads.
QString shownText(const QString& text);

} // namespace vornic
