#pragma once

#include <QString>
#include <QStringView>

namespace vornic {

// A text without its leading and trailing blanks and control characters, i.e. every character up to and
// including the blank: database texts are fixed-width and carry padding, and a value typed into the directory
// may carry a tab or a line break that a report must not print.
QString trimmed(QStringView text);

} // namespace vornic
