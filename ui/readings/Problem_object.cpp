#include "ui/readings/Problem_object.h"

#include "base/IniFile.h"
#include "base/ReadingText.h"
#include "base/Services.h"
#include "base/Settings.h"
#include "base/Trimmed.h"
#include "db/Database.h"
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


const QString kSelect = QStringLiteral(
    "select image_object_date.id_object, image_object_date.id_imag, list_objects.id_scanner, list_objects.address, "
    "list_objects.fio, image_object_date.dat, image_object_date.RECOGNITION, image_object_date.READINGS, "
    "image_object_date.error, image_object_date.image  from list_objects, image_object_date where "
    "list_objects.id_object=image_object_date.id_object and image_object_date.error=1");
const QString kModify =
    QStringLiteral("update image_object_date set error=:error, readings=:readings where id_imag=?old_id_imag");

const QString kError = QStringLiteral("ERROR");
const QString kReadings = QStringLiteral("READINGS");
const QString kImage = QStringLiteral("IMAGE");
const QString kValueNeeded = QStringLiteral("Введите показания: поле «Реальные показания» пусто.");

// The flag of a reading: the server was not sure of it, or the operator has taken it as it now reads.
constexpr int kDoubtful = 1;
constexpr int kSetByOperator = 99;

// A reading the operator has handled in this opening keeps this colour until the list is read again.
const QColor kHandledRow(234, 255, 221);

// The list's columns: field, title, the width it opens with before the operator has dragged it.
struct Column {
    QString field;
    QString title;
    int designWidth;
};

const QList<Column> kColumns = {
    {QStringLiteral("ID_SCANNER"), QStringLiteral("ID сканера"), 80},
    {QStringLiteral("FIO"), QStringLiteral("ФИО абонента"), 150},
    {QStringLiteral("ADDRESS"), QStringLiteral("Адрес"), 150},
    {QStringLiteral("DAT"), QStringLiteral("Дата"), 135},
    {QStringLiteral("READINGS"), QStringLiteral("Показания"), 75},
    {QStringLiteral("RECOGNITION"), QStringLiteral("Распознанные"), 95},
};

} // namespace

TForm11::TForm11(WindowContext& context, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint),
      context_(context), dataSet_(context.database) {
    ui.setupUi(this);
    dataSet_.setSelectSql(kSelect);
    dataSet_.setModifySql(kModify);
    dataSet_.setRowLabel(readingRowLabel);
    // A value typed and left by a move to another row is stored with the reading still doubtful, but only when it
    // is a number: anything else would stand in the readings until the operator comes back to it.
    dataSet_.setKeepOnLeave([this](const DataSet& readings) {
        const QVariant typed = readings.value(readings.currentRow(), readings.fieldIndex(kReadings));
        if (typed.isNull() || trimmed(typed.toString()).isEmpty() || isReadingNumber(typed.toString()))
            return true;
        context_.services.messages->inform(readingNumberRule() + QStringLiteral(" Введённое значение не сохранено."));
        return false;
    });

    QList<GridColumn> gridColumns;
    QList<LayoutColumn> layoutColumns;
    for (const Column& column : kColumns) {
        layoutColumns.append({column.field, static_cast<int>(gridColumns.size()), column.designWidth});
        gridColumns.append({column.field, column.title, true, column.designWidth});
    }
    ui.DBGrid1->setRowBackground([this](int row) -> std::optional<QColor> {
        if (ui.DBGrid1->dataModel()->fieldValue(row, kError).toInt() == kDoubtful)
            return std::nullopt;
        return kHandledRow;
    });
    ui.DBGrid1->bind(dataSet_, gridColumns);
    layout_.emplace(settings::reviewWindowSection(), this, ui.DBGrid1, layoutColumns);

    new DbEdit(ui.DBEdit1, dataSet_, QStringLiteral("FIO"), this);
    new DbEdit(ui.DBEdit2, dataSet_, QStringLiteral("ADDRESS"), this);
    new DbEdit(ui.DBEdit3, dataSet_, QStringLiteral("ID_SCANNER"), this);
    new DbEdit(ui.DBEdit4, dataSet_, QStringLiteral("DAT"), this);
    new DbEdit(ui.DBEdit5, dataSet_, kReadings, this);
    new DbEdit(ui.DBEdit6, dataSet_, QStringLiteral("RECOGNITION"), this);

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
    return storeCurrentRow([&] { dataSet_.field(kError).setValue(kSetByOperator); });
}

void TForm11::Button1Click() {
    confirmCurrentRow();
}

void TForm11::Button3Click() {
    // The recognised value as stored may be padded or carry a line end; none of that is part of the reading.
    storeCurrentRow([&] {
        dataSet_.field(kReadings).setValue(trimmed(ui.DBEdit6->text()));
        dataSet_.field(kError).setValue(kDoubtful);
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
        const int image = dataSet_.fieldIndex(kImage);
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
