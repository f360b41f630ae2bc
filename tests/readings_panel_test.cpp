#include "support/MainWindowFixture.h"
#include "ui/common/Gauge.h"

#include <QBuffer>
#include <QImage>
#include <QTest>

using namespace vornic;
using vornic::test::TestDatabase;

namespace {

QByteArray jpeg(const QColor& colour, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

QDateTime day(int d) {
    return QDateTime(QDate(2024, 5, d), QTime(12, 0));
}

class ReadingsPanelTest : public vornic::test::MainWindowTest {
protected:
    Ui::TForm1& form() { return window->form(); }
    // The panel says that the current reading has no picture to show, and shows none of an earlier one.
    bool showsNoPicture() {
        return form().Image2->isVisibleTo(window.get()) && form().Image2->pixmap().isNull() &&
               form().Image2->text() == QStringLiteral("Нет снимка");
    }
};

} // namespace

TEST_F(ReadingsPanelTest, EachReadingUpdatesOnlyWhatItHoldsAndADialOnlyItsOwnPicture) {
    const int battery = fixture.addObject(QStringLiteral("Батарейный"), QStringLiteral("1"));
    // Oldest first below, so that the list walks them in this order once sorted.
    const QByteArray good = jpeg(Qt::red, QSize(40, 30));
    QByteArray corrupt = good.left(good.size() / 2);
    corrupt.append(QByteArray(200, '\x55'));
    fixture.addReading({battery, QStringLiteral("1"), day(1), good, QStringLiteral("1"), 50, 20, 2, 0});
    fixture.addReading({battery, QStringLiteral("2"), day(2), QByteArray("GIF89a"), QStringLiteral("2"), {}, {}, 7, 0});
    fixture.addReading({battery, QStringLiteral("3"), day(3), {}, QStringLiteral("3"), 150, -5, 4, 0});
    fixture.addReading({battery, QStringLiteral("4"), day(4), corrupt, QStringLiteral("4"), {}, 31, {}, 0});
    openWindow();
    EXPECT_EQ(form().Gauge1->progress(), 100);
    EXPECT_EQ(form().Gauge2->progress(), 10);
    EXPECT_EQ(form().Label1->text(), QStringLiteral("Тип сигнала станции"));

    window->DBGrid2TitleClick(3); // oldest first: opens the readings and shows the first
    ASSERT_EQ(readings().rowCount(), 4);
    EXPECT_TRUE(form().Image2->isVisibleTo(window.get()));
    EXPECT_EQ(form().Image2->pixmap().size(), QSize(40, 30));
    EXPECT_EQ(form().Gauge1->progress(), 50);
    EXPECT_EQ(form().Gauge2->progress(), 20);
    EXPECT_EQ(form().Label1->text(), QStringLiteral("Тип сигнала станции: GPRS"));
    EXPECT_TRUE(form().Image2->text().isEmpty());

    readings().next(); // no JPEG: no picture; empty gauges, unknown network type: kept
    EXPECT_TRUE(showsNoPicture());
    EXPECT_EQ(form().Gauge1->progress(), 50);
    EXPECT_EQ(form().Gauge2->progress(), 20);
    EXPECT_EQ(form().Label1->text(), QStringLiteral("Тип сигнала станции: GPRS"));

    readings().next(); // no picture at all; values out of range are clamped
    EXPECT_TRUE(showsNoPicture());
    EXPECT_EQ(form().Gauge1->progress(), 100);
    EXPECT_EQ(form().Gauge2->progress(), 0);
    EXPECT_EQ(form().Label1->text(), QStringLiteral("Тип сигнала станции: 3G"));

    readings().next(); // a JPEG that fails to decode
    EXPECT_TRUE(showsNoPicture());
    EXPECT_EQ(form().Gauge1->progress(), 100);
    EXPECT_EQ(form().Gauge2->progress(), 31);

    readings().moveTo(0); // back to the first: its own picture again
    EXPECT_EQ(form().Image2->pixmap().size(), QSize(40, 30));
    EXPECT_TRUE(form().Image2->text().isEmpty());
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ReadingsPanelTest, MainsPoweredObjectsShowThePlugInsteadOfTheBatteryGauge) {
    const int mains = fixture.addObject(QStringLiteral("А сеть"), QStringLiteral("1"));
    fixture.exec(
        QStringLiteral("UPDATE LIST_OBJECTS SET POWER_DEVICES='  Электрическая сеть ' WHERE ID_OBJECT=%1").arg(mains));
    const int battery = fixture.addObject(QStringLiteral("Б батарея"), QStringLiteral("2"));
    fixture.exec(QStringLiteral("UPDATE LIST_OBJECTS SET POWER_DEVICES='Аккумулятор' WHERE ID_OBJECT=%1").arg(battery));
    const int none = fixture.addObject(QStringLiteral("В без показаний"), QStringLiteral("3"));
    fixture.addReading({mains, QStringLiteral("1"), day(1), {}, QStringLiteral("1"), 40, 60, 1, 0});
    fixture.addReading({battery, QStringLiteral("2"), day(1), {}, QStringLiteral("1"), 70, 55, 1, 0});
    Q_UNUSED(none);
    openWindow();
    window->DBGrid1TitleClick(1); // by name
    readings().open();
    EXPECT_TRUE(form().Image1->isVisibleTo(window.get()));
    EXPECT_FALSE(form().Gauge1->isVisibleTo(window.get()));
    EXPECT_FALSE(form().Label7->isVisibleTo(window.get()));
    EXPECT_TRUE(form().Gauge2->isVisibleTo(window.get()));

    objects().next();
    EXPECT_FALSE(form().Image1->isVisibleTo(window.get()));
    EXPECT_TRUE(form().Gauge1->isVisibleTo(window.get()));
    EXPECT_EQ(form().Gauge1->progress(), 70);

    objects().next(); // no readings: the panel keeps what it showed
    EXPECT_TRUE(readings().isEmpty());
    EXPECT_EQ(form().Gauge1->progress(), 70);
    EXPECT_EQ(form().Gauge2->progress(), 55);
    EXPECT_TRUE(form().Gauge1->isVisibleTo(window.get()));
}

TEST_F(ReadingsPanelTest, AnObjectWithoutReadingsShowsNoDialOfTheObjectBefore) {
    const int read = fixture.addObject(QStringLiteral("А с показаниями"), QStringLiteral("1"));
    fixture.addObject(QStringLiteral("Б без показаний"), QStringLiteral("2"));
    fixture.addReading(
        {read, QStringLiteral("1"), day(1), jpeg(Qt::blue, QSize(40, 30)), QStringLiteral("1"), {}, {}, {}, 0});
    openWindow();
    EXPECT_TRUE(showsNoPicture()) << "no reading shown yet";
    window->DBGrid1TitleClick(1); // by name
    readings().open();
    EXPECT_EQ(form().Image2->pixmap().size(), QSize(40, 30));

    objects().next();
    readings().open();
    EXPECT_TRUE(readings().isEmpty());
    EXPECT_TRUE(showsNoPicture());

    objects().moveTo(0);
    readings().open();
    EXPECT_EQ(form().Image2->pixmap().size(), QSize(40, 30));
    readings().close(); // as while the current object moves, before its readings are read
    EXPECT_TRUE(showsNoPicture());
    readings().open();
    readings().remove(); // its only reading deleted
    EXPECT_TRUE(showsNoPicture());
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ReadingsPanelTest, TitleClicksToggleTheOrderAndDoubtfulRowsAreCreamUnlessSelected) {
    const int id = fixture.addObject(QStringLiteral("А"), QStringLiteral("1"));
    fixture.addReading({id, QStringLiteral("1"), day(1), {}, QStringLiteral("1"), {}, {}, {}, 0});
    fixture.addReading({id, QStringLiteral("2"), day(2), {}, QStringLiteral("2"), {}, {}, {}, 1});
    fixture.addReading({id, QStringLiteral("3"), day(3), {}, QStringLiteral("3"), {}, {}, {}, 99});
    openWindow();
    readings().open();
    const auto firstId = [&] { return readings().value(0, readings().fieldIndex(QStringLiteral("ID_IMAG"))); };
    EXPECT_EQ(firstId().toString(), QStringLiteral("3")) << "newest first";
    window->DBGrid2TitleClick(1);
    EXPECT_EQ(firstId().toString(), QStringLiteral("1"));
    window->DBGrid2TitleClick(5); // any title
    EXPECT_EQ(firstId().toString(), QStringLiteral("3"));

    DbGrid* grid = form().DBGrid2;
    EXPECT_EQ(grid->rowBackground(1), QColor(255, 247, 226)) << "doubtful";
    EXPECT_EQ(grid->rowBackground(0), std::nullopt) << "confirmed by the operator";
    EXPECT_EQ(grid->rowBackground(2), std::nullopt);

    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    readings().moveTo(0);
    const auto pixelOfRow = [&](int row) {
        const QImage image = grid->viewport()->grab().toImage();
        const QRect cell = grid->visualRect(grid->model()->index(row, 1));
        return QColor(image.pixel(cell.right() - 2, cell.top() + 2));
    };
    EXPECT_EQ(pixelOfRow(1), QColor(255, 247, 226));
    readings().moveTo(1);
    EXPECT_EQ(pixelOfRow(1), QColor(221, 221, 221)) << "a selected doubtful row is grey";
}
