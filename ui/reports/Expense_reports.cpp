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

#include <optional>
#include <utility>

using namespace vornic;

namespace {

// The result grid's columns, in pixels.
constexpr int kColumnWidths[] = {65, 195, 114, 138, 157, 148};

} // namespace

TForm13::TForm13(WindowContext& context, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      context_(context), objects_(context.database), work_(this, QStringLiteral("Формирование отчёта")) {
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

void TForm13::showResult(const QList<QStringList>& rows) {
    // The header is the grid's title row; below it the rows and one empty row.
    ui.SG->clearContents();
    ui.SG->setRowCount(static_cast<int>(rows.size()) + 1);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows.at(r).size(); ++c)
            ui.SG->setItem(r, c, new QTableWidgetItem(rows.at(r).at(c)));
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
    if (work_.isRunning())
        return;
    reportFailures([&] {
        const ConsumptionPeriod period{ui.DateTimePicker1->dateText(), ui.DateTimePicker2->dateText()};
        ConsumptionReportBuild build(objects_, context_.database, period);
        // The objects' statement finds each object's newest reading of the period before it gives its first row:
        // on a year of readings with their pictures, where those lie far apart on the disk, that alone can take a
        // second or more.
        build.selectObjects();
        if (work_.openAside(build.objects()) == WorkEnd::Interrupted)
            return;
        QList<QStringList> rows;
        bool started = false;
        WorkEnd end = WorkEnd::Interrupted;
        try {
            end = work_.run([&] {
                if (!std::exchange(started, true)) {
                    build.start();
                } else if (std::optional<QStringList> row = build.next()) {
                    rows.append(std::move(*row));
                } else {
                    return false;
                }
                work_.setProgress(build.done(), build.total());
                return true;
            });
        } catch (...) {
            // A statement refused halfway leaves the rows made before it.
            showResult(rows);
            throw;
        }
        // An interrupted Build leaves the grid as it was.
        if (end == WorkEnd::Finished)
            showResult(rows);
    });
}

void TForm13::Button2Click() {
    if (work_.isRunning())
        return;
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
