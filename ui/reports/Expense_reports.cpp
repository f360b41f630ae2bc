#include "ui/reports/Expense_reports.h"

#include "base/Services.h"
#include "base/Settings.h"
#include "reports/ConsumptionReport.h"
#include "ui/common/ErrorReport.h"
#include "ui/reports/ReportSaving.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QShowEvent>
#include <QTableWidgetItem>

#include <utility>

using namespace vornic;

namespace {

// The result grid's columns, in pixels.
constexpr int kColumnWidths[] = {65, 195, 114, 138, 157, 148};

} // namespace

TForm13::TForm13(WindowContext& context, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      context_(context), objects_(context.database), readings_(context.database) {
    ui.setupUi(this);
    // The header is the grid's title row; below it the rows of the last Build and one empty row.
    ui.SG->setHorizontalHeaderLabels(consumptionTitles());
    ui.SG->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int c = 0; c < ui.SG->columnCount(); ++c)
        ui.SG->setColumnWidth(c, kColumnWidths[c]);
    setUpFormatChoice(*ui.ComboBox1);

    connect(ui.Button1, &QPushButton::clicked, this, &TForm13::Button1Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TForm13::Button2Click);
    connect(ui.Button3, &QPushButton::clicked, this, &QDialog::close);
}

void TForm13::FormActivate() {
    reportFailures([&] {
        // A first opening has no stored start yet: the picker then offers the first day of this month.
        ui.DateTimePicker1->loadDay(context_.settings(), settings::consumptionReportStart(), *context_.services.clock);
        ui.DateTimePicker2->setDay(context_.services.clock->today());
    });
}

void TForm13::FormClose() {
    reportFailures([&] { ui.DateTimePicker1->saveDay(context_.settings(), settings::consumptionReportStart()); });
}

void TForm13::clearResult() {
    ui.SG->clearContents();
    ui.SG->setRowCount(1);
}

void TForm13::appendResultRow(const QStringList& cells) {
    // The empty last row takes the object, and a new empty row follows it.
    const int row = ui.SG->rowCount() - 1;
    for (int c = 0; c < cells.size(); ++c)
        ui.SG->setItem(row, c, new QTableWidgetItem(cells.at(c)));
    ui.SG->setRowCount(row + 2);
}

QList<QStringList> TForm13::resultRows() const {
    QList<QStringList> rows;
    const int objects = ui.SG->rowCount() - 1;
    rows.reserve(objects);
    for (int r = 0; r < objects; ++r) {
        QStringList cells;
        for (int c = 0; c < ui.SG->columnCount(); ++c) {
            const QTableWidgetItem* item = ui.SG->item(r, c);
            cells.append(item ? item->text() : QString());
        }
        rows.append(cells);
    }
    return rows;
}

void TForm13::Button1Click() {
    clearResult();
    reportFailures([&] {
        const ConsumptionPeriod period{ui.DateTimePicker1->dateText(), ui.DateTimePicker2->dateText()};
        buildConsumptionReport(objects_, readings_, period,
                               [this](const QStringList& cells) { appendResultRow(cells); });
    });
}

void TForm13::Button2Click() {
    const std::optional<ReportFormat> format = chosenFormat(*ui.ComboBox1);
    if (!format)
        return;
    reportFailures([&] {
        // The files hold the grid as it stands and the period the pickers show now.
        const ConsumptionPeriod period{ui.DateTimePicker1->dateText(), ui.DateTimePicker2->dateText()};
        const QList<QStringList> rows = resultRows();
        ReportContent content;
        content.lines = [&] { return consumptionReportLines(period, rows); };
        content.elements = [&] { return consumptionReportElements(period, rows); };
        content.sheet = [&] { return consumptionReportSheet(period, rows); };
        saveReport(*format, context_.services, content);
    });
}
