#include "ui/main/Glav_form.h"

#include "base/DataFolder.h"
#include "base/Services.h"
#include "base/Settings.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/ObjectsTable.h"
#include "db/ReadingsTable.h"
#include "db/SchemaUpgrade.h"
#include "ui/common/DialPicture.h"
#include "ui/common/ErrorReport.h"
#include "ui/common/Gauge.h"
#include "ui/common/LockWaitNotice.h"
#include "ui/common/RowLabels.h"
#include "ui/main/About_program.h"
#include "ui/main/Help_window.h"
#include "ui/main/Threadds2select.h"
#include "ui/objects/Editor_bd.h"
#include "ui/objects/Scanner_maintenance.h"
#include "ui/objects/Service.h"
#include "ui/readings/Consumption_chart.h"
#include "ui/readings/Edit_resupt.h"
#include "ui/readings/Loading_data.h"
#include "ui/readings/Problem_object.h"
#include "ui/readings/Suspicious_readings.h"
#include "ui/reports/Expense_reports.h"
#include "ui/reports/Generate_reports.h"
#include "ui/reports/Generate_reports_all.h"
#include "ui/reports/Notrespondentsscanners.h"
#include "ui/update/Updatesoftware.h"

#include <utility>

#include <QCloseEvent>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>
#include <QScreen>

#include <functional>

using namespace vornic;

namespace {

constexpr int kMinimumObjectPanelWidth = 488;
constexpr int kMarkColumn = 0;

const QColor kDoubtfulReading(255, 247, 226);
constexpr int kTopEdgeInNormalState = 30;

QString networkTypeText(int code) {
    switch (code) {
    case 1:
        return QStringLiteral("Тип сигнала станции: GSM");
    case 2:
        return QStringLiteral("Тип сигнала станции: GPRS");
    case 3:
        return QStringLiteral("Тип сигнала станции: EG");
    case 4:
    case 5:
        return QStringLiteral("Тип сигнала станции: 3G");
    default:
        return {};
    }
}

// A white plug on a grey-brown rounded square: the device runs on mains power.
QPixmap mainsPicture() {
    QPixmap picture(113, 159);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(122, 104, 88));
    painter.drawRoundedRect(QRectF(4, 27, 105, 105), 18, 18);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(34, 62, 45, 36), 8, 8); // the plug's body
    painter.drawRect(QRectF(43, 46, 7, 18));               // its two pins
    painter.drawRect(QRectF(63, 46, 7, 18));
    painter.drawRect(QRectF(52, 96, 9, 22)); // the cord
    return picture;
}

// A window made for one opening: it goes when it closes.
QDialog* deletedOnClose(QDialog* window) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    return window;
}

// The whole number that a field's text holds, if it holds one.
std::optional<int> wholeNumber(const Field& field) {
    if (field.isNull())
        return std::nullopt;
    bool ok = false;
    const int number = field.asString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

// The first row whose field matches, reading on through the list as far as needed; -1 when none does.
int findRow(DataSet& dataSet, const QString& field, const std::function<bool(const QVariant&)>& matches) {
    const int column = dataSet.fieldIndex(field);
    if (column < 0)
        return -1;
    for (int row = 0;; ++row) {
        if (row >= dataSet.rowCount()) {
            if (!dataSet.canFetchMore())
                return -1;
            dataSet.fetchMore();
            if (row >= dataSet.rowCount())
                return -1;
        }
        if (matches(dataSet.value(row, column)))
            return row;
    }
}

// The fields the search choices name, in the order of ComboBox1's items.
const QStringList kSearchFields = {ObjectsTable::kFio, ObjectsTable::kAddress, ObjectsTable::kScanner,
                                   ObjectsTable::kPersonalAccount, ObjectsTable::kSeal};

QPixmap markPicture(bool ticked) {
    QPixmap picture(16, 16);
    picture.fill(Qt::white);
    if (ticked) {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath tick;
        tick.moveTo(3, 8);
        tick.lineTo(6.5, 12);
        tick.lineTo(13, 3.5);
        painter.setPen(QPen(QColor(0, 150, 0), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(tick);
    }
    return picture;
}

// A stored width of 0 (or none at all, as on the first start) keeps the design width: a column drawn with no
// width would hide its data from an operator who never dragged it.
int restoredWidth(const IniFile& settings, const QString& grid, const QString& field, int designWidth) {
    const int stored = readSetting(settings, settings::columnWidth(settings::mainWindowSection(), grid, field));
    return stored > 0 ? stored : designWidth;
}

} // namespace

const QStringList TForm1::kObjectFields = {
    ObjectsTable::kFio,  ObjectsTable::kAddress, ObjectsTable::kScanner, ObjectsTable::kPersonalAccount,
    ObjectsTable::kSeal, ObjectsTable::kStatus,  ObjectsTable::kSimCard, ObjectsTable::kPowerSupply};

const QStringList TForm1::kReadingFields = {ReadingsTable::kDate, ReadingsTable::kReadings, ReadingsTable::kBattery,
                                            ReadingsTable::kSignal};

TForm1::TForm1(WindowContext& context, QWidget* parent)
    : QMainWindow(parent), context_(context),
      debounceWorker_(std::make_unique<ThreadDS2Select>(
          this, ThreadDS2Select::Calls{[this] { return currentScanner(); }, [this] { openReadingsOnce(); },
                                       [this] {
                                           // A reading open in the editor stays where it was put.
                                           if (!readingsHeld_)
                                               readings_->close();
                                       }})),
      objects_(std::make_unique<DataSet>(context.database)), readings_(std::make_unique<DataSet>(context.database)),
      markSet_(markPicture(true)), markClear_(markPicture(false)) {
    ui.setupUi(this);
    ui.Splitter1->setStretchFactor(0, 0);
    ui.Splitter1->setStretchFactor(1, 1);
    setUpObjectList();
    setUpReadingsList();
    setUpMenu();
    ui.Image1->setPixmap(mainsPicture());
    ui.Image1->hide();
    showDialPicture(ui.Image2, {}); // no reading is shown yet
    ui.Gauge1->setProgress(100);
    ui.Gauge2->setProgress(10);
    connect(ui.DBGrid1, &DbGrid::rowDoubleClicked, this, &TForm1::DBGrid1DblClick);
    connect(ui.DBGrid1, &DbGrid::titleClicked, this, &TForm1::DBGrid1TitleClick);
    connect(ui.DBGrid2, &DbGrid::rowDoubleClicked, this, &TForm1::DBGrid2DblClick);
    connect(ui.DBGrid2, &DbGrid::titleClicked, this, &TForm1::DBGrid2TitleClick);
    connect(ui.Edit1, &QLineEdit::textChanged, this, &TForm1::Edit1Change);
    // The worker sleeps between moves; a list that opens empty or closes leaves no current object, a move too.
    for (auto moved : {&DataSet::positioned, &DataSet::opened, &DataSet::closed})
        connect(objects_.get(), moved, debounceWorker_.get(), &ThreadDS2Select::resume);
    connect(readings_.get(), &DataSet::positioned, this, &TForm1::IBDataSet2AfterScroll);
    // A list without rows (closed while the current object changes, an object without readings, its last reading
    // deleted) positions nowhere, and the dial of another object's reading must not stay beside it.
    const auto noReadingNoDial = [this] {
        if (readings_->isEmpty())
            showDialPicture(ui.Image2, {});
    };
    connect(readings_.get(), &DataSet::opened, this, noReadingNoDial);
    connect(readings_.get(), &DataSet::closed, this, noReadingNoDial);
    connect(readings_.get(), &DataSet::rowRemoved, this, noReadingNoDial);
    // A download, the editor and the directory change what the lists show; they say so here.
    connect(&context_.changes, &ChangeNotices::readingsChanged, this, &TForm1::refreshReadings);
    connect(&context_.changes, &ChangeNotices::objectsChanged, this, &TForm1::refreshLists);
    connect(&context_.changes, &ChangeNotices::listsReleased, this, [this] {
        if (std::exchange(listsRefreshWaits_, false)) {
            readingsRefreshWaits_ = false;
            refreshLists();
        } else if (std::exchange(readingsRefreshWaits_, false)) {
            refreshReadings();
        }
    });
    timer1_.setInterval(5000);
    connect(&timer1_, &QTimer::timeout, this, &TForm1::Timer1Timer);
}

TForm1::~TForm1() {
    // The windows made for one opening go first.
    for (QDialog* window : findChildren<QDialog*>(Qt::FindDirectChildrenOnly))
        delete window;
    // Then the debounce worker, which reads the object list and opens the readings; then the data sets, before
    // the connection they read from.
    debounceWorker_.reset();
    readings_.reset();
    objectsReadAhead_.reset();
    objects_.reset();
}

std::optional<QString> TForm1::currentScanner() const {
    if (!objects_->isOpen() || objects_->currentRow() < 0)
        return std::nullopt;
    return objects_->field(ObjectsTable::kScanner).asString();
}

void TForm1::openReadingsOnce() {
    if (readings_->isOpen())
        return;
    // A failing open is reported once, not again at every period of the debounce worker.
    try {
        readings_->open();
        readingsOpenReported_ = false;
    } catch (const Failure& failure) {
        if (!std::exchange(readingsOpenReported_, true))
            reportFailure(failure);
    }
}

void TForm1::setUpMenu() {
    const auto command = [this](QAction* action, auto handler) {
        connect(action, &QAction::triggered, this, [this, handler] { reportFailures([&] { handler(); }); });
    };
    command(ui.N2, [this] { showModal(deletedOnClose(new TForm2(context_, this))); });
    command(ui.N3, [this] { showModal(windows_.form11); });
    command(ui.NSuspiciousReadings, [this] {
        auto* review = new TForm14(context_, this);
        connect(review, &TForm14::readingChosen, this,
                [this, review](int object, const QString& reading) { openReading(object, reading, review); });
        showModal(deletedOnClose(review));
    });
    command(ui.N5, [this] { showModal(windows_.form4); });
    command(ui.N6, [this] { showModal(windows_.form8); });
    command(ui.NScannerMaintenance, [this] { showModal(deletedOnClose(new TForm16(context_, this))); });
    command(ui.N8, [this] { showModal(windows_.form3); });
    command(ui.N9, [this] { showModal(windows_.form7); });
    command(ui.N10, [this] { showModal(windows_.form10); });
    command(ui.N11, [this] { showModal(windows_.form13); });
    command(ui.NConsumptionChart, [this] {
        if (!objects_->isOpen() || objects_->currentRow() < 0) {
            context_.services.messages->inform(QStringLiteral("Выберите объект в списке контролируемых объектов."));
            return;
        }
        showModal(deletedOnClose(new TForm15(context_, objects_->field(ObjectsTable::kId).asInteger(),
                                             objects_->field(ObjectsTable::kFio).asString(),
                                             objects_->field(ObjectsTable::kScanner).asString(), this)));
    });
    command(ui.N13, [this] {
        THelpWindow help(this);
        showModal(&help);
    });
    command(ui.N14, [this] { showModal(windows_.form6); });
    command(ui.N16, [this] { close(); });
}

void TForm1::showModal(QDialog* window) {
    if (!window)
        return;
    window->move(frameGeometry().center() - window->rect().center());
    window->exec();
}

void TForm1::setUpObjectList() {
    objects_->setSelectSql(ObjectsTable::kSelectAll);
    objects_->setModifySql(ObjectsTable::kModifyStatusAndMark);
    objects_->setRowLabel(objectRowLabel);
    objectsReadAhead_ = std::make_unique<ListReadAhead>(*objects_);
    const int toolkitDefault = ui.DBGrid1->horizontalHeader()->defaultSectionSize();
    ui.DBGrid1->bind(
        *objects_, {
                       {ObjectsTable::kMark, QStringLiteral(" "), true, 21},
                       {ObjectsTable::kFio, QStringLiteral("ФИО абонента (Название объекта)"), true, 200},
                       {ObjectsTable::kAddress, QStringLiteral("Адрес"), true, 80},
                       {ObjectsTable::kScanner, QStringLiteral("ID сканера"), true, toolkitDefault},
                       {ObjectsTable::kPersonalAccount, QStringLiteral("ID абонента"), true, toolkitDefault},
                       {ObjectsTable::kSeal, QStringLiteral("№ Пломбы"), true, toolkitDefault},
                       {ObjectsTable::kStatus, QStringLiteral("Статус"), true, toolkitDefault},
                       {ObjectsTable::kSimCard, QStringLiteral("№ Сим-карты"), true, toolkitDefault},
                       {ObjectsTable::kPowerSupply, QStringLiteral("Электропитание устройства"), true, toolkitDefault},
                   });
    ui.DBGrid1->setCellPainter(kMarkColumn,
                               [this](QPainter* painter, const QRect& cell, int row) { drawMark(painter, cell, row); });
}

void TForm1::setUpReadingsList() {
    readings_->setSelectSql(ReadingsTable::kOfObjectNewestFirst);
    readings_->setModifySql(ReadingsTable::kModify);
    readings_->setDeleteSql(ReadingsTable::kDelete);
    readings_->setRowLabel([this](const DataSet& readings, int row) {
        QString label = readingRowLabel(readings, row);
        if (objects_->currentRow() >= 0)
            label += QStringLiteral(", объект «%1»").arg(objects_->field(ObjectsTable::kFio).asString().trimmed());
        return label;
    });
    readings_->setMaster(objects_.get());
    ui.DBGrid2->setRowBackground([this](int row) -> std::optional<QColor> {
        const QVariant error = ui.DBGrid2->dataModel()->fieldValue(row, ReadingsTable::kError);
        if (!error.isNull() && error.toInt() == ReadingsTable::kDoubtful)
            return kDoubtfulReading;
        return std::nullopt;
    });
    const int toolkitDefault = ui.DBGrid2->horizontalHeader()->defaultSectionSize();
    ui.DBGrid2->bind(*readings_,
                     {
                         {ObjectsTable::kId, QStringLiteral("ID сканера"), false, toolkitDefault},
                         {ReadingsTable::kDate, QStringLiteral("Дата"), true, 150},
                         {ReadingsTable::kPictureId, QStringLiteral("ID изображения "), false, toolkitDefault},
                         {ReadingsTable::kReadings, QStringLiteral("Показания"), true, toolkitDefault},
                         {ReadingsTable::kRecognition, QStringLiteral("Распознаные"), false, toolkitDefault},
                         {ReadingsTable::kBattery, QStringLiteral("Батарея"), true, toolkitDefault},
                         {ReadingsTable::kPicture, QStringLiteral("Картинка"), false, toolkitDefault},
                         {ReadingsTable::kSignal, QString(), true, toolkitDefault},
                         {ReadingsTable::kNetwork, QString(), false, toolkitDefault},
                         {ReadingsTable::kError, QString(), false, toolkitDefault},
                     });
}

bool TForm1::FormCreate() {
    const IniFile options = settings();
    const QString databaseName = chooseDatabaseName(options, context_.dataFolder);
    try {
        context_.database.connect(databaseName);
    } catch (const Failure& failure) {
        // The first line is the one operators know; what follows tells them, or whoever they call, what to fix.
        context_.services.messages->inform(
            QStringLiteral("Нет подключения к Базе Данных. Проверьте подключение в Базе Данных.\n\n") + failure.text());
        context_.services.process->exitProcess(1);
        return false;
    }
    // A failure from here on is reported and the program still runs. A refused schema description leaves the
    // database as it was, so the lists open as on any other start.
    reportFailures([&] { upgradeSchema(context_.database, context_.dataFolder); });
    reportFailures([&] {
        objects_->open();
        restoreLayout();
    });
    return true;
}

void TForm1::restoreLayout() {
    const IniFile options = settings();
    const int panelWidth =
        std::max(kMinimumObjectPanelWidth,
                 readSetting(options, settings::panelWidth(settings::mainWindowSection(), QStringLiteral("Panel2"))));
    ui.Panel2->resize(panelWidth, ui.Panel2->height());
    ui.Splitter1->setSizes({panelWidth, std::max(1, ui.Splitter1->width() - panelWidth)});

    DataSetModel* objectModel = ui.DBGrid1->dataModel();
    for (const QString& field : kObjectFields) {
        const int column = objectModel->columnOf(field);
        ui.DBGrid1->setColumnWidth(column, restoredWidth(options, QStringLiteral("DBGrid1"), field,
                                                         objectModel->columns()[column].designWidth));
    }
    // The readings list fills its panel; its stored width is read for the record only.
    readSetting(options, settings::panelWidth(settings::mainWindowSection(), QStringLiteral("DBGrid2")));
    DataSetModel* readingModel = ui.DBGrid2->dataModel();
    for (const QString& field : kReadingFields) {
        const int column = readingModel->columnOf(field);
        ui.DBGrid2->setColumnWidth(column, restoredWidth(options, QStringLiteral("DBGrid2"), field,
                                                         readingModel->columns()[column].designWidth));
    }
}

void TForm1::FormClose() {
    reportFailures([&] {
        IniFile options = settings();
        const QString section = settings::mainWindowSection();
        writeSetting(options, settings::panelWidth(section, QStringLiteral("Panel2")), ui.Panel2->width());
        for (const QString& field : kObjectFields)
            writeSetting(options, settings::columnWidth(section, QStringLiteral("DBGrid1"), field),
                         ui.DBGrid1->columnWidth(ui.DBGrid1->dataModel()->columnOf(field)));
        writeSetting(options, settings::panelWidth(section, QStringLiteral("DBGrid2")), ui.DBGrid2->width());
        for (const QString& field : kReadingFields)
            writeSetting(options, settings::columnWidth(section, QStringLiteral("DBGrid2"), field),
                         ui.DBGrid2->columnWidth(ui.DBGrid2->dataModel()->columnOf(field)));
    });
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
    Q_EMIT closed();
}

void TForm1::drawMark(QPainter* painter, const QRect& cell, int row) const {
    painter->fillRect(cell, Qt::white);
    const QVariant mark = ui.DBGrid1->dataModel()->fieldValue(row, ObjectsTable::kMark);
    const QPixmap& picture = !mark.isNull() && mark.toInt() == 1 ? markSet_ : markClear_;
    const int cellRight = cell.left() + cell.width();
    painter->drawPixmap((cell.left() + cellRight - picture.width()) / 2, cell.top(), picture);
}

void TForm1::DBGrid1DblClick() {
    reportFailures([&] {
        if (objects_->currentRow() < 0)
            return;
        Field mark = objects_->field(ObjectsTable::kMark);
        const bool wasZero = !mark.isNull() && mark.asInteger() == 0;
        objects_->edit();
        mark.setValue(wasZero ? 1 : 0);
        storeWithLockWaitNotice(this, [&] {
            objects_->post();
            context_.database.commitRetaining();
        });
    });
}

void TForm1::DBGrid1TitleClick(int column) {
    reportFailures([&] {
        const QString field = ui.DBGrid1->dataModel()->columns().at(column).field;
        QString select;
        if (field == ObjectsTable::kMark)
            select = objectsSortFlag_ ? ObjectsTable::kSelectMarked : ObjectsTable::kSelectAll;
        else
            select = ObjectsTable::selectOrderedBy(field, !objectsSortFlag_);
        objectsSortFlag_ = !objectsSortFlag_;
        objects_->close();
        objects_->setSelectSql(select);
        objects_->open();
    });
}

void TForm1::Edit1Change(const QString& text) {
    reportFailures([&] {
        const int choice = ui.ComboBox1->currentIndex();
        if (!objects_->isOpen() || choice < 0 || choice >= kSearchFields.size())
            return;
        objects_->locatePrefix(kSearchFields[choice], text);
    });
}

void TForm1::DBGrid2TitleClick(int) {
    reportFailures([&] {
        const QString select =
            readingsSortFlag_ ? ReadingsTable::kOfObjectOldestFirst : ReadingsTable::kOfObjectNewestFirst;
        readingsSortFlag_ = !readingsSortFlag_;
        readings_->close();
        readings_->setSelectSql(select);
        readings_->open();
    });
}

void TForm1::DBGrid2DblClick() {
    reportFailures([&] { showModal(deletedOnClose(new TForm5(context_, *objects_, *readings_, this))); });
}

void TForm1::openReading(int object, const QString& reading, QWidget* over) {
    reportFailures([&] {
        const auto isObject = [object](const QVariant& value) { return !value.isNull() && value.toInt() == object; };
        int objectRow = findRow(*objects_, ObjectsTable::kId, isObject);
        if (objectRow < 0) {
            // The list shows only the marked objects: the whole directory holds the one asked for.
            objects_->close();
            objects_->setSelectSql(ObjectsTable::kSelectAll);
            objects_->open();
            objectRow = findRow(*objects_, ObjectsTable::kId, isObject);
        }
        if (objectRow < 0)
            return;
        // The debounce worker sees the object change under it and would close the readings list while the
        // editor shows one of them; the editor is modal, so the object stays put until it closes.
        const QScopedValueRollback hold(readingsHeld_, true);
        objects_->moveTo(objectRow);
        // The debounce worker opens the readings only after a pause; the editor needs them now.
        if (!readings_->isOpen())
            readings_->open();
        const QString wanted = reading.trimmed();
        const int readingRow = findRow(*readings_, ReadingsTable::kPictureId,
                                       [&](const QVariant& value) { return value.toString().trimmed() == wanted; });
        if (readingRow < 0)
            return;
        readings_->moveTo(readingRow);
        showModal(deletedOnClose(new TForm5(context_, *objects_, *readings_, over)));
    });
}

void TForm1::IBDataSet2AfterScroll() {
    reportFailures([&] {
        if (readings_->currentRow() < 0)
            return;
        const Field image = readings_->field(ReadingsTable::kPicture);
        showDialPicture(ui.Image2, image.isNull() ? QByteArray() : image.asBytes());
        // Text that is no whole number leaves a gauge as it was, like an empty value.
        if (const auto battery = wholeNumber(readings_->field(ReadingsTable::kBattery)))
            ui.Gauge1->setProgress(*battery);
        if (const auto signal = wholeNumber(readings_->field(ReadingsTable::kSignal)))
            ui.Gauge2->setProgress(*signal);
        if (const auto network = wholeNumber(readings_->field(ReadingsTable::kNetwork))) {
            const QString text = networkTypeText(*network);
            if (!text.isEmpty())
                ui.Label1->setText(text);
        }
        const bool mains =
            objects_->currentRow() >= 0 &&
            objects_->field(ObjectsTable::kPowerSupply).asString().trimmed() == ObjectsTable::kMainsPower;
        ui.Image1->setVisible(mains);
        ui.Gauge1->setVisible(!mains);
        ui.Label7->setVisible(!mains);
    });
}

void TForm1::Timer1Timer() {
    if (windows_.form9)
        windows_.form9->show();
}

void TForm1::FormActivate() {
    if (!isMaximized())
        showMaximized();
}

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(event);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (windowState() == Qt::WindowNoState && isVisible()) {
        const QScreen* display = screen();
        move(x(), (display ? display->geometry().top() : 0) + kTopEdgeInNormalState);
    }
}

void TForm1::refreshReadings() {
    if (context_.changes.listsHeld()) {
        readingsRefreshWaits_ = true;
        return;
    }
    reportFailures([&] {
        readings_->close();
        readings_->open();
    });
}

void TForm1::refreshLists() {
    if (context_.changes.listsHeld()) {
        listsRefreshWaits_ = true;
        return;
    }
    reportFailures([&] {
        readings_->close();
        objects_->close();
        objects_->open();
        readings_->open();
    });
}
