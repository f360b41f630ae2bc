#include "ui/reports/Generate_reports.h"

#include "base/Services.h"
#include "base/Settings.h"
#include "base/Trimmed.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "reports/ReportSave.h"
#include "reports/SubscriberReport.h"
#include "ui/common/DataSetModel.h"
#include "ui/common/DbGrid.h"
#include "ui/common/ErrorReport.h"
#include "ui/reports/ReportSaving.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QShowEvent>

#include <utility>

using namespace vornic;

namespace {} // namespace

TForm3::TForm3(WindowContext& context, DataSet& objects, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                Qt::MSWindowsFixedSizeDialogHint),
      context_(context), objects_(objects), result_(context.database),
      work_(this, QStringLiteral("Формирование отчёта")) {
    ui.setupUi(this);
    setFixedSize(size());

    ui.DateTimePicker1->setDay(QDate(2013, 1, 1));
    ui.DateTimePicker2->setDay(QDate(2014, 1, 1));
    setUpFormatChoice(*ui.ComboBox1);

    // The statement is the Build's to give; until then the list is empty.
    ui.DBGrid1->bind(result_, {
                                  {ReadingsTable::kDate, QStringLiteral("Дата"), true, 143},
                                  {ReadingsTable::kReadings, QStringLiteral("Показания"), true, 85},
                                  {ReadingsTable::kBattery, QStringLiteral("Батарея"), true, 84},
                                  {ReadingsTable::kSignal, QStringLiteral("Уровень сигнала"), true, 96},
                                  {ReadingsTable::kNetwork, QStringLiteral("Тип сети"), true,
                                   ui.DBGrid1->horizontalHeader()->defaultSectionSize()},
                              });

    connect(ui.Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    connect(ui.Button3, &QPushButton::clicked, this, &QDialog::close);
}

void TForm3::FormActivate() {
    reportFailures([&] {
        result_.close();
        const Subscriber subscriber = currentSubscriber(objects_);
        ui.Label5->setText(QStringLiteral("Абонент: ") + trimmed(subscriber.fio) + QStringLiteral(",  ") +
                           trimmed(subscriber.address));
        ui.Label6->setText(QStringLiteral("ID абонента: ") + trimmed(subscriber.idObject));
        ui.Label7->setText(QStringLiteral("ID сканера: ") + trimmed(subscriber.idScanner));
        // A first opening, with no start stored yet, offers the current month instead of failing.
        ui.DateTimePicker1->loadDay(context_.settings(), settings::subscriberReportStart(), *context_.services.clock);
        ui.DateTimePicker2->setDay(context_.services.clock->today());
    });
}

void TForm3::FormClose() {
    reportFailures([&] { ui.DateTimePicker1->saveDay(context_.settings(), settings::subscriberReportStart()); });
}

void TForm3::Button1Click() {
    if (work_.isRunning())
        return;
    reportFailures([&] {
        result_.close();
        result_.setSelectSql(subscriberReportSelect(objects_.field(ObjectsTable::kId).asString(),
                                                    ui.DateTimePicker1->dateText(), ui.DateTimePicker2->dateText()));
        // The engine sorts the period's readings before it gives the first: where years of readings with their
        // pictures lie far apart on the disk, that alone can take a second or more.
        if (work_.openAside(result_) == WorkEnd::Interrupted)
            return;
        ui.Edit1->setText(QString::number(PeriodConsumption(result_).difference));
    });
}

void TForm3::Button2Click() {
    if (work_.isRunning())
        return;
    reportFailures([&] {
        const std::optional<ReportFormat> format = chosenFormat(*ui.ComboBox1);
        if (!format)
            return;
        // Before Build the result is closed, and this fails with the data set's own reason.
        result_.first();
        const Subscriber subscriber = currentSubscriber(objects_);
        const QList<SubscriberReading> readings = resultReadings(result_);
        const QString consumption = ui.Edit1->text();
        ReportContent content;
        content.lines = [&] { return subscriberReportLines(subscriber, readings, consumption); };
        content.elements = [&] { return subscriberReportElements(subscriber, readings, consumption); };
        content.sheet = [&] { return subscriberReportSheet(subscriber, readings, consumption); };
        saveReport(*format, context_.services, content);
        result_.first();
    });
}
