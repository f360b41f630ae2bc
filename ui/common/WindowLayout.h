#pragma once

#include <QList>
#include <QString>

class QTableView;
class QWidget;

namespace vornic {

class IniFile;
struct IntegerSetting;

// A list's column as a window declares it: its field, its title, and the width it opens with before the operator
// has dragged it.
struct ListColumn {
    QString field;
    QString title;
    int designWidth;
};

// A list column whose width is kept in the settings under "DBGrid1_" + field.
struct LayoutColumn {
    QString field;   // the bound field's name, upper case as in the database
    int column;      // the column's index in the grid
    int designWidth; // the width the window is designed with
};

// The column widths and the size and state of a window with a list, kept in the window's own settings section.
// Restored each time the window is activated and saved when it closes.
class WindowLayout final {
public:
    WindowLayout(QString section, QWidget* window, QTableView* grid, QList<LayoutColumn> columns);

    void restore(const IniFile& settings) const;
    void save(IniFile& settings) const;

private:
    IntegerSetting columnWidth(const LayoutColumn& column) const;

    QString section_;
    QWidget* window_;
    QTableView* grid_;
    QList<LayoutColumn> columns_;
};

} // namespace vornic
