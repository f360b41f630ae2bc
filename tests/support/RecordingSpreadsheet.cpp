#include "support/RecordingSpreadsheet.h"

#include "base/Failure.h"

#include <vector>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

class RecordingWorksheet final : public Worksheet {
public:
    explicit RecordingWorksheet(RecordingSpreadsheetServer& server) : server_(server) {}

protected:
    void setValue(int row, int column, const QString& text) override {
        server_.call(u"Cells(%1,%2).Value=%3"_s.arg(row).arg(column).arg(text));
    }
    void setColumnWidth(int row, int column, int width) override {
        server_.call(u"Cells(%1,%2).ColumnWidth=%3"_s.arg(row).arg(column).arg(width));
    }

private:
    RecordingSpreadsheetServer& server_;
};

class RecordingWorkbook final : public Workbook {
public:
    RecordingWorkbook(RecordingSpreadsheetServer& server, int index) : sheet(server), server_(server), index_(index) {}

    void SaveAs(const QString& name) override { server_.call(u"WorkBooks(%1).SaveAs(%2)"_s.arg(index_).arg(name)); }

    RecordingWorksheet sheet;

private:
    RecordingSpreadsheetServer& server_;
    int index_;
};

class RecordingApplication final : public SpreadsheetApplication, private Workbooks {
public:
    RecordingApplication(RecordingSpreadsheetServer& server, int openWorkbooks) : server_(server) {
        for (int i = 0; i < openWorkbooks; ++i)
            append();
    }

    Workbooks& WorkBooks() override { return *this; }

    Worksheet& WorkSheets(int index) override {
        server_.call(u"WorkSheets(%1)"_s.arg(index));
        if (!active_ || index != 1)
            throw Failure(u"Нет листа %1."_s.arg(index));
        return active_->sheet;
    }

    void setVisible(bool visible) override { server_.call(visible ? u"Visible=true"_s : u"Visible=false"_s); }

private:
    Workbook& add() override {
        server_.call(u"WorkBooks.add"_s);
        return append();
    }

    Workbook& item(int index) override {
        server_.call(u"WorkBooks(%1)"_s.arg(index));
        if (index < 1 || index > count())
            throw Failure(u"Нет книги %1."_s.arg(index));
        return *workbooks_[static_cast<size_t>(index - 1)];
    }

    int count() const override { return static_cast<int>(workbooks_.size()); }

    RecordingWorkbook& append() {
        workbooks_.push_back(std::make_unique<RecordingWorkbook>(server_, count() + 1));
        active_ = workbooks_.back().get();
        return *active_;
    }

    RecordingSpreadsheetServer& server_;
    std::vector<std::unique_ptr<RecordingWorkbook>> workbooks_;
    RecordingWorkbook* active_ = nullptr;
};

} // namespace

void RecordingSpreadsheetServer::call(const QString& text) {
    calls.append(text);
    if (refused.contains(text))
        throw Failure(u"Отказано: %1"_s.arg(text));
}

std::shared_ptr<SpreadsheetApplication> RecordingSpreadsheetServer::attach() {
    call(u"attach"_s);
    if (!instance)
        throw Failure(u"Приложение не запущено."_s);
    return instance;
}

std::shared_ptr<SpreadsheetApplication> RecordingSpreadsheetServer::start() {
    call(u"start"_s);
    run();
    return instance;
}

void RecordingSpreadsheetServer::run(int openWorkbooks) {
    instance = std::make_shared<RecordingApplication>(*this, openWorkbooks);
}

} // namespace vornic
