#pragma once

#include <QObject>
#include <QString>

class QLineEdit;

namespace vornic {

class DataSet;

// A one-line text field bound to a field of a data set's current row. It shows the field as text and follows
// every move, change, opening and closing of the data set; typing into it opens the row for editing and sets
// the field, as a bound field does, so that the row's own post or cancel decides what is kept.
class DbEdit final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DbEdit)

public:
    DbEdit(QLineEdit* edit, DataSet& dataSet, QString field, QObject* parent = nullptr);

    // Shows the current row's value again (an empty text without a current row).
    void refresh();
    QLineEdit* edit() const { return edit_; }

private:
    void typed(const QString& text);

    QLineEdit* edit_;
    DataSet& dataSet_;
    QString field_;
};

} // namespace vornic
