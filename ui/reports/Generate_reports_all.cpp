#include "ui/reports/Generate_reports_all.h"

#include "base/Services.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "reports/PeriodReport.h"
#include "reports/ReportSave.h"
#include "ui/common/DataSetModel.h"
#include "ui/common/DbGrid.h"
#include "ui/common/ErrorReport.h"
#include "ui/reports/ReportSaving.h"

#include <QShowEvent>

#include <algorithm>
#include <optional>
#include <utility>

using namespace vornic;

namespace {

// Rows read, or made into the file, between two turns of the event loop.
constexpr int kRowsAStep = 2000;

// The scope that the choice's text names; a typed text that is neither item names none, and Build then does
// nothing.
std::optional<PeriodScope> chosenScope(const QComboBox& choice) {
    switch (choice.findText(choice.currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive)) {
    case 0:
        return PeriodScope::AllSubscribers;
    case 1:
        return PeriodScope::MarkedGroup;
    default:
        return std::nullopt;
    }
}

// A typed text stays as typed: an inline completion would turn "январь" into a month the operator did not
// write, and Enter would add it to the items.
void keepTypedText(QComboBox& choice) {
    choice.setCompleter(nullptr);
    choice.setInsertPolicy(QComboBox::NoInsert);
}

} // namespace

TForm7::TForm7(WindowContext& context, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      context_(context), dataSet_(context.database), work_(this, QStringLiteral("Сохранение отчёта")) {
    ui.setupUi(this);
    setFixedSize(size());
    keepTypedText(*ui.ComboBox2);
    keepTypedText(*ui.ComboBox3);
    ui.ComboBox2->setCurrentIndex(0);
    setUpFormatChoice(*ui.ComboBox1);
    ui.DBGrid1->bind(dataSet_, {
                                   {ObjectsTable::kId, QStringLiteral("ID абонента"), true, 103},
                                   {ObjectsTable::kFio, QStringLiteral("ФИО абонента"), true, 131},
                                   {ObjectsTable::kScanner, QStringLiteral("ID сканера"), true, 76},
                                   {ReadingsTable::kDate, QStringLiteral("Дата"), true, 77},
                                   {ReadingsTable::kReadings, QStringLiteral("Показания"), true, 115},
                               });
    connect(ui.Button1, &QPushButton::clicked, this, &TForm7::Button1Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TForm7::Button2Click);
    connect(ui.Button3, &QPushButton::clicked, this, &QDialog::close);
}

void TForm7::FormActivate() {
    reportFailures([&] {
        FillMonthList();
        ui.ComboBox3->setCurrentIndex(0);
        dataSet_.close();
    });
}

void TForm7::FillMonthList() {
    ui.ComboBox3->clear();
    ui.ComboBox3->addItems(vornic::FillMonthList(context_.services.clock->today()));
}

void TForm7::Button1Click() {
    if (work_.isRunning())
        return;
    reportFailures([&] {
        const std::optional<PeriodScope> scope = chosenScope(*ui.ComboBox2);
        if (!scope)
            return;
        dataSet_.close();
        // A month text that names no month ends the Build here, with the list left empty.
        const ReportMonth month = reportMonth(ui.ComboBox3->currentText(), context_.services.clock->today());
        dataSet_.setSelectSql(periodReportSelect(*scope, month));
        dataSet_.open();
    });
}

void TForm7::Button2Click() {
    if (work_.isRunning())
        return;
    reportFailures([&] {
        // Before any Build the result is closed, and this is where the Save action is refused.
        dataSet_.first();
        const std::optional<ReportFormat> format = chosenFormat(*ui.ComboBox1);
        if (!format)
            return;
        // A month's readings of every object are a few hundred thousand rows: they are read and written a slice
        // at a time, with the event loop turning between the slices.
        std::optional<ReportSaveSteps> save;
        const WorkEnd end = work_.run([&] {
            if (dataSet_.canFetchMore()) {
                dataSet_.fetchMore(kRowsAStep);
                work_.setProgress(dataSet_.rowCount());
                return true;
            }
            if (!save)
                save.emplace(*format, context_.services, slicedContent());
            const bool more = save->step();
            work_.setProgress(save->done(), save->total());
            return more;
        });
        if (end == WorkEnd::Finished)
            save->finish();
        dataSet_.first();
    });
}

SlicedReportContent TForm7::slicedContent() {
    // The rows from the current one on, as the writers have always read them.
    const int first = std::max(dataSet_.currentRow(), 0);
    const int rows = dataSet_.rowCount() - first;
    const auto slice = [this, first](qsizetype index) {
        return periodReportRows(dataSet_, first + static_cast<int>(index) * kRowsAStep, kRowsAStep);
    };
    SlicedReportContent content;
    content.slices = std::max<qsizetype>(1, (rows + kRowsAStep - 1) / kRowsAStep);
    content.lines = [slice](qsizetype index) { return periodReportLines(slice(index)); };
    content.elements = [slice](qsizetype index) { return periodReportElements(slice(index)); };
    content.sheet = [slice](qsizetype index) {
        SpreadsheetReport part = index == 0 ? periodReportSheetHead() : SpreadsheetReport{};
        part.cells += periodReportSheetCells(slice(index), 2 + static_cast<int>(index) * kRowsAStep);
        return part;
    };
    return content;
}
