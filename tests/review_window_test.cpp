#include "base/IniFile.h"
#include "support/MainWindowFixture.h"
#include "support/TestJpeg.h"
#include "ui/readings/Problem_object.h"

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

using namespace vornic;

namespace {

const QColor kHandled(234, 255, 221);

QByteArray jpeg(QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    return test::encodeJpeg(picture);
}

class ReviewWindowTest : public test::MainWindowTest {
protected:
    std::unique_ptr<TForm11> review;
    int object = 0;

    void SetUp() override { object = fixture.addObject(QStringLiteral("Иванов И. И."), QStringLiteral("860001")); }

    void TearDown() override {
        review.reset(); // before the session it was given
    }

    // A reading whose recognised value is also its value, as the download stores it.
    void addReading(const QString& id, const QString& value, int error = 1, const QVariant& image = {}) {
        fixture.addReading(
            {object, id, QDateTime(QDate(2024, 5, 1), QTime(8, id.size())), image, value, 50, 20, 2, error});
    }

    // Opens the review as the main window's menu does: showing it activates it.
    void openReview() {
        if (!review)
            review = std::make_unique<TForm11>(context());
        review->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return review->isActiveWindow(); }));
    }

    Ui::TForm11& form() { return review->form(); }
    DataSet& list() { return review->IBDataSet1(); }

    int rowOf(const QString& id) {
        const int column = list().fieldIndex(QStringLiteral("ID_IMAG"));
        for (int row = 0; row < list().rowCount(); ++row)
            if (list().value(row, column).toString() == id)
                return row;
        return -1;
    }
    void moveTo(const QString& id) {
        ASSERT_GE(rowOf(id), 0) << id.toStdString();
        list().moveTo(rowOf(id));
    }
    // Types over the whole value, as the operator does after the field has selected it.
    void type(const QString& text) {
        form().DBEdit5->selectAll();
        QTest::keyClicks(form().DBEdit5, text);
    }
    QVariant committed(const QString& column, const QString& id) const {
        return fixture.committedValue(
            QStringLiteral("select %1 from image_object_date where id_imag='%2'").arg(column, id));
    }
    std::optional<QColor> background(const QString& id) { return form().DBGrid1->rowBackground(rowOf(id)); }
};

} // namespace

TEST_F(ReviewWindowTest, ListsTheDoubtfulReadingsOfKnownObjectsBesideTheirValues) {
    addReading(QStringLiteral("doubtful"), QStringLiteral("01234"), 1, jpeg(QSize(64, 48)));
    addReading(QStringLiteral("accepted"), QStringLiteral("11111"), 0);
    addReading(QStringLiteral("handled"), QStringLiteral("22222"), 99);
    fixture.exec(QStringLiteral("insert into image_object_date (id_object, id_imag, readings, error) "
                                "values (9999, 'orphan', '33333', 1)"));
    openWindow();
    openReview();

    EXPECT_EQ(review->windowTitle(), QStringLiteral("Список  объектов  с некорректными  показаниями"));
    ASSERT_EQ(list().rowCount(), 1) << "only doubtful readings of objects in the list";
    EXPECT_EQ(list().currentRow(), 0);
    const QStringList titles = {QStringLiteral("ID сканера"), QStringLiteral("ФИО абонента"),
                                QStringLiteral("Адрес"),      QStringLiteral("Дата"),
                                QStringLiteral("Показания"),  QStringLiteral("Распознанные")};
    for (int column = 0; column < titles.size(); ++column)
        EXPECT_EQ(form().DBGrid1->model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
    EXPECT_EQ(form().DBGrid1->model()->columnCount(), titles.size());

    // The side panel shows the row; only "Реальные показания" takes typing.
    const QList<std::tuple<QLineEdit*, QString, bool>> fields = {
        {form().DBEdit1, QStringLiteral("Иванов И. И."), false},
        {form().DBEdit2, QString(), false},
        {form().DBEdit3, QStringLiteral("860001"), false},
        {form().DBEdit4, QStringLiteral("01.05.2024 8:08:00"), false},
        {form().DBEdit5, QStringLiteral("01234"), true},
        {form().DBEdit6, QStringLiteral("01234"), false},
    };
    for (const auto& [edit, text, enabled] : fields) {
        EXPECT_EQ(edit->text(), text) << edit->objectName().toStdString();
        EXPECT_EQ(edit->isEnabled(), enabled) << edit->objectName().toStdString();
    }
    EXPECT_TRUE(form().Image1->isVisibleTo(review.get()));
    EXPECT_EQ(form().Image1->pixmap().size(), QSize(64, 48));
    EXPECT_EQ(background(QStringLiteral("doubtful")), std::nullopt);
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ReviewWindowTest, ButtonsConfirmCorrectOrPutBackAndHandledRowsStayListedUntilTheNextOpening) {
    struct Case {
        QString id;
        QString typed; // empty: nothing typed
        QList<void (TForm11::*)()> presses;
        QString readings;
        int error;
    };
    const QList<Case> cases = {
        {QStringLiteral("confirmed"), {}, {&TForm11::Button1Click}, QStringLiteral("01234"), 99},
        {QStringLiteral("corrected"), QStringLiteral("01239"), {&TForm11::Button1Click}, QStringLiteral("01239"), 99},
        {QStringLiteral("put back"),
         QStringLiteral("01239"),
         {&TForm11::Button1Click, &TForm11::Button3Click},
         QStringLiteral("01234"),
         1},
        {QStringLiteral("typed over, put back"),
         QStringLiteral("7"),
         {&TForm11::Button3Click},
         QStringLiteral("01234"),
         1},
    };
    for (const Case& c : cases)
        addReading(c.id, QStringLiteral("01234"));
    // The server's value may come with blanks and control characters around it; they are not put back.
    fixture.exec(QStringLiteral("update image_object_date set recognition=' ' || ascii_char(9) || '01234 ' || "
                                "ascii_char(10) where id_imag in ('put back', 'typed over, put back')"));
    openWindow();
    openReview();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.id.toStdString());
        moveTo(c.id);
        if (!c.typed.isEmpty())
            type(c.typed);
        for (const auto press : c.presses)
            (review.get()->*press)();
        EXPECT_EQ(committed(QStringLiteral("readings"), c.id).toString(), c.readings);
        EXPECT_EQ(committed(QStringLiteral("error"), c.id).toInt(), c.error);
        EXPECT_EQ(form().DBEdit5->text(), c.readings);
        EXPECT_EQ(background(c.id), c.error == 1 ? std::nullopt : std::optional<QColor>(kHandled));
    }
    EXPECT_TRUE(services.messages.shown.isEmpty());

    // Coming back to the window from elsewhere is no new opening: the handled rows stay in sight.
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(review.get(), &activation);
    EXPECT_EQ(list().rowCount(), cases.size());
    EXPECT_EQ(background(QStringLiteral("confirmed")), kHandled);

    review->close();
    openReview();
    EXPECT_EQ(list().rowCount(), 2);
    EXPECT_EQ(rowOf(QStringLiteral("confirmed")), -1);
    EXPECT_EQ(rowOf(QStringLiteral("corrected")), -1);
}

TEST_F(ReviewWindowTest, AValueTypedAndLeftIsStoredStillDoubtfulButOneLeftByClosingIsDropped) {
    for (const QString& id : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
        addReading(id, QStringLiteral("00100"));
    openWindow();
    openReview();
    moveTo(QStringLiteral("a"));

    type(QStringLiteral("00150"));
    form().DBGrid1->setFocus();
    QTest::keyClick(form().DBGrid1, list().currentRow() + 1 < list().rowCount() ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_NE(rowOf(QStringLiteral("a")), list().currentRow());
    EXPECT_EQ(list().value(rowOf(QStringLiteral("a")), list().fieldIndex(QStringLiteral("READINGS"))).toString(),
              QStringLiteral("00150"));
    EXPECT_EQ(background(QStringLiteral("a")), std::nullopt) << "still doubtful";
    EXPECT_EQ(committed(QStringLiteral("readings"), QStringLiteral("a")).toString(), QStringLiteral("00100"))
        << "stored, but durable only with the next commit";

    moveTo(QStringLiteral("b"));
    type(QStringLiteral("00999"));
    review->close();
    openReview();
    EXPECT_EQ(list().rowCount(), 3) << "both still doubtful";
    EXPECT_EQ(review->focusWidget(), form().DBEdit5) << "each opening starts in the field, not where the last ended";
    moveTo(QStringLiteral("b"));
    EXPECT_EQ(form().DBEdit5->text(), QStringLiteral("00100"));

    moveTo(QStringLiteral("c"));
    review->Button1Click(); // its commit makes what was stored before durable too
    EXPECT_EQ(committed(QStringLiteral("readings"), QStringLiteral("a")).toString(), QStringLiteral("00150"));
    EXPECT_EQ(committed(QStringLiteral("error"), QStringLiteral("a")).toInt(), 1);
    EXPECT_EQ(committed(QStringLiteral("readings"), QStringLiteral("b")).toString(), QStringLiteral("00100"));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ReviewWindowTest, EachReadingShowsItsOwnPictureOrThatItHasNone) {
    const QByteArray large = jpeg(QSize(80, 60));
    addReading(QStringLiteral("small"), QStringLiteral("1"), 1, jpeg(QSize(40, 30)));
    addReading(QStringLiteral("none"), QStringLiteral("2"));
    addReading(QStringLiteral("large"), QStringLiteral("3"), 1, large);
    addReading(QStringLiteral("gif"), QStringLiteral("4"), 1, QByteArray("GIF89a"));
    addReading(QStringLiteral("broken"), QStringLiteral("5"), 1, large.left(large.size() / 2));
    openWindow();
    openReview();

    // Each reading and the picture size then shown; an invalid size: "Нет снимка", whatever was shown before.
    const QList<std::pair<QString, QSize>> walk = {
        {QStringLiteral("none"), {}},        {QStringLiteral("small"), {40, 30}}, {QStringLiteral("none"), {}},
        {QStringLiteral("large"), {80, 60}}, {QStringLiteral("gif"), {}},         {QStringLiteral("large"), {80, 60}},
        {QStringLiteral("broken"), {}},
    };
    for (const auto& [id, size] : walk) {
        SCOPED_TRACE(id.toStdString());
        moveTo(id);
        EXPECT_TRUE(form().Image1->isVisibleTo(review.get()));
        if (size.isValid()) {
            EXPECT_EQ(form().Image1->pixmap().size(), size);
            EXPECT_TRUE(form().Image1->text().isEmpty());
        } else {
            EXPECT_TRUE(form().Image1->pixmap().isNull());
            EXPECT_EQ(form().Image1->text(), QStringLiteral("Нет снимка"));
        }
    }
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ReviewWindowTest, EnterOnAnEmptyValueAsksForOneAndTheReadingStaysDoubtfulAndCurrent) {
    addReading(QStringLiteral("a"), QString());
    addReading(QStringLiteral("b"), QStringLiteral("00002"));
    openWindow();
    openReview();

    for (const QString& id : {QStringLiteral("a"), QStringLiteral("b")}) {
        SCOPED_TRACE(id.toStdString());
        moveTo(id);
        const int row = list().currentRow();
        form().DBEdit5->setFocus();
        type(QStringLiteral("  ")); // stored empty, or typed over with blanks
        QTest::keyClick(form().DBEdit5, Qt::Key_Return);
        ASSERT_EQ(services.messages.shown.size(), 1);
        EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Information);
        EXPECT_EQ(services.messages.shown[0].text,
                  QStringLiteral("Введите показания: поле «Реальные показания» пусто."));
        services.messages.shown.clear();
        EXPECT_EQ(list().currentRow(), row);
        EXPECT_EQ(background(id), std::nullopt) << "still doubtful";
        EXPECT_EQ(committed(QStringLiteral("error"), id).toInt(), 1);
    }

    // The value typed then is confirmed as usual.
    type(QStringLiteral("00003"));
    QTest::keyClick(form().DBEdit5, Qt::Key_Return);
    EXPECT_EQ(committed(QStringLiteral("readings"), QStringLiteral("b")).toString(), QStringLiteral("00003"));
    EXPECT_EQ(committed(QStringLiteral("error"), QStringLiteral("b")).toInt(), 99);
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

// A confirmed value leaves the review as the meter's reading: it must be a number, typed or recognised. A refused
// one keeps the operator on the reading, still doubtful, with the text to correct.
TEST_F(ReviewWindowTest, AValueThatIsNoNumberIsNotConfirmedAndTheReadingStaysDoubtful) {
    const QString notANumber =
        QStringLiteral("Показание должно быть числом: цифры и не более одного десятичного разделителя (запятая или "
                       "точка).");
    addReading(QStringLiteral("typed"), QStringLiteral("00100"));
    addReading(QStringLiteral("recognised"), QStringLiteral("12?4"));
    openWindow();
    openReview();

    moveTo(QStringLiteral("typed"));
    const int row = list().currentRow();
    type(QStringLiteral("12abc!"));
    review->Button1Click();
    form().DBEdit5->setFocus();
    QTest::keyClick(form().DBEdit5, Qt::Key_Return);
    EXPECT_EQ(services.messages.texts(), QStringList({notANumber, notANumber}));
    services.messages.shown.clear();
    EXPECT_EQ(list().currentRow(), row);
    EXPECT_EQ(form().DBEdit5->text(), QStringLiteral("12abc!"));
    EXPECT_EQ(background(QStringLiteral("typed")), std::nullopt) << "still doubtful";
    EXPECT_EQ(committed(QStringLiteral("readings"), QStringLiteral("typed")).toString(), QStringLiteral("00100"));
    EXPECT_EQ(committed(QStringLiteral("error"), QStringLiteral("typed")).toInt(), 1);

    type(QStringLiteral("100,5"));
    review->Button1Click();
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
    EXPECT_EQ(committed(QStringLiteral("readings"), QStringLiteral("typed")).toString(), QStringLiteral("100,5"));
    EXPECT_EQ(committed(QStringLiteral("error"), QStringLiteral("typed")).toInt(), 99);

    moveTo(QStringLiteral("recognised"));
    review->Button1Click(); // confirming untouched a recognition that is no number
    EXPECT_EQ(services.messages.texts(), QStringList{notANumber});
    EXPECT_EQ(committed(QStringLiteral("error"), QStringLiteral("recognised")).toInt(), 1);

    // Left by a move to another row, a value that is no number is dropped rather than stored still doubtful.
    services.messages.shown.clear();
    type(QStringLiteral("7x"));
    form().DBGrid1->setFocus();
    QTest::keyClick(form().DBGrid1, list().currentRow() + 1 < list().rowCount() ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(services.messages.texts(), QStringList{notANumber + QStringLiteral(" Введённое значение не сохранено.")});
    EXPECT_EQ(
        list().value(rowOf(QStringLiteral("recognised")), list().fieldIndex(QStringLiteral("READINGS"))).toString(),
        QStringLiteral("12?4"));
}

TEST_F(ReviewWindowTest, WithAnEmptyListTheButtonsStoreNothingAndTheRefusalIsReported) {
    addReading(QStringLiteral("accepted"), QStringLiteral("5"), 0, jpeg(QSize(40, 30)));
    openWindow();
    openReview();
    ASSERT_TRUE(list().isEmpty());
    EXPECT_EQ(form().Image1->text(), QStringLiteral("Нет снимка"));

    review->Button1Click();
    review->Button3Click();
    QTest::keyClick(form().DBEdit5, Qt::Key_Return);
    ASSERT_EQ(services.messages.shown.size(), 3);
    for (const ShownMessage& message : services.messages.shown)
        EXPECT_EQ(message.kind, MessageKind::Error);
    EXPECT_TRUE(list().isEmpty()) << "no made-up row left behind";
    EXPECT_EQ(list().state(), DataSet::State::Browse);
    EXPECT_EQ(form().DBGrid1->model()->rowCount(), 0);
    EXPECT_EQ(fixture.committedValue(QStringLiteral("select count(*) from image_object_date")).toInt(), 1);
    EXPECT_EQ(committed(QStringLiteral("error"), QStringLiteral("accepted")).toInt(), 0);
    EXPECT_TRUE(review->isVisible());
}

TEST_F(ReviewWindowTest, RealReadingsTakeNoMoreThanTheColumnHolds) {
    addReading(QStringLiteral("long"), QStringLiteral("1"));
    openWindow();
    openReview();
    const QString fifty = QString(QStringLiteral("1234567890")).repeated(5);

    type(fifty + QStringLiteral("12345"));
    EXPECT_EQ(form().DBEdit5->text(), fifty);
    form().DBEdit5->selectAll();
    QGuiApplication::clipboard()->setText(fifty + QStringLiteral("99"));
    QTest::keyClick(form().DBEdit5, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form().DBEdit5->text(), fifty);

    review->Button1Click();
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
    EXPECT_EQ(committed(QStringLiteral("readings"), QStringLiteral("long")).toString(), fifty);
    EXPECT_EQ(committed(QStringLiteral("error"), QStringLiteral("long")).toInt(), 99);
}

TEST_F(ReviewWindowTest, EnterConfirmsAndMovesOnWithTheNextValueSelected) {
    const QHash<QString, QString> value = {{QStringLiteral("a"), QStringLiteral("00001")},
                                           {QStringLiteral("b"), QStringLiteral("00002")}};
    for (const auto& [id, reading] : value.asKeyValueRange())
        addReading(id, reading);
    openWindow();
    openReview();
    const QString first = list().value(0, list().fieldIndex(QStringLiteral("ID_IMAG"))).toString();
    const QString second = list().value(1, list().fieldIndex(QStringLiteral("ID_IMAG"))).toString();
    EXPECT_EQ(review->focusWidget(), form().DBEdit5) << "the window opens ready for typing";
    EXPECT_EQ(form().DBEdit5->selectedText(), form().DBEdit5->text());
    form().DBGrid1->setFocus();
    QTest::keyClick(form().DBGrid1, Qt::Key_Return); // in the list, Enter is no button's click
    EXPECT_TRUE(review->isVisible());
    EXPECT_EQ(committed(QStringLiteral("error"), first).toInt(), 1);
    form().DBEdit5->setFocus();

    type(QStringLiteral("12345"));
    QTest::keyClick(form().DBEdit5, Qt::Key_Return);
    EXPECT_EQ(committed(QStringLiteral("readings"), first).toString(), QStringLiteral("12345"));
    EXPECT_EQ(committed(QStringLiteral("error"), first).toInt(), 99);
    EXPECT_EQ(list().currentRow(), 1);
    EXPECT_EQ(review->focusWidget(), form().DBEdit5);
    EXPECT_EQ(form().DBEdit5->selectedText(), value.value(second));

    QTest::keyClick(form().DBEdit5, Qt::Key_Enter, Qt::KeypadModifier); // the last row: confirmed, and it stays
    EXPECT_EQ(committed(QStringLiteral("error"), second).toInt(), 99);
    EXPECT_EQ(list().currentRow(), 1);
    EXPECT_EQ(form().DBEdit5->selectedText(), value.value(second));
    EXPECT_TRUE(review->isVisible()) << "Enter presses no button";
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ReviewWindowTest, ClosingKeepsTheLayoutAndTheMainWindowReadsItsListsAgain) {
    addReading(QStringLiteral("doubtful"), QStringLiteral("4"));
    fixture.addObject(QStringLiteral("Петров П. П."), QStringLiteral("860002"));
    openWindow();
    objects().moveTo(1);
    readings().open();
    openReview();
    const QSignalSpy objectsChanged(&context().changes, &ChangeNotices::objectsChanged);
    review->Button1Click();
    form().DBGrid1->setColumnWidth(1, 222);
    review->resize(1111, 666);

    QTest::keyClick(review.get(), Qt::Key_Escape); // closes like "Выход" and the close box
    EXPECT_FALSE(review->isVisible());
    EXPECT_EQ(objectsChanged.size(), 1);
    EXPECT_EQ(objects().currentRow(), 0) << "the object list was read again";
    ASSERT_EQ(readings().rowCount(), 1);
    EXPECT_EQ(readings().field(QStringLiteral("ERROR")).asInteger(), 99);
    const IniFile settings = context().settings();
    EXPECT_EQ(settings.readInteger(QStringLiteral("TForm11"), QStringLiteral("DBGrid1_FIO"), 0), 222);
    EXPECT_EQ(settings.readInteger(QStringLiteral("TForm11"), QStringLiteral("FWidth"), 0), 1111);

    form().DBGrid1->setColumnWidth(1, 50);
    review->resize(900, 500);
    openReview();
    EXPECT_EQ(form().DBGrid1->columnWidth(1), 222);
    EXPECT_EQ(review->size(), QSize(1111, 666));
    EXPECT_TRUE(services.messages.shown.isEmpty());
}
