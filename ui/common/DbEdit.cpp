#include "ui/common/DbEdit.h"

#include "db/DataSet.h"
#include "ui/common/DataSetModel.h"
#include "ui/common/ErrorReport.h"

#include <QLineEdit>

namespace vornic {

DbEdit::DbEdit(QLineEdit* edit, DataSet& dataSet, QString field, QObject* parent)
    : QObject(parent), edit_(edit), dataSet_(dataSet), field_(std::move(field)) {
    for (auto signal : {&DataSet::opened, &DataSet::closed, &DataSet::positioned})
        connect(&dataSet_, signal, this, &DbEdit::refresh);
    connect(&dataSet_, &DataSet::rowChanged, this, [this](int row) {
        if (row == dataSet_.currentRow())
            refresh();
    });
    connect(&dataSet_, &DataSet::rowRemoved, this, &DbEdit::refresh);
    // Only the operator's typing edits the row; text set by refresh() does not.
    connect(edit_, &QLineEdit::textEdited, this, &DbEdit::typed);
    refresh();
}

void DbEdit::refresh() {
    const int column = dataSet_.isOpen() ? dataSet_.fieldIndex(field_) : -1;
    const int row = dataSet_.currentRow();
    const QString text = column >= 0 && row >= 0 ? displayText(dataSet_.value(row, column)) : QString();
    if (edit_->text() != text) {
        const int cursor = edit_->cursorPosition();
        edit_->setText(text);
        edit_->setCursorPosition(std::min<int>(cursor, static_cast<int>(text.size())));
    }
}

void DbEdit::typed(const QString& text) {
    reportFailures([&] {
        const int column = dataSet_.isOpen() ? dataSet_.fieldIndex(field_) : -1;
        if (column < 0 || dataSet_.currentRow() < 0)
            return;
        dataSet_.edit();
        dataSet_.setValue(column, text);
    });
}

} // namespace vornic
