#include "ui/reports/ReportSaving.h"

#include <QComboBox>

using namespace Qt::StringLiterals;

namespace vornic {

void setUpFormatChoice(QComboBox& choice) {
    choice.clear();
    choice.addItems({u"TXT"_s, u"XML"_s, u"XLS"_s});
    choice.setEditable(true);
    choice.setInsertPolicy(QComboBox::NoInsert);
    choice.setCurrentIndex(0);
}

std::optional<ReportFormat> chosenFormat(const QComboBox& choice) {
    // The typed text decides, not the last item chosen: a box showing "XM" saves nothing.
    switch (choice.findText(choice.currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive)) {
    case 0:
        return ReportFormat::Text;
    case 1:
        return ReportFormat::Xml;
    case 2:
        return ReportFormat::Spreadsheet;
    default:
        return std::nullopt;
    }
}

} // namespace vornic
