#pragma once

#include "reports/ReportSave.h"

#include <optional>

class QComboBox;

namespace vornic {

// The format choice of a report window: the items "TXT", "XML" and "XLS", the first one chosen; the operator may
// also type a text, which is not added to the items.
void setUpFormatChoice(QComboBox& choice);

// The form the choice names, or nothing when its text is none of the three items: Save then does nothing.
std::optional<ReportFormat> chosenFormat(const QComboBox& choice);

} // namespace vornic
