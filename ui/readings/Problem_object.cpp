#include "ui/readings/Problem_object.h"

#include "base/IniFile.h"
#include "base/ReadingText.h"
#include "base/Services.h"
#include "base/Settings.h"
#include "base/Trimmed.h"
#include "db/Database.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "ui/common/DataSetModel.h"
#include "ui/common/DbEdit.h"
#include "ui/common/DbGrid.h"
#include "ui/common/DialPicture.h"
#include "ui/common/ErrorReport.h"
#include "ui/common/LockWaitNotice.h"
#include "ui/common/RowLabels.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QShowEvent>

using namespace vornic;

namespace {

const QString kValueNeeded = QStringLiteral("Введите показания: поле «Реальные показания» пусто.");

// A reading the operator has handled in this opening keeps this colour until the list is read again.
const QColor kHandledRow(234, 255, 221);

const QList<ListColumn> kColumns = {
    {ObjectsTable::kScanner, QStringLiteral("ID сканера"), 80},
    {ObjectsTable::kFio, QStringLiteral("ФИО абонента"), 150},
    {ObjectsTable::kAddress, QStringLiteral("Адрес"), 150},
    {ReadingsTable::kDate, QStringLiteral("Дата"), 135},
    {ReadingsTable::kReadings, QStringLiteral("Показания"), 75},
    {ReadingsTable::kRecognition, QStringLiteral("Распознанные"), 95},
};

} // namespace

TForm11::TForm11(WindowContext& context, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                                Qt::WindowCloseButtonHint),
      context_(context), dataSet_(context.database) {
    ui.setupUi(this);
    dataSet_.setSelectSql(ReadingsTable::kDoubtfulSelect);
    dataSet_.setModifySql(ReadingsTable::kReviewModify);
    dataSet_.setRowLabel(readingRowLabel);
    // A value typed and left by a move to another row is stored with the reading still doubtful, but only when it
    // is a number: anything else would stand in the readings until the operator comes back to it.
    dataSet_.setKeepOnLeave([this](const DataSet& readings) {
        const QVariant typed = readings.value(readings.currentRow(), readings.fieldIndex(ReadingsTable::kReadings));
        if (typed.isNull() || trimmed(typed.toString()).isEmpty() || isReadingNumber(typed.toString()))
            return true;
        context_.services.messages->inform(readingNumberRule() + QStringLiteral(" Введённое значение не сохранено."));
        return false;
    });

    QList<GridColumn> gridColumns;
    QList<LayoutColumn> layoutColumns;
    for (const ListColumn& column : kColumns) {
        layoutColumns.append({column.field, static_cast<int>(gridColumns.size()), column.designWidth});
        gridColumns.append({column.field, column.title, true, column.designWidth});
    }
    ui.DBGrid1->setRowBackground([this](int row) -> std::optional<QColor> {
        if (ui.DBGrid1->dataModel()->fieldValue(row, ReadingsTable::kError).toInt() == ReadingsTable::kDoubtful)
            return std::nullopt;
        return kHandledRow;
    });
    ui.DBGrid1->bind(dataSet_, gridColumns);
    layout_.emplace(settings::reviewWindowSection(), this, ui.DBGrid1, layoutColumns);

    new DbEdit(ui.DBEdit1, dataSet_, ObjectsTable::kFio, this);
    new DbEdit(ui.DBEdit2, dataSet_, ObjectsTable::kAddress, this);
    new DbEdit(ui.DBEdit3, dataSet_, ObjectsTable::kScanner, this);
    new DbEdit(ui.DBEdit4, dataSet_, ReadingsTable::kDate, this);
    new DbEdit(ui.DBEdit5, dataSet_, ReadingsTable::kReadings, this);
    new DbEdit(ui.DBEdit6, dataSet_, ReadingsTable::kRecognition, this);

    connect(&dataSet_, &DataSet::positioned, this, &TForm11::IBDataSet1AfterScroll);
    // An empty list positions nowhere, and the picture of a reading listed before must not stay.
    connect(&dataSet_, &DataSet::opened, this, [this] {
        if (dataSet_.isEmpty())
            IBDataSet1AfterScroll();
    });
    connect(ui.DBGrid1, &QAbstractItemView::clicked, this, &TForm11::DBGrid1CellClick);
    connect(ui.DBGrid1, &DbGrid::titleClicked, this, &TForm11::DBGrid1TitleClick);
    ui.DBGrid1->installEventFilter(this);
    ui.DBEdit5->installEventFilter(this);
    connect(ui.Button1, &QPushButton::clicked, this, &TForm11::Button1Click);
    connect(ui.Button3, &QPushButton::clicked, this, &TForm11::Button3Click);
    connect(ui.Button4, &QPushButton::clicked, this, &QDialog::close);
}

bool TForm11::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui.DBEdit5 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            DBEdit5KeyEnter();
            return true;
        }
    } else if (watched == ui.DBGrid1 && event->type() == QEvent::KeyRelease) {
        DBGrid1KeyUp();
    }
    return OpeningDialog::eventFilter(watched, event);
}

void TForm11::FormActivate() {
    reportFailures([&] {
        layout_->restore(context_.settings());
        // The list holds what is doubtful now: readings handled at the last opening are gone, new ones are in.
        dataSet_.close();
        dataSet_.open();
    });
    // The operator starts on the first reading with its value ready to be confirmed or typed over, whatever had
    // the focus when the window closed last time.
    ui.DBEdit5->setFocus(Qt::OtherFocusReason);
    ui.DBEdit5->selectAll();
}

void TForm11::FormClose() {
    reportFailures([&] {
        IniFile settings = context_.settings();
        layout_->save(settings);
    });
    // A value typed but not confirmed by a button is not the operator's word: it is dropped, not stored.
    if (dataSet_.state() == DataSet::State::Edit || dataSet_.state() == DataSet::State::Insert)
        dataSet_.cancel();
    Q_EMIT context_.changes.objectsChanged();
}

bool TForm11::storeCurrentRow(const std::function<void()>& change) {
    return reportFailures([&] {
        try {
            dataSet_.edit();
            change();
            storeWithLockWaitNotice(this, [&] { dataSet_.post(); });
        } catch (...) {
            // On an empty list the data layer makes up a new row to edit, and refuses to store it: this list has
            // no statement that adds readings. The made-up row must not stay behind in the list.
            if (dataSet_.state() == DataSet::State::Insert)
                dataSet_.cancel();
            throw;
        }
        context_.database.commitRetaining();
    });
}

bool TForm11::confirmCurrentRow() {
    // Confirming an empty field would take the reading out of the review for good with no value at all: the
    // operator is asked for one and stays on the reading, still doubtful.
    if (!dataSet_.isEmpty() && trimmed(ui.DBEdit5->text()).isEmpty()) {
        context_.services.messages->inform(kValueNeeded);
        return false;
    }
    // Nor is anything but a number a reading: a confirmed value leaves the review and is counted in the reports.
    if (!dataSet_.isEmpty() && !isReadingNumber(ui.DBEdit5->text())) {
        context_.services.messages->inform(readingNumberRule());
        return false;
    }
    // The value in "Реальные показания" is stored as it stands, typed over or not: untouched, it confirms the
    // recognition.
    return storeCurrentRow([&] { dataSet_.field(ReadingsTable::kError).setValue(ReadingsTable::kSetByOperator); });
}

void TForm11::Button1Click() {
    confirmCurrentRow();
}

void TForm11::Button3Click() {
    // The recognised value as stored may be padded or carry a line end; none of that is part of the reading.
    storeCurrentRow([&] {
        dataSet_.field(ReadingsTable::kReadings).setValue(trimmed(ui.DBEdit6->text()));
        dataSet_.field(ReadingsTable::kError).setValue(ReadingsTable::kDoubtful);
    });
}

void TForm11::DBEdit5KeyEnter() {
    // A refused reading keeps the operator on it.
    if (!confirmCurrentRow())
        return;
    reportFailures([&] { dataSet_.next(); });
    ui.DBEdit5->setFocus(Qt::OtherFocusReason);
    ui.DBEdit5->selectAll();
}

void TForm11::IBDataSet1AfterScroll() {
    reportFailures([&] {
        const int row = dataSet_.currentRow();
        const int image = dataSet_.fieldIndex(ReadingsTable::kPicture);
        showDialPicture(ui.Image1, row >= 0 && image >= 0 ? dataSet_.bytes(row, image) : QByteArray());
    });
}

void TForm11::DBGrid1CellClick() {
    IBDataSet1AfterScroll();
}

void TForm11::DBGrid1KeyUp() {
    IBDataSet1AfterScroll();
}

void TForm11::DBGrid1TitleClick(int) {
    // A title click does not sort this list; it only shows the picture again.
    IBDataSet1AfterScroll();
}
