#include "ui/reports/Notrespondentsscanners.h"

#include "base/IniFile.h"
#include "base/Services.h"
#include "base/Settings.h"
#include "db/ObjectsTable.h"
#include "reports/ReportSave.h"
#include "reports/UnpolledObjects.h"
#include "ui/common/DbGrid.h"
#include "ui/common/ErrorReport.h"
#include "ui/reports/ReportSaving.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QShowEvent>

#include <utility>

using namespace vornic;

namespace {} // namespace

TForm10::TForm10(WindowContext& context, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                Qt::MSWindowsFixedSizeDialogHint),
      context_(context), list_(context.database) {
    ui.setupUi(this);
    // Three short columns and a few buttons: nothing gains from another size.
    setFixedSize(size());

    ui.DBGrid1->bind(list_, {
                                {ObjectsTable::kScanner, QStringLiteral("ID сканера"), true, 120},
                                {ObjectsTable::kFio, QStringLiteral("ФИО"), true, 220},
                                {ObjectsTable::kAddress, QStringLiteral("Адрес"), true, 260},
                            });
    ui.DBGrid1->horizontalHeader()->setStretchLastSection(true);
    setUpFormatChoice(*ui.ComboBox1);

    // Set once per run: later openings show the days the operator last chose. The end is the day the program
    // started, even when the window is first opened after midnight. Without a stored start, as at the first run,
    // the period begins on the first day of the month instead of being refused.
    reportFailures([&] {
        ui.DateTimePicker1->loadDay(context_.settings(), settings::unpolledObjectsStart(), *context_.services.clock);
        ui.DateTimePicker2->setDay(context_.services.clock->today());
    });

    connect(ui.Button1, &QPushButton::clicked, this, &TForm10::Button1Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TForm10::Button2Click);
    connect(ui.Button4, &QPushButton::clicked, this, &QDialog::close);
}

void TForm10::FormActivate() {
    // A list formed at an earlier opening may no longer be true; it is formed again on demand.
    reportFailures([&] { list_.close(); });
}

void TForm10::Button1Click() {
    reportFailures([&] {
        list_.close();
        selectUnpolledObjects(list_, ui.DateTimePicker1->dateText(), ui.DateTimePicker2->dateText());
        list_.open();
    });
}

void TForm10::Button2Click() {
    reportFailures([&] {
        // Before the list is formed this fails on the closed list, and nothing is written.
        list_.first();
        const std::optional<ReportFormat> format = chosenFormat(*ui.ComboBox1);
        if (!format)
            return;
        ReportContent content;
        content.lines = [&] { return unpolledObjectsLines(unpolledObjects(list_)); };
        content.elements = [&] { return unpolledObjectsElements(unpolledObjects(list_)); };
        content.sheet = [&] { return unpolledObjectsSheet(unpolledObjects(list_)); };
        saveReport(*format, context_.services, content);
        list_.first();
    });
}

void TForm10::FormClose() {
    reportFailures([&] { ui.DateTimePicker1->saveDay(context_.settings(), settings::unpolledObjectsStart()); });
}
