#include "ui/Glav_form.h"

#include "app/DataFolder.h"
#include "app/Services.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/SchemaUpgrade.h"
#include "ui/ErrorReport.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>

using namespace vornic;

namespace {

const QString kSection = QStringLiteral("TForm1");
constexpr int kMinimumObjectPanelWidth = 488;
constexpr int kMarkColumn = 0;

const QString kObjectsSelect = QStringLiteral("SELECT *  FROM LIST_OBJECTS");
const QString kObjectsModify =
    QStringLiteral("UPDATE LIST_OBJECTS SET STATUS=:STATUS, CHECK_GRID=:CHECK_GRID WHERE ID_OBJECT=?old_ID_OBJECT");
const QString kReadingsSelect =
    QStringLiteral("SELECT*from Image_object_date Where (id_object=:id_object) ORDER BY DAT DESC");
const QString kReadingsModify = QStringLiteral(
    "UPDATE IMAGE_OBJECT_DATE SET error=:error, ID_OBJECT=:ID_OBJECT, DAT=:DAT, READINGS= :READINGS, BAT=:BAT, "
    "CSQ=:CSQ, NSMOD=:NSMOD WHERE   ID_IMAG = ?old_ID_IMAG");
const QString kReadingsDelete = QStringLiteral("delete from IMAGE_OBJECT_DATE where ID_IMAG=?old_ID_IMAG");

// The fields the search choices name, in the order of ComboBox1's items.
const QStringList kSearchFields = {QStringLiteral("FIO"), QStringLiteral("ADDRESS"), QStringLiteral("ID_SCANNER"),
                                   QStringLiteral("PERSONAL_ACCOUNT"), QStringLiteral("NOMER_PLOMB")};

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
int restoredWidth(const IniFile& settings, const QString& key, int designWidth) {
    const int stored = settings.readInteger(kSection, key, 0);
    return stored > 0 ? stored : designWidth;
}

} // namespace

const QStringList TForm1::kObjectFields = {
    QStringLiteral("FIO"),         QStringLiteral("ADDRESS"), QStringLiteral("ID_SCANNER"),
    QStringLiteral("PERSONAL_ACCOUNT"), QStringLiteral("NOMER_PLOMB"), QStringLiteral("STATUS"),
    QStringLiteral("SIM_CARD"),    QStringLiteral("POWER_DEVICES")};

const QStringList TForm1::kReadingFields = {QStringLiteral("DAT"), QStringLiteral("READINGS"), QStringLiteral("BAT"),
                                            QStringLiteral("CSQ")};

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), database_(std::make_unique<Database>()),
      objects_(std::make_unique<DataSet>(*database_)), readings_(std::make_unique<DataSet>(*database_)),
      markSet_(markPicture(true)), markClear_(markPicture(false)) {
    ui.setupUi(this);
    ui.Splitter1->setStretchFactor(0, 0);
    ui.Splitter1->setStretchFactor(1, 1);
    setUpObjectList();
    setUpReadingsList();
    connect(ui.DBGrid1, &DbGrid::rowDoubleClicked, this, &TForm1::DBGrid1DblClick);
    connect(ui.DBGrid1, &DbGrid::titleClicked, this, &TForm1::DBGrid1TitleClick);
    connect(ui.Edit1, &QLineEdit::textChanged, this, &TForm1::Edit1Change);
}

TForm1::~TForm1() {
    // The data sets go before the connection they read from.
    readings_.reset();
    objects_.reset();
}

void TForm1::setUpObjectList() {
    objects_->setSelectSql(kObjectsSelect);
    objects_->setModifySql(kObjectsModify);
    const int toolkitDefault = ui.DBGrid1->horizontalHeader()->defaultSectionSize();
    ui.DBGrid1->bind(*objects_, {
                                    {QStringLiteral("CHECK_GRID"), QStringLiteral(" "), true, 21},
                                    {QStringLiteral("FIO"), QStringLiteral("ФИО абонента (Название объекта)"), true, 200},
                                    {QStringLiteral("ADDRESS"), QStringLiteral("Адрес"), true, 80},
                                    {QStringLiteral("ID_SCANNER"), QStringLiteral("ID сканера"), true, toolkitDefault},
                                    {QStringLiteral("PERSONAL_ACCOUNT"), QStringLiteral("ID абонента"), true,
                                     toolkitDefault},
                                    {QStringLiteral("NOMER_PLOMB"), QStringLiteral("№ Пломбы"), true, toolkitDefault},
                                    {QStringLiteral("STATUS"), QStringLiteral("Статус"), true, toolkitDefault},
                                    {QStringLiteral("SIM_CARD"), QStringLiteral("№ Сим-карты"), true, toolkitDefault},
                                    {QStringLiteral("POWER_DEVICES"), QStringLiteral("Электропитание устройства"),
                                     true, toolkitDefault},
                                });
    ui.DBGrid1->setCellPainter(kMarkColumn, [this](QPainter* painter, const QRect& cell, int row) {
        drawMark(painter, cell, row);
    });
}

void TForm1::setUpReadingsList() {
    readings_->setSelectSql(kReadingsSelect);
    readings_->setModifySql(kReadingsModify);
    readings_->setDeleteSql(kReadingsDelete);
    readings_->setMaster(objects_.get());
    const int toolkitDefault = ui.DBGrid2->horizontalHeader()->defaultSectionSize();
    ui.DBGrid2->bind(*readings_, {
                                     {QStringLiteral("ID_OBJECT"), QStringLiteral("ID сканера"), false, toolkitDefault},
                                     {QStringLiteral("DAT"), QStringLiteral("Дата"), true, 130},
                                     {QStringLiteral("ID_IMAG"), QStringLiteral("ID изображения "), false,
                                      toolkitDefault},
                                     {QStringLiteral("READINGS"), QStringLiteral("Показания"), true, toolkitDefault},
                                     {QStringLiteral("RECOGNITION"), QStringLiteral("Распознаные"), false,
                                      toolkitDefault},
                                     {QStringLiteral("BAT"), QStringLiteral("Батарея"), true, toolkitDefault},
                                     {QStringLiteral("IMAGE"), QStringLiteral("Картинка"), false, toolkitDefault},
                                     {QStringLiteral("CSQ"), QString(), true, toolkitDefault},
                                     {QStringLiteral("NSMOD"), QString(), false, toolkitDefault},
                                     {QStringLiteral("ERROR"), QString(), false, toolkitDefault},
                                 });
}

IniFile TForm1::settings() const { return IniFile(dataFile(dataFolder_, QStringLiteral("options.ini"))); }

bool TForm1::FormCreate() {
    dataFolder_ = vornic::dataFolder();
    const IniFile options = settings();
    const QString databaseName = chooseDatabaseName(options, dataFolder_);
    try {
        database_->connect(databaseName);
    } catch (const Failure&) {
        services().messages->inform(
            QStringLiteral("Нет подключения к Базе Данных. Проверьте подключение в Базе Данных."));
        services().process->exitProcess(1);
        return false;
    }
    // A failure from here on is reported, and the remaining steps are skipped; the program still runs.
    reportFailures([&] {
        upgradeSchema(*database_, dataFolder_);
        objects_->open();
        restoreLayout();
    });
    return true;
}

void TForm1::restoreLayout() {
    const IniFile options = settings();
    const int panelWidth = std::max(kMinimumObjectPanelWidth, options.readInteger(kSection, QStringLiteral("Panel2"), 0));
    ui.Panel2->resize(panelWidth, ui.Panel2->height());
    ui.Splitter1->setSizes({panelWidth, std::max(1, ui.Splitter1->width() - panelWidth)});

    DataSetModel* objectModel = ui.DBGrid1->dataModel();
    for (const QString& field : kObjectFields) {
        const int column = objectModel->columnOf(field);
        ui.DBGrid1->setColumnWidth(column, restoredWidth(options, QStringLiteral("DBGrid1_") + field,
                                                         objectModel->columns()[column].designWidth));
    }
    // The readings list fills its panel; its stored width is read for the record only.
    options.readInteger(kSection, QStringLiteral("DBGrid2"), 0);
    DataSetModel* readingModel = ui.DBGrid2->dataModel();
    for (const QString& field : kReadingFields) {
        const int column = readingModel->columnOf(field);
        ui.DBGrid2->setColumnWidth(column, restoredWidth(options, QStringLiteral("DBGrid2_") + field,
                                                         readingModel->columns()[column].designWidth));
    }
}

void TForm1::FormClose() {
    reportFailures([&] {
        IniFile options = settings();
        options.writeInteger(kSection, QStringLiteral("Panel2"), ui.Panel2->width());
        for (const QString& field : kObjectFields)
            options.writeInteger(kSection, QStringLiteral("DBGrid1_") + field,
                                 ui.DBGrid1->columnWidth(ui.DBGrid1->dataModel()->columnOf(field)));
        options.writeInteger(kSection, QStringLiteral("DBGrid2"), ui.DBGrid2->width());
        for (const QString& field : kReadingFields)
            options.writeInteger(kSection, QStringLiteral("DBGrid2_") + field,
                                 ui.DBGrid2->columnWidth(ui.DBGrid2->dataModel()->columnOf(field)));
    });
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TForm1::drawMark(QPainter* painter, const QRect& cell, int row) const {
    painter->fillRect(cell, Qt::white);
    const QVariant mark = ui.DBGrid1->dataModel()->fieldValue(row, QStringLiteral("CHECK_GRID"));
    const QPixmap& picture = !mark.isNull() && mark.toInt() == 1 ? markSet_ : markClear_;
    const int cellRight = cell.left() + cell.width();
    painter->drawPixmap((cell.left() + cellRight - picture.width()) / 2, cell.top(), picture);
}

void TForm1::DBGrid1DblClick() {
    reportFailures([&] {
        if (objects_->currentRow() < 0)
            return;
        Field mark = objects_->field(QStringLiteral("CHECK_GRID"));
        const bool wasZero = !mark.isNull() && mark.asInteger() == 0;
        objects_->edit();
        mark.setValue(wasZero ? 1 : 0);
        objects_->post();
        database_->commitRetaining();
    });
}

void TForm1::DBGrid1TitleClick(int column) {
    reportFailures([&] {
        const QString field = ui.DBGrid1->dataModel()->columns().at(column).field;
        QString select;
        if (field == QStringLiteral("CHECK_GRID"))
            select = objectsSortFlag_ ? QStringLiteral("select * from list_objects where list_objects.check_grid = 1")
                                      : QStringLiteral("select * from list_objects");
        else
            select = QStringLiteral("SELECT*from LIST_OBJECTS ORDER BY ") + field +
                     (objectsSortFlag_ ? QString() : QStringLiteral(" DESC"));
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
