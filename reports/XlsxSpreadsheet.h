#pragma once

#include "reports/Spreadsheet.h"

#include <QString>

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace vornic {

struct Services;
class XlsxApplication;

// The program's own spreadsheet application: its workbooks live in memory, and SaveAs writes one as a real
// .xlsx workbook, which the desktop's spreadsheet program then opens for the operator.

class XlsxWorksheet final : public Worksheet {
public:
    // The texts by (row, column) and the widths set by column, as the workbook file will hold them.
    const std::map<std::pair<int, int>, QString>& values() const { return values_; }
    const std::map<int, int>& columnWidths() const { return widths_; }

    // Once its workbook is saved, the sheet lives on in the file: the application is kept for the whole run, and a
    // month of readings is a million cells. Writing to a sheet let go fails.
    void letGo();
    bool isLetGo() const { return letGo_; }

protected:
    void setValue(int row, int column, const QString& text) override;
    void setColumnWidth(int row, int column, int width) override;

private:
    std::map<std::pair<int, int>, QString> values_;
    std::map<int, int> widths_;
    bool letGo_ = false;
};

class XlsxWorkbook final : public Workbook {
public:
    explicit XlsxWorkbook(XlsxApplication& application) : application_(application) {}

    // A bare name is saved in the operator's documents folder (made when missing) as the name plus ".xlsx";
    // when that folder cannot take it, in the temporary folder. A file of that name already there is neither
    // replaced nor taken for this one: the next free name is used ("MyTest (2).xlsx"). A workbook that cannot be
    // written anywhere is told to the operator, and the call fails.
    void SaveAs(const QString& name) override;

    XlsxWorksheet& sheet() { return sheet_; }
    // The file it was last saved to; empty while unsaved.
    const QString& savedPath() const { return savedPath_; }

private:
    friend class XlsxApplication;
    XlsxApplication& application_;
    XlsxWorksheet sheet_;
    QString savedPath_;
    bool shown_ = false;
};

class XlsxApplication final : public SpreadsheetApplication, private Workbooks {
public:
    explicit XlsxApplication(Services& services) : services_(services) {}

    Workbooks& WorkBooks() override { return *this; }
    Worksheet& WorkSheets(int index) override;
    // Visible: every saved workbook is opened on the desktop, now and as each one is saved.
    void setVisible(bool visible) override;

    bool isVisible() const { return visible_; }
    XlsxWorkbook& workbook(int index); // counted from 1, as WorkBooks(index)
    int count() const override { return static_cast<int>(workbooks_.size()); }

private:
    friend class XlsxWorkbook;
    Workbook& add() override;
    Workbook& item(int index) override { return workbook(index); }

    void show(XlsxWorkbook& workbook);
    void tell(const QString& text);

    Services& services_;
    std::vector<std::unique_ptr<XlsxWorkbook>> workbooks_;
    XlsxWorkbook* active_ = nullptr;
    bool visible_ = false;
};

// Starts at most one application and keeps it for the run, so that every report after the first attaches to it.
class XlsxSpreadsheetServer final : public SpreadsheetServer {
public:
    // The services are read at each call, so that those in force at the time show the messages and open files.
    explicit XlsxSpreadsheetServer(Services& services) : services_(services) {}

    std::shared_ptr<SpreadsheetApplication> attach() override;
    std::shared_ptr<SpreadsheetApplication> start() override;

    // The running instance, or null.
    const std::shared_ptr<XlsxApplication>& instance() const { return instance_; }

private:
    Services& services_;
    std::shared_ptr<XlsxApplication> instance_;
};

} // namespace vornic
