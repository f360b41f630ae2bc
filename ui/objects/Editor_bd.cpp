#include "ui/objects/Editor_bd.h"

#include "base/IniFile.h"
#include "base/Services.h"
#include "base/Settings.h"
#include "db/Database.h"
#include "db/ObjectDirectory.h"
#include "db/ObjectsTable.h"
#include "ui/common/DataSetModel.h"
#include "ui/common/DbEdit.h"
#include "ui/common/DbGrid.h"
#include "ui/common/ErrorReport.h"
#include "ui/common/LockWaitNotice.h"
#include "ui/common/RowLabels.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QRegularExpressionValidator>
#include <QShowEvent>

#include <initializer_list>
#include <utility>

using namespace vornic;

namespace {

const QString kAddCaption = QStringLiteral("Новая запись");
const QString kStoreNewCaption = QStringLiteral("Сохранить новую запись");
const QString kChangeCaption = QStringLiteral("Изменить запись");
const QString kStoreChangeCaption = QStringLiteral("Сохранить изменения");

const QString kRequiredFields = QStringLiteral("Заполните поля 'ФИО абонента (Название объекта)' и 'ID сканера'");
const QString kDuplicateScanner = QStringLiteral("«ID сканера» уже существуют в вашей базе.");
const QString kNothingChanged = QStringLiteral("Вы не чего не изменили");

const QList<ListColumn> kColumns = {
    {ObjectsTable::kFio, QStringLiteral("ФИО абонента (Название объекта)"), 220},
    {ObjectsTable::kAddress, QStringLiteral("Адрес"), 200},
    {ObjectsTable::kScanner, QStringLiteral("ID сканера"), 110},
    {ObjectsTable::kPersonalAccount, QStringLiteral("ID абонента"), 90},
    {ObjectsTable::kSeal, QStringLiteral("№ Пломбы"), 80},
    {ObjectsTable::kSimCard, QStringLiteral("№ Сим-карты"), 110},
    {ObjectsTable::kPowerSupply, QStringLiteral("Электропитание устройства"), 190},
};

// The search chooser's items and the field each one searches.
struct SearchChoice {
    QString item;
    QString field;
};

const QList<SearchChoice> kSearchChoices = {
    {QStringLiteral("ФИО абонента  "), ObjectsTable::kFio},
    {QStringLiteral("Адрес абонента  "), ObjectsTable::kAddress},
    {QStringLiteral("ID Сканера"), ObjectsTable::kScanner},
    {QStringLiteral("№ Абонента"), ObjectsTable::kPersonalAccount},
    {QStringLiteral("№ Пломбы"), ObjectsTable::kSeal},
};

// A text typed into the chooser that is none of its items names no field, and the data layer refuses to search.
QString searchField(const QString& choice) {
    for (const SearchChoice& known : kSearchChoices)
        if (known.item == choice)
            return known.field;
    return {};
}

// The validator judges whatever reaches the field (a typed key, a paste by shortcut or from the context menu, a
// drop) and takes back a change that would put anything but the digits 0 to 9 into it.
void acceptDigitsOnly(QLineEdit* field) {
    field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
}

bool isOpenForInput(const DataSet& dataSet) {
    return dataSet.state() == DataSet::State::Edit || dataSet.state() == DataSet::State::Insert;
}

} // namespace

TForm4::TForm4(WindowContext& context, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                                Qt::WindowCloseButtonHint),
      context_(context), dataSet_(context.database) {
    ui.setupUi(this);
    dataSet_.setSelectSql(ObjectsTable::kSelectAll);
    dataSet_.setInsertSql(ObjectsTable::kInsert);
    dataSet_.setModifySql(ObjectsTable::kModify);
    dataSet_.setDeleteSql(ObjectsTable::kDelete);
    dataSet_.setRowLabel(objectRowLabel);

    QList<GridColumn> gridColumns;
    QList<LayoutColumn> layoutColumns;
    for (const ListColumn& column : kColumns) {
        layoutColumns.append({column.field, static_cast<int>(gridColumns.size()), column.designWidth});
        gridColumns.append({column.field, column.title, true, column.designWidth});
    }
    ui.DBGrid1->bind(dataSet_, gridColumns);
    layout_.emplace(settings::directoryWindowSection(), this, ui.DBGrid1, layoutColumns);
    bindEditor();
    ui.ComboBox1->setCurrentIndex(0);

    // A press anywhere in the list, its titles included, comes here before the list moves its current row.
    ui.DBGrid1->viewport()->installEventFilter(this);
    ui.DBGrid1->horizontalHeader()->viewport()->installEventFilter(this);
    connect(ui.DBGrid1, &DbGrid::titleClicked, this, &TForm4::DBGrid1TitleClick);
    ui.DBGrid1->setRowLeaveCheck([this] { return DBGrid1LeaveRow(); });
    connect(ui.Edit1, &QLineEdit::textChanged, this, &TForm4::Edit1Change);
    connect(ui.Button_add_bd, &QPushButton::clicked, this, &TForm4::Button_add_bdClick);
    connect(ui.Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(ui.Button_remove_bd, &QPushButton::clicked, this, &TForm4::Button_remove_bdClick);
    connect(ui.Button2, &QPushButton::clicked, this, &QDialog::close);

    reportFailures([&] { dataSet_.open(); });
}

void TForm4::bindEditor() {
    const struct {
        QLineEdit* edit;
        QString field;
    } bound[] = {
        {ui.DBEdit2, ObjectsTable::kFio},
        {ui.DBEdit3, ObjectsTable::kAddress},
        {ui.DBEdit4, ObjectsTable::kScanner},
        {ui.DBEdit1, ObjectsTable::kPersonalAccount},
        {ui.DBEdit6, ObjectsTable::kSeal},
        {ui.DBEdit5, ObjectsTable::kSimCard},
        {ui.DBComboBox1->lineEdit(), ObjectsTable::kPowerSupply},
    };
    for (const auto& [edit, field] : bound)
        new DbEdit(edit, dataSet_, field, this);
    for (QLineEdit* digits : {ui.DBEdit4, ui.DBEdit1, ui.DBEdit6})
        acceptDigitsOnly(digits);

    // What the operator types is what is stored: an inline completion would show an item while the field held
    // only the typed beginning.
    ui.DBComboBox1->setCompleter(nullptr);
    // Choosing an item sets the field as typing does.
    connect(ui.DBComboBox1, &QComboBox::textActivated, this, [this](const QString& text) {
        reportFailures([&] {
            if (!dataSet_.isOpen() || dataSet_.currentRow() < 0)
                return;
            dataSet_.edit();
            dataSet_.field(ObjectsTable::kPowerSupply).setValue(text);
        });
    });
}

void TForm4::enableEditor(bool enabled) {
    for (QWidget* field : std::initializer_list<QWidget*>{ui.DBEdit2, ui.DBEdit3, ui.DBEdit4, ui.DBEdit1, ui.DBEdit6,
                                                          ui.DBEdit5, ui.DBComboBox1})
        field->setEnabled(enabled);
}

std::optional<int> TForm4::currentObject() {
    if (!dataSet_.isOpen() || dataSet_.currentRow() < 0 || dataSet_.state() == DataSet::State::Insert)
        return std::nullopt;
    const Field id = dataSet_.field(ObjectsTable::kId);
    if (id.isNull())
        return std::nullopt;
    return id.asInteger();
}

bool TForm4::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == ui.DBGrid1->viewport() || watched == ui.DBGrid1->horizontalHeader()->viewport()))
        DBGrid1MouseDown();
    return OpeningDialog::eventFilter(watched, event);
}

void TForm4::FormActivate() {
    reportFailures([&] {
        layout_->restore(context_.settings());
        // Made once at start-up, the directory shows what is stored now at each opening, other operators' work
        // included; a row left open for input stays as the operator left it.
        if (!isOpenForInput(dataSet_)) {
            const std::optional<int> current = currentObject();
            dataSet_.reopen();
            if (current)
                moveToObject(dataSet_, *current);
        }
    });
}

void TForm4::FormClose() {
    reportFailures([&] {
        IniFile settings = context_.settings();
        layout_->save(settings);
    });
    // An open row is neither stored nor dropped: the operator finds it as it was at the next opening.
    Q_EMIT context_.changes.objectsChanged();
}

void TForm4::Button_add_bdClick() {
    reportFailures([&] {
        if (!adding_) {
            dataSet_.insert();
            context_.database.commitRetaining();
            adding_ = true;
            ui.Button_add_bd->setText(kStoreNewCaption);
            enableEditor(true);
            ui.DBEdit2->setFocus();
            return;
        }
        if (storeNewRow()) {
            adding_ = false;
            ui.Button_add_bd->setText(kAddCaption);
            enableEditor(false);
        }
    });
}

bool TForm4::storeNewRow() {
    const QString scanner = dataSet_.field(ObjectsTable::kScanner).asString();
    if (dataSet_.field(ObjectsTable::kFio).asString().isEmpty() || scanner.isEmpty()) {
        context_.services.messages->inform(kRequiredFields);
        return false;
    }
    if (scannerIsStored(context_.database, scanner)) {
        context_.services.messages->inform(kDuplicateScanner);
        return false;
    }
    // The insert statement leaves the key to the database; the placeholder only fills the row until it is read.
    dataSet_.field(ObjectsTable::kId).setValue(0);
    dataSet_.post();
    context_.database.commitRetaining();
    readBackNewObject(scanner);
    return true;
}

void TForm4::readBackNewObject(const QString& scanner) {
    // The row in the list still holds the placeholder key: a change or removal right after would address no
    // stored object. The list is read again and put on the new object, found by the key the database gave it.
    // Its scanner number was in no other object a moment ago, so the newest object with that number is this one.
    const std::optional<int> id = newestObjectWithScanner(context_.database, scanner);
    dataSet_.reopen();
    if (id)
        moveToObject(dataSet_, *id);
}

void TForm4::Button1Click() {
    reportFailures([&] {
        if (!currentObject())
            return;
        if (!changing_) {
            dataSet_.edit();
            changing_ = true;
            enableEditor(true);
            ui.Button1->setText(kStoreChangeCaption);
            return;
        }
        if (dataSet_.state() != DataSet::State::Edit || !dataSet_.isModified()) {
            // Nothing was open to store, or nothing typed into it.
            if (dataSet_.state() == DataSet::State::Edit)
                dataSet_.cancel();
            context_.services.messages->inform(kNothingChanged);
        } else if (refuseScannerOfAnotherObject() || !storeChange()) {
            return; // refused: the panel stays open with what the operator typed, to be stored again
        }
        changing_ = false;
        enableEditor(false);
        ui.Button1->setText(kChangeCaption);
    });
}

bool TForm4::refuseScannerOfAnotherObject() {
    // Readings find their object by its scanner number: two objects with one number would give every reading to
    // one of them. A change is held to the check a new object passes.
    if (!scannerIsStored(context_.database, dataSet_.field(ObjectsTable::kScanner).asString(), currentObject()))
        return false;
    context_.services.messages->inform(kDuplicateScanner);
    return true;
}

bool TForm4::storeChange() {
    const QVariantHash typed = dataSet_.changedValues();
    try {
        storeWithLockWaitNotice(this, [&] {
            dataSet_.post();
            context_.database.commitRetaining();
        });
        return true;
    } catch (const DatabaseError& error) {
        // A lost connection ends the program; anything else refused the change, and the operator's values go back
        // into the fields over what is stored now.
        if (tellsOfLostConnection(error.reason()))
            throw;
        reportFailure(error);
    } catch (const Failure& failure) {
        // Refused before it reached the database (a letter the database cannot hold): the row is still open.
        reportFailure(failure);
        return false;
    }
    if (dataSet_.currentRow() < 0 || !currentObject())
        return false;
    dataSet_.edit();
    for (auto it = typed.cbegin(); it != typed.cend(); ++it)
        dataSet_.field(it.key()).setValue(it.value());
    return false;
}

void TForm4::Button_remove_bdClick() {
    reportFailures([&] {
        const std::optional<int> id = currentObject();
        if (!id)
            return;
        Database& database = context_.database;
        {
            // One unit: a download's commit must not make half a removal permanent. The object goes first: when
            // another operator has changed it since it was read, the removal is refused before its journal and
            // readings are touched.
            auto unit = database.lock();
            storeWithLockWaitNotice(this, [&] { dataSet_.remove(); });
            removeObjectRecords(database, *id);
            dataSet_.reopen();
            database.commitRetaining();
            database.commit(); // closes every list on the transaction, this one included
        }
        dataSet_.open();
        Q_EMIT context_.changes.objectsChanged();
    });
}

void TForm4::Edit1Change(const QString& text) {
    reportFailures([&] {
        // Moving off a new row would store it past the panel's checks, and moving off a changed row would store
        // the change before "Сохранить изменения" is pressed.
        if (isOpenForInput(dataSet_))
            return;
        dataSet_.locatePrefix(searchField(ui.ComboBox1->currentText()), text);
    });
}

void TForm4::DBGrid1TitleClick(int column) {
    reportFailures([&] {
        const QString field = ui.DBGrid1->dataModel()->columns().at(column).field;
        const QString select = ObjectsTable::selectOrderedBy(field, !sortAscending_);
        sortAscending_ = !sortAscending_;
        dataSet_.close();
        dataSet_.setSelectSql(select);
        dataSet_.open();
    });
}

bool TForm4::DBGrid1LeaveRow() {
    // Moving off a new row would store it past the panel's checks. A key that moves the list is taken as
    // "Сохранить новую запись": the row is checked, then stored with the list on it, or it stays open with the
    // check's message. Either way the key's own move is not made: the list stands where the operator can see
    // what became of the row. (A press in the list has dropped the row before the list moves.)
    // Moving off a changed row stores the change: not with another object's scanner number.
    if (dataSet_.state() == DataSet::State::Edit) {
        bool refused = false;
        return reportFailures([&] { refused = refuseScannerOfAnotherObject(); }) && !refused;
    }
    if (dataSet_.state() != DataSet::State::Insert)
        return true;
    if (adding_)
        Button_add_bdClick();
    return false;
}

void TForm4::DBGrid1MouseDown() {
    if (adding_) {
        adding_ = false;
        ui.Button_add_bd->setText(kAddCaption);
    }
    if (changing_) {
        changing_ = false;
        ui.Button1->setText(kChangeCaption);
    }
    enableEditor(false);
    reportFailures([&] {
        if (isOpenForInput(dataSet_))
            dataSet_.cancel();
    });
}
