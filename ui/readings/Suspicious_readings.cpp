#include "ui/readings/Suspicious_readings.h"

#include "base/DateText.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "db/Database.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "reports/ConsumptionReport.h"
#include "ui/common/ErrorReport.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QShowEvent>
#include <QTableWidgetItem>

#include <algorithm>
#include <utility>

using namespace vornic;

namespace {

// The list's columns; the field is the name its width is kept under.
const QList<ListColumn> kColumns = {
    {ObjectsTable::kFio, QStringLiteral("Объект"), 220},
    {ObjectsTable::kScanner, QStringLiteral("Сканер"), 90},
    {ReadingsTable::kDate, QStringLiteral("Дата и время"), 135},
    {ReadingsTable::kReadings, QStringLiteral("Показание"), 90},
    {QStringLiteral("PREVIOUS"), QStringLiteral("Предыдущее"), 100},
    {QStringLiteral("REASON"), QStringLiteral("Причина"), 300},
};

QStringList cells(const ImplausibleReading& reading) {
    return {reading.fio.trimmed(),
            reading.scanner.trimmed(),
            dateTimeText(reading.at),
            reading.value.trimmed(),
            reading.previous ? readingText(*reading.previous) : QString(),
            reading.reason};
}

} // namespace

TForm14::TForm14(WindowContext& context, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                                Qt::WindowCloseButtonHint),
      context_(context), work_(this, QStringLiteral("Поиск подозрительных показаний")) {
    ui.setupUi(this);
    ui.StringGrid1->setColumnCount(static_cast<int>(kColumns.size()));
    QStringList titles;
    QList<LayoutColumn> layoutColumns;
    for (const ListColumn& column : kColumns) {
        layoutColumns.append({column.field, static_cast<int>(titles.size()), column.designWidth});
        titles.append(column.title);
    }
    ui.StringGrid1->setHorizontalHeaderLabels(titles);
    ui.StringGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout_.emplace(settings::implausibleWindowSection(), this, ui.StringGrid1, layoutColumns);

    connect(ui.StringGrid1, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { StringGrid1DblClick(row); });
    connect(ui.Button1, &QPushButton::clicked, this, &TForm14::Button1Click);
    connect(ui.Button2, &QPushButton::clicked, this, &QDialog::close);
}

void TForm14::FormActivate() {
    reportFailures([&] { layout_->restore(context_.settings()); });
    readList();
}

void TForm14::FormClose() {
    reportFailures([&] {
        IniFile settings = context_.settings();
        layout_->save(settings);
    });
}

void TForm14::Button1Click() {
    readList();
}

void TForm14::readList() {
    if (work_.isRunning())
        return;
    // The operator goes down the list: after a reading is handled the same place stays selected, which is now
    // the next reading.
    const int selected = ui.StringGrid1->currentRow();
    QList<ImplausibleReading> found;
    WorkEnd end = WorkEnd::Finished;
    const bool read = reportFailures([&] {
        // All objects' readings are read on a connection of the pass's own, so that the windows go on meanwhile.
        const double factor = implausibleFactor(context_.settings());
        end = work_.readAside(context_.database.databaseName(),
                              [&](Database& database) { found = findImplausibleReadings(database, factor); });
    });
    // An interrupted pass leaves the list as it was; a failed one leaves it empty.
    if (read && end == WorkEnd::Interrupted)
        return;
    listed_ = std::move(found);
    ui.StringGrid1->setRowCount(0);
    ui.StringGrid1->setRowCount(static_cast<int>(listed_.size()));
    for (int row = 0; row < listed_.size(); ++row) {
        const QStringList texts = cells(listed_.at(row));
        for (int column = 0; column < texts.size(); ++column)
            ui.StringGrid1->setItem(row, column, new QTableWidgetItem(texts.at(column)));
    }
    ui.Label2->setText(QStringLiteral("Подозрительных показаний: ") + QString::number(listed_.size()));
    if (!listed_.isEmpty())
        ui.StringGrid1->selectRow(std::clamp(selected, 0, static_cast<int>(listed_.size()) - 1));
}

void TForm14::StringGrid1DblClick(int row) {
    if (work_.isRunning() || row < 0 || row >= listed_.size())
        return;
    const ImplausibleReading reading = listed_.at(row);
    Q_EMIT readingChosen(reading.object, reading.id);
    readList();
}
