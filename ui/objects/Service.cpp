#include "ui/objects/Service.h"

#include "base/Trimmed.h"

#include "base/Failure.h"
#include "db/Database.h"
#include "db/ObjectsTable.h"
#include "db/ServiceJournalTable.h"
#include "ui/common/DataSetModel.h"
#include "ui/common/DbGrid.h"
#include "ui/common/ErrorReport.h"
#include "ui/common/LockWaitNotice.h"
#include "ui/common/RowLabels.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QShowEvent>

#include <utility>

using namespace vornic;

namespace {

const QString kAdd = QStringLiteral("Добавить");
const QString kChange = QStringLiteral("Изменить");
const QString kSave = QStringLiteral("Сохранить");
const QString kNewEntry = QStringLiteral("Новая запись");

// Day and month may be left one digit short; the year is always whole. The blank shows as a blank, so that an
// empty field reads "  .  .    ".
const QString kDateMask = QStringLiteral("99.99.0000; ");
const QString kDateFormat = QStringLiteral("dd.MM.yyyy");

// What each item of the status box stores, in the order of its items. The last item's caption ends with a blank
// that the stored status does not have; the empty item stores one blank, which the list shows as no status.
const QStringList kStatusValues = {QStringLiteral(" "), QStringLiteral("Работает"), QStringLiteral("Не работает"),
                                   QStringLiteral("Отключен")};

const QString kNoObject =
    QStringLiteral("Объект не выбран. Выберите объект в списке главного окна и откройте журнал снова.");

// The date the field holds. The day and the month may have one digit on either side of their two places; the year
// must have all four. A text that gives no such day of the calendar (31.02) is refused, with a message that
// tells the operator what is wanted.
QDate enteredDate(const QString& text) {
    const QString wanted = QStringLiteral("Укажите дату в виде ДД.ММ.ГГГГ.");
    QString digitsOnly = text;
    digitsOnly.remove(u'.').remove(u' ');
    if (digitsOnly.isEmpty())
        throw Failure(QStringLiteral("Дата не указана. ") + wanted);
    const QStringList parts = text.split(u'.');
    const auto number = [&](int part, int minDigits, int maxDigits) {
        const QString digits = parts.value(part).trimmed();
        bool ok = digits.size() >= minDigits && digits.size() <= maxDigits;
        for (const QChar c : digits)
            ok = ok && c >= u'0' && c <= u'9';
        return ok ? digits.toInt() : -1;
    };
    const int day = number(0, 1, 2);
    const int month = number(1, 1, 2);
    const int year = number(2, 4, 4);
    const QDate date(year, month, day);
    if (parts.size() != 3 || day < 0 || month < 0 || year < 0 || !date.isValid())
        throw Failure(QStringLiteral("Дата «%1» указана неверно. ").arg(text) + wanted);
    return date;
}

bool isRowOpen(const DataSet& dataSet) {
    return dataSet.state() == DataSet::State::Edit || dataSet.state() == DataSet::State::Insert;
}

} // namespace

TForm8::TForm8(WindowContext& context, DataSet& objects, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                Qt::MSWindowsFixedSizeDialogHint),
      context_(context), objects_(objects), journal_(context.database) {
    ui.setupUi(this);
    // A date list beside one entry's text: nothing gains from another size.
    setFixedSize(size());

    journal_.setSelectSql(ServiceJournalTable::kOfObjectSelect);
    journal_.setInsertSql(ServiceJournalTable::kInsert);
    journal_.setModifySql(ServiceJournalTable::kModify);
    journal_.setDeleteSql(ServiceJournalTable::kDelete);
    journal_.setRowLabel(journalRowLabel);
    journal_.setMaster(&objects_);
    ui.DBGrid1->bind(journal_, {
                                   {ServiceJournalTable::kDate, QStringLiteral("Дата:"), true, 100},
                                   {ServiceJournalTable::kObject, QString(), false},
                                   {ServiceJournalTable::kText, QString(), false},
                               });
    ui.DBGrid1->horizontalHeader()->setStretchLastSection(true);
    ui.DBGrid1->installEventFilter(this);
    ui.DBGrid1->viewport()->installEventFilter(this);

    ui.MaskEdit1->setInputMask(kDateMask);
    ui.MaskEdit1->setEnabled(false);
    ui.Memo1->setEnabled(false);
    ui.ComboBox1->setCurrentIndex(0);

    connect(ui.But_add, &QPushButton::clicked, this, &TForm8::But_addClick);
    connect(ui.But_Edit, &QPushButton::clicked, this, &TForm8::But_EditClick);
    connect(ui.But_Del, &QPushButton::clicked, this, &TForm8::But_DelClick);
    connect(ui.Button1, &QPushButton::clicked, this, &QDialog::close);
    // Only a choice stores a status: the box is set from nowhere else, and shows the last choice of the run.
    connect(ui.ComboBox1, &QComboBox::activated, this, &TForm8::ComboBox1Select);
}

bool TForm8::eventFilter(QObject* watched, QEvent* event) {
    const bool inList = watched == ui.DBGrid1 && event->type() == QEvent::KeyRelease;
    const bool overList = watched == ui.DBGrid1->viewport() &&
                          (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::Wheel);
    if (inList || overList)
        ShowCurrentEntry();
    return OpeningDialog::eventFilter(watched, event);
}

bool TForm8::hasCurrentObject() const {
    return objects_.isOpen() && objects_.currentRow() >= 0;
}

void TForm8::ShowCurrentEntry() {
    reportFailures([&] {
        const bool hasEntry = journal_.isOpen() && journal_.currentRow() >= 0;
        // Entries written on another workstation may break their lines with a carriage return as well.
        const QString text = hasEntry ? journal_.field(ServiceJournalTable::kText).asString() : QString();
        ui.Memo1->setPlainText(trimmed(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        const bool hasDate = hasEntry && !journal_.field(ServiceJournalTable::kDate).isNull();
        if (hasDate)
            ui.MaskEdit1->setText(journal_.field(ServiceJournalTable::kDate).asDateTime().date().toString(kDateFormat));
        else
            ui.MaskEdit1->clear();
    });
}

void TForm8::FormActivate() {
    reportFailures([&] {
        // Read again at each opening, and the object with it, so that what other operators have stored since shows.
        if (hasCurrentObject())
            objects_.refreshRow(objects_.currentRow());
        const auto trimmedField = [&](const QString& name) { return trimmed(objects_.field(name).asString()); };
        ui.Label1->setText(hasCurrentObject() ? trimmedField(ObjectsTable::kFio) + QStringLiteral("  ") +
                                                    trimmedField(ObjectsTable::kAddress)
                                              : QString());
        journal_.close();
        journal_.open();
        journal_.first();
    });
    ShowCurrentEntry();

    ui.But_add->setEnabled(true);
    ui.But_add->setText(kAdd);
    ui.But_Edit->setEnabled(true);
    ui.But_Edit->setText(kChange);
    changing_ = false;
    ui.But_Del->setEnabled(true);
    ui.Memo1->setEnabled(false);
    ui.MaskEdit1->setEnabled(false);
    ui.DBGrid1->setEnabled(true);
}

void TForm8::But_addClick() {
    reportFailures([&] {
        if (!adding_) {
            // An entry belongs to an object; without one it would be stored where no journal ever lists it.
            if (!hasCurrentObject())
                throw Failure(kNoObject);
            journal_.insert();
            ui.But_add->setText(kSave);
            ui.MaskEdit1->setEnabled(true);
            ui.Memo1->setEnabled(true);
            ui.DBGrid1->setEnabled(false);
            ui.MaskEdit1->clear();
            ui.Memo1->clear();
            ui.But_Edit->setEnabled(false);
            ui.But_Del->setEnabled(false);
            adding_ = true;
            ui.MaskEdit1->setFocus();
            ui.MaskEdit1->setCursorPosition(0);
            return;
        }

        // The caption changes before the date is read: a date refused leaves the entry open under it, to be
        // corrected and stored by a further press.
        ui.But_add->setText(kNewEntry);
        if (!hasCurrentObject())
            throw Failure(kNoObject);
        QList<qint64> keysBefore;
        journal_.fetchAll();
        const int keyColumn = journal_.fieldIndex(ServiceJournalTable::kKey);
        for (int row = 0; row < journal_.rowCount(); ++row) {
            const QVariant key = journal_.value(row, keyColumn);
            if (!key.isNull() && row != journal_.currentRow())
                keysBefore.append(key.toLongLong());
        }
        // The key is the database's to give; the insert does not send it.
        journal_.field(ServiceJournalTable::kKey).setValue(0);
        journal_.field(ServiceJournalTable::kObject).setValue(objects_.field(ServiceJournalTable::kObject).value());
        journal_.field(ServiceJournalTable::kDate).setValue(enteredDate(ui.MaskEdit1->displayText()));
        journal_.field(ServiceJournalTable::kText).setValue(ui.Memo1->toPlainText());
        journal_.post();

        ui.But_Edit->setEnabled(true);
        ui.But_Del->setEnabled(true);
        adding_ = false;
        ui.MaskEdit1->setEnabled(false);
        ui.Memo1->setEnabled(false);
        ui.DBGrid1->setEnabled(true);
        readBackNewEntry(keysBefore);
    });
    if (!adding_)
        ShowCurrentEntry();
}

void TForm8::readBackNewEntry(const QList<qint64>& keysBefore) {
    // The new entry is the one key that was not there before. Keys are compared rather than taken as the
    // greatest, since the database alone decides how it numbers them.
    journal_.reopen();
    journal_.fetchAll();
    const int keyColumn = journal_.fieldIndex(ServiceJournalTable::kKey);
    int newRow = -1;
    qint64 newKey = 0;
    for (int row = 0; row < journal_.rowCount(); ++row) {
        const QVariant value = journal_.value(row, keyColumn);
        const qint64 key = value.toLongLong();
        if (!value.isNull() && !keysBefore.contains(key) && (newRow < 0 || key > newKey)) {
            newRow = row;
            newKey = key;
        }
    }
    if (newRow >= 0)
        journal_.moveTo(newRow);
}

void TForm8::But_EditClick() {
    reportFailures([&] {
        if (!changing_) {
            ui.But_add->setEnabled(false);
            ui.But_Del->setEnabled(false);
            // The date stays as it is: a change is to the entry's text only.
            ui.Memo1->setEnabled(true);
            ui.But_Edit->setText(kSave);
            changing_ = true;
            ui.Memo1->setFocus();
            return;
        }
        // With an empty journal there is nothing to change: editing would make up a new row instead.
        if (journal_.isOpen() && journal_.currentRow() >= 0 && !journal_.field(ServiceJournalTable::kKey).isNull()) {
            journal_.edit();
            journal_.field(ServiceJournalTable::kText).setValue(ui.Memo1->toPlainText());
            // Refused, the text typed stays in the field and the panel open, to be stored again.
            storeWithLockWaitNotice(this, [&] { journal_.post(); });
        }
        ui.But_add->setEnabled(true);
        ui.But_Del->setEnabled(true);
        ui.Memo1->setEnabled(false);
        ui.But_Edit->setText(kChange);
        changing_ = false;
    });
}

void TForm8::But_DelClick() {
    // No question is asked: the entry goes at once, and for good when the window closes.
    if (reportFailures([&] { storeWithLockWaitNotice(this, [&] { journal_.remove(); }); }))
        ShowCurrentEntry();
}

void TForm8::ComboBox1Select(int index) {
    reportFailures([&] {
        if (index < 0 || index >= kStatusValues.size())
            return;
        if (!hasCurrentObject())
            throw Failure(kNoObject);
        try {
            objects_.edit();
            objects_.field(ObjectsTable::kStatus).setValue(kStatusValues[index]);
            storeWithLockWaitNotice(this, [&] { objects_.post(); });
        } catch (...) {
            // The main list must not keep a status that was not stored, to be stored by its next move.
            if (isRowOpen(objects_))
                objects_.cancel();
            throw;
        }
    });
}

void TForm8::FormClose() {
    // An entry being added or changed and not yet stored is dropped; everything stored in this opening, and
    // every status set, becomes permanent here and nowhere else.
    if (isRowOpen(journal_))
        journal_.cancel();
    reportFailures([&] { context_.database.commitRetaining(); });
    ui.But_Edit->setEnabled(true);
    ui.But_Del->setEnabled(true);
    adding_ = false;
}
