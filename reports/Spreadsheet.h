#pragma once

#include <QString>

#include <memory>

namespace vornic {

// The spreadsheet application that the reports fill their workbooks in, as the automation interface the report
// windows were written against presents it: an application with its workbooks, the worksheets of the active
// workbook, and cells addressed by row and column counted from 1. Every call can fail; a failed call throws
// Failure and changes nothing.
//
// This platform has no automation server, so the program brings its own application (XlsxSpreadsheet.h); the
// tests put a double that records the calls in its place (RecordingSpreadsheet.h).

class Worksheet;

// Cells(row, column) of a worksheet: one cell.
class CellRange final {
public:
    // Value: the cell's content, a text kept as text. An empty text empties the cell.
    void setValue(const QString& text);
    // ColumnWidth: the width of the cell's whole column, in the spreadsheet's character units.
    void setColumnWidth(int width);

private:
    friend class Worksheet;
    CellRange(Worksheet& sheet, int row, int column) : sheet_(sheet), row_(row), column_(column) {}

    Worksheet& sheet_;
    int row_;
    int column_;
};

class Worksheet {
public:
    virtual ~Worksheet() = default;

    static constexpr int kRows = 1048576;
    static constexpr int kColumns = 16384;

    // Fails for a cell outside the sheet.
    CellRange Cells(int row, int column);

protected:
    friend class CellRange;
    virtual void setValue(int row, int column, const QString& text) = 0;
    virtual void setColumnWidth(int row, int column, int width) = 0;
};

class Workbook {
public:
    virtual ~Workbook() = default;
    // Saves the workbook under the name; where a bare name lands is the application's business.
    virtual void SaveAs(const QString& name) = 0;
};

class Workbooks {
public:
    virtual ~Workbooks() = default;
    // A new workbook, which becomes the application's active one.
    virtual Workbook& add() = 0;
    // WorkBooks(index): the workbooks in the order they were added, counted from 1.
    virtual Workbook& item(int index) = 0;
    virtual int count() const = 0;
};

class SpreadsheetApplication {
public:
    virtual ~SpreadsheetApplication() = default;
    virtual Workbooks& WorkBooks() = 0;
    // WorkSheets(index): a worksheet of the active workbook, counted from 1.
    virtual Worksheet& WorkSheets(int index) = 0;
    // Visible: the operator sees the application and its workbooks.
    virtual void setVisible(bool visible) = 0;
};

// How the application is had. A running instance stays running after a report has let go of it, and the next
// report attaches to it and gets a new workbook there.
class SpreadsheetServer {
public:
    virtual ~SpreadsheetServer() = default;
    // The running instance; fails when none runs.
    virtual std::shared_ptr<SpreadsheetApplication> attach() = 0;
    // A new instance; fails when the application cannot be started.
    virtual std::shared_ptr<SpreadsheetApplication> start() = 0;
};

// The spreadsheet application in force: the program's own, unless a test has put another in its place.
SpreadsheetServer& spreadsheetServer();

// Puts a server in force for the object's lifetime and gives the previous one back afterwards.
class ScopedSpreadsheetServer final {
public:
    explicit ScopedSpreadsheetServer(SpreadsheetServer& server);
    ~ScopedSpreadsheetServer();
    ScopedSpreadsheetServer(const ScopedSpreadsheetServer&) = delete;
    ScopedSpreadsheetServer& operator=(const ScopedSpreadsheetServer&) = delete;

private:
    SpreadsheetServer* previous_;
};

} // namespace vornic
