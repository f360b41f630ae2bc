#include "support/MainWindowFixture.h"
#include "ui/main/Threadds2select.h"
#include "ui/readings/Edit_resupt.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <utility>

using namespace vornic;

namespace {

const QString kUntouched = QStringLiteral("Статус изменения");
const QString kSaved = QStringLiteral("Показания изменены.");
const QString kRecognitionBack = QStringLiteral("Установлены первичные показания ");
const QString kNoPictureNumber = QStringLiteral("Нет номера изображения. Обновите базу данных");
const QString kNotSaved = QStringLiteral("Показания не сохранены.");
const QString kNotANumber = QStringLiteral(
    "Показание должно быть числом: цифры и не более одного десятичного разделителя (запятая или точка).");

QDateTime day(int d) {
    return QDateTime(QDate(2024, 5, d), QTime(12, 0));
}

class ReadingEditorTest : public vornic::test::MainWindowTest {
protected:
    int object = 0;

    // Readings of one object, newest first in the main window's list: "103" (row 0), "102", "101".
    void addReadings(int error = 1) {
        object = fixture.addObject(QStringLiteral("Иванов И. И."), QStringLiteral("860001"));
        for (int i = 1; i <= 3; ++i)
            fixture.addReading(
                {object, QString::number(100 + i), day(i), {}, QStringLiteral("0012%1").arg(i), 50, 20, 2, error});
    }
    void openList() {
        openWindow();
        readings().open();
    }
    void openWithReadings(int error = 1) {
        addReadings(error);
        openList();
    }

    // Made and shown as the main window does it: it goes when it closes.
    QPointer<TForm5> openEditor() {
        auto* editor = new TForm5(context(), objects(), readings(), window.get());
        editor->setAttribute(Qt::WA_DeleteOnClose);
        editor->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(editor));
        return editor;
    }

    // Replaces the field's text by keys, as the operator does.
    static void retype(TForm5& editor, const QString& text) {
        QLineEdit* field = editor.form().DBEdit3;
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
    }

    QVariant stored(const QString& column, const QString& picture) {
        return fixture.committedValue(
            QStringLiteral("SELECT %1 FROM IMAGE_OBJECT_DATE WHERE ID_IMAG='%2'").arg(column, picture));
    }
    int storedDoubtful() {
        return fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM IMAGE_OBJECT_DATE WHERE error=1")).toInt();
    }
    QString listed(int row, const QString& field) {
        return readings().value(row, readings().fieldIndex(field)).toString();
    }
};

} // namespace

TEST_F(ReadingEditorTest, SaveStoresOnlyAChangedTextAndMarksItSetByTheOperator) {
    openWithReadings();
    readings().moveTo(1);
    QPointer<TForm5> editor = openEditor();
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Абонент  Иванов И. И."));
    EXPECT_EQ(editor->form().DBEdit3->text(), QStringLiteral("00122"));
    EXPECT_EQ(editor->form().DBEdit2->text(), QStringLiteral("02.05.2024 12:00:00"));
    EXPECT_EQ(editor->form().DBEdit1->text(), QString::number(object));
    EXPECT_EQ(editor->textAtOpening(), QStringLiteral("00122"));
    EXPECT_EQ(editor->form().DBEdit3->selectedText(), QStringLiteral("00122")) << "typed over at once";

    editor->Button1Click();
    EXPECT_EQ(editor->form().Label4->text(), kUntouched);
    EXPECT_EQ(stored(QStringLiteral("ERROR"), QStringLiteral("102")).toInt(), 1);

    // Typed and typed back to the text at opening: still nothing to store.
    retype(*editor, QStringLiteral("5"));
    retype(*editor, QStringLiteral("00122"));
    editor->Button1Click();
    EXPECT_EQ(editor->form().Label4->text(), kUntouched);
    EXPECT_EQ(stored(QStringLiteral("ERROR"), QStringLiteral("102")).toInt(), 1);

    retype(*editor, QStringLiteral("00457"));
    editor->Button1Click();
    EXPECT_EQ(editor->form().Label4->text(), kSaved);
    EXPECT_EQ(stored(QStringLiteral("READINGS"), QStringLiteral("102")).toString(), QStringLiteral("00457"));
    EXPECT_EQ(stored(QStringLiteral("ERROR"), QStringLiteral("102")).toInt(), 99);
    EXPECT_EQ(stored(QStringLiteral("RECOGNITION"), QStringLiteral("102")).toString(), QStringLiteral("00122"));
    EXPECT_EQ(storedDoubtful(), 2) << "the review no longer lists it";
    EXPECT_EQ(listed(1, QStringLiteral("READINGS")), QStringLiteral("00457"));
    EXPECT_EQ(readings().state(), DataSet::State::Browse);
    EXPECT_EQ(readings().currentRow(), 1);
    EXPECT_TRUE(services.messages.shown.isEmpty());

    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_VERIFY(editor.isNull());
    EXPECT_EQ(listed(1, QStringLiteral("READINGS")), QStringLiteral("00457"));
}

// A value the operator saves is taken as the meter's reading: a text that is no number is refused and kept in the
// field to be corrected; a number is stored as typed, its comma included, and an empty field as before.
TEST_F(ReadingEditorTest, OnlyANumberOrAnEmptyFieldIsSaved) {
    openWithReadings();
    QPointer<TForm5> editor = openEditor(); // the newest reading, "103", "00123"
    for (const QString& refused : {QStringLiteral("12abc!"), QStringLiteral("-5"), QStringLiteral("12,5.3")}) {
        SCOPED_TRACE(refused.toStdString());
        retype(*editor, refused);
        editor->Button1Click();
        EXPECT_EQ(services.messages.texts(), QStringList{kNotANumber});
        services.messages.shown.clear();
        EXPECT_EQ(editor->form().Label4->text(), kNotSaved);
        EXPECT_EQ(editor->form().DBEdit3->text(), refused);
        EXPECT_EQ(stored(QStringLiteral("READINGS"), QStringLiteral("103")).toString(), QStringLiteral("00123"));
        EXPECT_EQ(stored(QStringLiteral("ERROR"), QStringLiteral("103")).toInt(), 1);
    }
    for (const QString& saved : {QStringLiteral("12,5"), QString()}) {
        SCOPED_TRACE(saved.toStdString());
        retype(*editor, saved);
        if (saved.isEmpty())
            QTest::keyClick(editor->form().DBEdit3, Qt::Key_Delete);
        editor->Button1Click();
        EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
        EXPECT_EQ(editor->form().Label4->text(), kSaved);
        EXPECT_EQ(stored(QStringLiteral("READINGS"), QStringLiteral("103")).toString(), saved);
        EXPECT_EQ(stored(QStringLiteral("ERROR"), QStringLiteral("103")).toInt(), 99);
    }
    editor->close();
}

TEST_F(ReadingEditorTest, CancelPutsBackTheRecognitionAsADoubtfulReading) {
    addReadings(0);
    // The recognised value with its blanks, as the server may send it.
    fixture.exec(QStringLiteral("UPDATE IMAGE_OBJECT_DATE SET RECOGNITION=' 00090 ' WHERE ID_IMAG IN ('103', '102')"));
    openList();

    // An accepted reading, never touched, and one the operator has just saved: both become doubtful.
    for (const bool savedFirst : {false, true}) {
        SCOPED_TRACE(savedFirst ? "after a save" : "accepted reading");
        const int row = savedFirst ? 1 : 0;
        const QString picture = savedFirst ? QStringLiteral("102") : QStringLiteral("103");
        readings().moveTo(row);
        QPointer<TForm5> editor = openEditor();
        if (savedFirst) {
            retype(*editor, QStringLiteral("00130"));
            editor->Button1Click();
            ASSERT_EQ(stored(QStringLiteral("ERROR"), picture).toInt(), 99);
        }
        retype(*editor, QStringLiteral("777")); // typed and not saved: the recognition wins
        editor->Button3Click();
        EXPECT_EQ(editor->form().Label4->text(), kRecognitionBack);
        EXPECT_EQ(stored(QStringLiteral("READINGS"), picture).toString(), QStringLiteral(" 00090 "));
        EXPECT_EQ(stored(QStringLiteral("ERROR"), picture).toInt(), 1);
        EXPECT_EQ(editor->form().DBEdit3->text(), QStringLiteral(" 00090 "));
        EXPECT_EQ(listed(row, QStringLiteral("ERROR")), QStringLiteral("1"));
        EXPECT_EQ(readings().state(), DataSet::State::Browse);
        editor->close();
    }
    EXPECT_EQ(storedDoubtful(), 2);
    EXPECT_EQ(stored(QStringLiteral("ERROR"), QStringLiteral("101")).toInt(), 0);
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ReadingEditorTest, AReadingWithoutPictureNumberIsNotStored) {
    object = fixture.addObject(QStringLiteral("Петров"), QStringLiteral("860002"));
    fixture.addReading({object, QStringLiteral("none"), day(1), {}, QStringLiteral("00010"), {}, {}, {}, 1});
    fixture.exec(QStringLiteral("UPDATE IMAGE_OBJECT_DATE SET ID_IMAG=NULL WHERE ID_IMAG='none'"));
    fixture.addReading({object, QStringLiteral(""), day(2), {}, QStringLiteral("00020"), {}, {}, {}, 1});
    openWindow();
    readings().open();
    for (int row : {0, 1}) { // an empty picture number, then none at all
        SCOPED_TRACE(row);
        readings().moveTo(row);
        const QString before = listed(row, QStringLiteral("READINGS"));
        QPointer<TForm5> editor = openEditor();
        retype(*editor, QStringLiteral("99999"));
        editor->Button1Click();
        EXPECT_EQ(editor->form().Label4->text(), kNoPictureNumber);
        EXPECT_EQ(editor->form().DBEdit3->text(), QStringLiteral("99999")) << "stays in the field";
        editor->close();
        EXPECT_EQ(listed(row, QStringLiteral("READINGS")), before);
    }
    EXPECT_EQ(storedDoubtful(), 2);
    EXPECT_EQ(
        fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM IMAGE_OBJECT_DATE WHERE READINGS='99999'")).toInt(),
        0);
}

TEST_F(ReadingEditorTest, DeleteRemovesTheReadingFromTheListAndClosesWithoutAskingOrCommitting) {
    openWithReadings();
    readings().moveTo(1);
    QPointer<TForm5> editor = openEditor();
    retype(*editor, QStringLiteral("5")); // an open edit does not hold the deletion back
    editor->Button2Click();
    QTRY_VERIFY(editor.isNull());
    ASSERT_EQ(readings().rowCount(), 2);
    EXPECT_EQ(listed(0, QStringLiteral("ID_IMAG")), QStringLiteral("103"));
    EXPECT_EQ(listed(1, QStringLiteral("ID_IMAG")), QStringLiteral("101"));
    EXPECT_TRUE(services.messages.shown.isEmpty());

    const QString count = QStringLiteral("SELECT COUNT(*) FROM IMAGE_OBJECT_DATE");
    EXPECT_EQ(fixture.committedValue(count).toInt(), 3) << "pending in the shared transaction";
    context().database.commitRetaining();
    EXPECT_EQ(fixture.committedValue(count).toInt(), 2);
    EXPECT_TRUE(stored(QStringLiteral("ID_IMAG"), QStringLiteral("102")).isNull());
}

TEST_F(ReadingEditorTest, EveryWayOfClosingDropsTheTypedInput) {
    openWithReadings();
    const QList<std::pair<const char*, std::function<void(TForm5&)>>> ways = {
        {"Выход", [](TForm5& editor) { editor.form().Button4->click(); }},
        {"Escape", [](TForm5& editor) { QTest::keyClick(&editor, Qt::Key_Escape); }},
        {"close box", [](TForm5& editor) { editor.close(); }},
    };
    for (const auto& [name, closeIt] : ways) {
        SCOPED_TRACE(name);
        readings().moveTo(0);
        QPointer<TForm5> editor = openEditor();
        retype(*editor, QStringLiteral("99999"));
        ASSERT_EQ(readings().state(), DataSet::State::Edit);
        closeIt(*editor);
        QTRY_VERIFY(editor.isNull());
        EXPECT_EQ(readings().state(), DataSet::State::Browse);
        EXPECT_EQ(listed(0, QStringLiteral("READINGS")), QStringLiteral("00123"));
        readings().moveTo(1); // leaving the row must not store the dropped input either
        EXPECT_EQ(stored(QStringLiteral("READINGS"), QStringLiteral("103")).toString(), QStringLiteral("00123"));
    }
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ReadingEditorTest, AnEmptyListGivesNothingToStoreOrDelete) {
    fixture.addObject(QStringLiteral("Сидоров"), QStringLiteral("860003"));
    openWindow();
    readings().open();
    ASSERT_TRUE(readings().isEmpty());
    QPointer<TForm5> editor = openEditor();
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Абонент  Сидоров"));
    EXPECT_TRUE(editor->form().DBEdit3->text().isEmpty());
    retype(*editor, QStringLiteral("123"));
    editor->Button1Click();
    EXPECT_EQ(editor->form().Label4->text(), kNoPictureNumber);
    editor->Button3Click();
    EXPECT_EQ(editor->form().Label4->text(), kRecognitionBack);
    editor->Button2Click();
    EXPECT_TRUE(editor->isVisible()) << "nothing to delete: the window stays";
    editor->close();
    EXPECT_EQ(readings().rowCount(), 0);
    EXPECT_EQ(readings().state(), DataSet::State::Browse);
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM IMAGE_OBJECT_DATE")).toInt(), 0);
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ReadingEditorTest, ARefusedSaveGoesToTheErrorReportAndLeavesTheRowAsStored) {
    // Before the program connects, so that the table is not in use.
    fixture.exec(QStringLiteral(
        "ALTER TABLE IMAGE_OBJECT_DATE ADD CONSTRAINT CK_TEST_DIGITS CHECK (READINGS NOT CONTAINING '9')"));
    openWithReadings();
    QPointer<TForm5> editor = openEditor();
    retype(*editor, QStringLiteral("124"));
    editor->Button1Click();
    ASSERT_EQ(editor->form().Label4->text(), kSaved);
    retype(*editor, QStringLiteral("129"));
    editor->Button1Click();
    ASSERT_EQ(services.messages.shown.size(), 1);
    EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Error);
    EXPECT_TRUE(services.messages.shown[0].text.contains(QStringLiteral("CK_TEST_DIGITS")))
        << services.messages.shown[0].text.toStdString();
    EXPECT_EQ(editor->form().Label4->text(), kNotSaved) << "not the earlier save's word";
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->form().DBEdit3->text(), QStringLiteral("124"));
    EXPECT_EQ(readings().state(), DataSet::State::Browse);
    EXPECT_EQ(stored(QStringLiteral("READINGS"), QStringLiteral("103")).toString(), QStringLiteral("124"));
    editor->close();
}

// A download ends while the editor is open on a reading: the main window reads its lists again only once the editor
// has gone, so the editor keeps its reading and the typed text, and "Сохранить" stores that reading.
TEST_F(ReadingEditorTest, ADownloadEndingWhileTheEditorIsOpenDoesNotMoveItsReading) {
    openWithReadings();
    readings().moveTo(1);
    QPointer<TForm5> editor = openEditor();
    retype(*editor, QStringLiteral("55555"));
    fixture.addReading({object, QStringLiteral("104"), day(4), {}, QStringLiteral("00124"), 50, 20, 2, 1});
    Q_EMIT context().changes.readingsChanged(); // as the download's end says
    Q_EMIT context().changes.objectsChanged();

    EXPECT_EQ(readings().field(QStringLiteral("ID_IMAG")).asString(), QStringLiteral("102"));
    EXPECT_EQ(editor->form().DBEdit3->text(), QStringLiteral("55555"));
    editor->Button1Click();
    EXPECT_EQ(stored(QStringLiteral("READINGS"), QStringLiteral("102")).toString(), QStringLiteral("55555"));
    EXPECT_EQ(stored(QStringLiteral("ERROR"), QStringLiteral("102")).toInt(), 99);
    EXPECT_EQ(stored(QStringLiteral("ERROR"), QStringLiteral("103")).toInt(), 1);

    // Once it has gone, the list is read again and shows the new reading.
    editor->close();
    QTRY_VERIFY(editor.isNull());
    EXPECT_EQ(readings().rowCount(), 4);
    EXPECT_EQ(listed(0, QStringLiteral("ID_IMAG")), QStringLiteral("104"));
}

// The main window shows another object when a reading is chosen in another window: it moves to the chosen one, and
// the debounce worker, seeing the object change, leaves the editor's reading alone.
TEST_F(ReadingEditorTest, AReadingChosenElsewhereStaysInTheEditorAfterTheMainWindowMoved) {
    addReadings();
    const int otherObject = fixture.addObject(QStringLiteral("Петров П. П."), QStringLiteral("860002"));
    fixture.addReading({otherObject, QStringLiteral("201"), day(5), {}, QStringLiteral("00300"), 50, 20, 2, 0});
    openList();
    const auto isOther = [&] { return objects().field(QStringLiteral("ID_OBJECT")).asInteger() == otherObject; };
    if (!isOther())
        objects().next();
    ASSERT_TRUE(isOther());
    // The debounce worker follows the move and opens the other object's readings.
    QTRY_VERIFY_WITH_TIMEOUT(window->debounceWorker().idle() && readings().isOpen() &&
                                 readings().field(QStringLiteral("ID_IMAG")).asString() == QStringLiteral("201"),
                             10000);

    bool edited = false;
    QTimer::singleShot(0, [&] {
        auto* modal = qobject_cast<TForm5*>(QApplication::activeModalWidget());
        ASSERT_NE(modal, nullptr);
        // The debounce worker has acted on the move to the chosen object.
        QTRY_VERIFY_WITH_TIMEOUT(window->debounceWorker().idle(), 10000);
        EXPECT_EQ(objects().field(QStringLiteral("ID_OBJECT")).asInteger(), object);
        EXPECT_EQ(readings().field(QStringLiteral("ID_IMAG")).asString(), QStringLiteral("102"));
        EXPECT_EQ(modal->form().DBEdit3->text(), QStringLiteral("00122"));
        retype(*modal, QStringLiteral("00129"));
        modal->Button1Click();
        edited = true;
        modal->close();
    });
    window->openReading(object, QStringLiteral("102"), window.get());
    EXPECT_TRUE(edited);
    EXPECT_EQ(stored(QStringLiteral("READINGS"), QStringLiteral("102")).toString(), QStringLiteral("00129"));
    EXPECT_EQ(stored(QStringLiteral("READINGS"), QStringLiteral("201")).toString(), QStringLiteral("00300"));
}
