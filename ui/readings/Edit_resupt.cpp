#include "ui/readings/Edit_resupt.h"

#include "base/ReadingText.h"
#include "base/Services.h"
#include "base/Trimmed.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "ui/common/DbEdit.h"
#include "ui/common/ErrorReport.h"
#include "ui/common/LockWaitNotice.h"

#include <QCloseEvent>

#include <utility>

using namespace vornic;

namespace {

const QString kCaptionPrefix = QStringLiteral("Абонент  ");
const QString kNoPictureNumber = QStringLiteral("Нет номера изображения. Обновите базу данных");
const QString kSaved = QStringLiteral("Показания изменены.");
const QString kNotSaved = QStringLiteral("Показания не сохранены.");
const QString kRecognitionBack = QStringLiteral("Установлены первичные показания ");
const QString kReadingMoved =
    QStringLiteral("Список показаний прочитан заново, и открытые показания больше не текущие. Ничего не сохранено: "
                   "откройте показания снова.");

} // namespace

TForm5::TForm5(WindowContext& context, DataSet& objects, DataSet& readings, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                Qt::MSWindowsFixedSizeDialogHint),
      context_(context), objects_(objects), readings_(readings) {
    ui.setupUi(this);
    // One reading and its buttons: nothing to show at another size. A larger desktop font widens the design.
    setFixedSize(size().expandedTo(minimumSizeHint()));
    new DbEdit(ui.DBEdit3, readings_, ReadingsTable::kReadings, this);
    new DbEdit(ui.DBEdit2, readings_, ReadingsTable::kDate, this);
    new DbEdit(ui.DBEdit1, readings_, ObjectsTable::kId, this);
    connect(ui.Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
    connect(ui.Button3, &QPushButton::clicked, this, &TForm5::Button3Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TForm5::Button2Click);
    connect(ui.Button4, &QPushButton::clicked, this, &QDialog::close);
    // The main window's lists are not read again while the editor is open: that would put another reading under it.
    context_.changes.holdLists();
}

TForm5::~TForm5() {
    context_.changes.releaseLists();
}

bool TForm5::onReadingAtOpening() const {
    return hasCurrentReading() && readings_.field(ReadingsTable::kPictureId).asString() == readingAtOpening_;
}

bool TForm5::hasCurrentReading() const {
    return readings_.isOpen() && readings_.currentRow() >= 0;
}

void TForm5::FormActivate() {
    reportFailures([&] {
        const bool hasObject = objects_.isOpen() && objects_.currentRow() >= 0;
        setWindowTitle(kCaptionPrefix + (hasObject ? objects_.field(ObjectsTable::kFio).asString() : QString()));
        textAtOpening_ = ui.DBEdit3->text();
        readingAtOpening_ = hasCurrentReading() ? readings_.field(ReadingsTable::kPictureId).asString() : QString();
        // Selected, so that the corrected value is typed over it at once.
        ui.DBEdit3->selectAll();
    });
}

void TForm5::Button1Click() {
    const bool done = reportFailures([&] {
        // Without a current reading there is no picture number either; edit() would then add a row.
        if (!hasCurrentReading() || readings_.field(ReadingsTable::kPictureId).asString().isEmpty()) {
            ui.Label4->setText(kNoPictureNumber);
            return;
        }
        const QString typed = ui.DBEdit3->text();
        if (typed == textAtOpening_)
            return;
        if (!onReadingAtOpening()) {
            context_.services.messages->inform(kReadingMoved);
            return;
        }
        // A value the operator confirms is counted in the reports: it must be a number. An empty field stays
        // allowed, as it always was here; the typed text is kept in the field to be corrected.
        if (!trimmed(typed).isEmpty() && !isReadingNumber(typed)) {
            context_.services.messages->inform(readingNumberRule());
            ui.Label4->setText(kNotSaved);
            return;
        }
        readings_.edit();
        readings_.field(ReadingsTable::kReadings).setValue(typed);
        readings_.field(ReadingsTable::kError).setValue(ReadingsTable::kSetByOperator);
        storeWithLockWaitNotice(this, [&] {
            readings_.post();
            context_.database.commitRetaining();
        });
        ui.Label4->setText(kSaved);
    });
    // The error report has said why; the status line must not go on telling of an earlier save.
    if (!done)
        ui.Label4->setText(kNotSaved);
}

void TForm5::Button3Click() {
    const bool done = reportFailures([&] {
        if (hasCurrentReading() && !onReadingAtOpening()) {
            context_.services.messages->inform(kReadingMoved);
            return;
        }
        if (hasCurrentReading()) {
            const Field recognition = readings_.field(ReadingsTable::kRecognition);
            readings_.edit();
            readings_.field(ReadingsTable::kReadings)
                .setValue(recognition.isNull() ? QVariant() : QVariant(recognition.asString()));
            readings_.field(ReadingsTable::kError).setValue(ReadingsTable::kDoubtful);
            storeWithLockWaitNotice(this, [&] {
                readings_.post();
                context_.database.commitRetaining();
            });
        }
        ui.Label4->setText(kRecognitionBack);
    });
    if (!done)
        ui.Label4->setText(kNotSaved);
}

void TForm5::Button2Click() {
    reportFailures([&] {
        if (!hasCurrentReading())
            return;
        if (!onReadingAtOpening()) {
            context_.services.messages->inform(kReadingMoved);
            return;
        }
        // The deletion stays pending in the shared transaction until its next commit.
        storeWithLockWaitNotice(this, [&] { readings_.remove(); });
        close();
    });
}

void TForm5::FormClose() {
    // Typed input that was not saved must not reach the database when the main window's list moves on.
    reportFailures([&] { readings_.cancel(); });
}
