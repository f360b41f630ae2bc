#include "reports/Spreadsheet.h"

#include "base/Failure.h"
#include "base/Services.h"
#include "reports/XlsxSpreadsheet.h"

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

SpreadsheetServer*& serverInForce() {
    static XlsxSpreadsheetServer own(services());
    static SpreadsheetServer* current = &own;
    return current;
}

} // namespace

void CellRange::setValue(const QString& text) {
    sheet_.setValue(row_, column_, text);
}

void CellRange::setColumnWidth(int width) {
    sheet_.setColumnWidth(row_, column_, width);
}

CellRange Worksheet::Cells(int row, int column) {
    if (row < 1 || row > kRows || column < 1 || column > kColumns)
        throw Failure(u"На листе Microsoft Excel нет ячейки (%1, %2)."_s.arg(row).arg(column));
    return CellRange(*this, row, column);
}

SpreadsheetServer& spreadsheetServer() {
    return *serverInForce();
}

ScopedSpreadsheetServer::ScopedSpreadsheetServer(SpreadsheetServer& server) : previous_(serverInForce()) {
    serverInForce() = &server;
}

ScopedSpreadsheetServer::~ScopedSpreadsheetServer() {
    serverInForce() = previous_;
}

} // namespace vornic
