#include "ui/objects/Scanner_maintenance.h"

#include "base/Services.h"
#include "db/Database.h"
#include "reports/ReportSave.h"
#include "ui/common/ErrorReport.h"
#include "ui/reports/ReportSaving.h"

#include <QCloseEvent>
#include <QHeaderView>

#include <exception>
#include <utility>

using namespace vornic;

namespace {

// Tints by verdict, pale enough that the grey of the selected row still stands out.
QColor tint(MaintenanceVerdict verdict) {
    switch (verdict) {
    case MaintenanceVerdict::NoConnection:
    case MaintenanceVerdict::NoReadings:
        return QColor(0xF8, 0xD7, 0xD3);
    case MaintenanceVerdict::ReplaceBattery:
        return QColor(0xFB, 0xEE, 0xC1);
    case MaintenanceVerdict::WeakSignal:
        return QColor(0xDD, 0xEB, 0xF7);
    case MaintenanceVerdict::None:
        break;
    }
    return {};
}

// The columns of figures, aligned on the right.
constexpr int kFirstFigure = 3;
constexpr int kLastFigure = 7;

} // namespace

TForm16::TForm16(WindowContext& context, QWidget* parent)
    : OpeningDialog(parent), context_(context), work_(this, QStringLiteral("Составление списка обслуживания")) {
    ui.setupUi(this);
    model_.setHorizontalHeaderLabels(maintenanceTitles());
    ui.StringGrid1->setModel(&model_);
    ui.StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui.StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    ui.StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.StringGrid1->verticalHeader()->hide();
    ui.StringGrid1->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ui.StringGrid1->horizontalHeader()->setStretchLastSection(true);
    setUpFormatChoice(*ui.ComboBox1);

    connect(ui.Button1, &QPushButton::clicked, this, &TForm16::Button1Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TForm16::Button2Click);
    connect(ui.Button4, &QPushButton::clicked, this, &QDialog::close);
}

void TForm16::FormActivate() {
    reportFailures([&] { makeList(); });
}

void TForm16::Button1Click() {
    reportFailures([&] { makeList(); });
}

void TForm16::makeList() {
    if (work_.isRunning())
        return;
    const QDate today = context_.services.clock->today();
    const MaintenanceThresholds thresholds = maintenanceThresholds(context_.settings());
    // Every object's readings of the trend are read on a connection of the pass's own, so that the windows go on
    // meanwhile; an interrupted pass leaves the list as it was.
    QList<MaintenanceRow> found;
    std::exception_ptr failure;
    try {
        if (work_.readAside(context_.database.databaseName(), [&](Database& database) {
                found = scannerMaintenance(database, today, thresholds);
            }) == WorkEnd::Interrupted)
            return;
    } catch (...) {
        failure = std::current_exception();
    }
    // Emptied whatever came: a list that failed must not pass for a fresh one.
    rows_.clear();
    model_.removeRows(0, model_.rowCount());
    ui.Label1->clear();
    if (failure)
        std::rethrow_exception(failure);
    rows_ = std::move(found);
    int flagged = 0;
    for (const MaintenanceRow& row : std::as_const(rows_)) {
        QList<QStandardItem*> items;
        const QStringList cells = maintenanceCells(row);
        for (qsizetype column = 0; column < cells.size(); ++column) {
            auto* item = new QStandardItem(cells[column]);
            if (column >= kFirstFigure && column <= kLastFigure)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (row.verdict != MaintenanceVerdict::None)
                item->setBackground(tint(row.verdict));
            items.append(item);
        }
        model_.appendRow(items);
        if (row.verdict != MaintenanceVerdict::None)
            ++flagged;
    }
    ui.Label1->setText(QStringLiteral("Объектов: %1, требуют обслуживания: %2").arg(rows_.size()).arg(flagged));
    // Fitted to what the list holds, so that neither a title nor a verdict is cut short.
    ui.StringGrid1->resizeColumnsToContents();
    if (!rows_.isEmpty())
        ui.StringGrid1->selectRow(0);
}

void TForm16::Button2Click() {
    if (work_.isRunning())
        return;
    reportFailures([&] {
        const std::optional<ReportFormat> format = chosenFormat(*ui.ComboBox1);
        if (!format)
            return;
        ReportContent content;
        content.lines = [&] { return maintenanceLines(rows_); };
        content.elements = [&] { return maintenanceElements(rows_); };
        content.sheet = [&] { return maintenanceSheet(rows_); };
        saveReport(*format, context_.services, content);
    });
}
