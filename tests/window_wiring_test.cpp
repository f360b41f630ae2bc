#include "app/Startup.h"
#include "support/MainWindowFixture.h"
#include "support/OperatorTexts.h"
#include "ui/readings/Edit_resupt.h"
#include "ui/update/Updatesoftware.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace vornic;

// Each window driven through its own widgets: the main window's menu commands are triggered and each window they
// open is left with a click on its exit button. A command or a button whose handler is not connected leaves a
// window unopened or open, and fails here.
namespace {

QPushButton* exitButton(QWidget& window) {
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        const QString text = button->text().trimmed();
        if (button->isVisible() && (text == test::texts::kExit || text == test::texts::kClose))
            return button;
    }
    return nullptr;
}

// What the modal window that opens did, once its exit button was clicked.
struct Visit {
    QString window;
    bool hadExit = false;
    bool closedByExit = false;
};

// Runs open (which shows a modal window and returns once it has closed) and clicks the window's exit button.
Visit visitModal(const std::function<void()>& open) {
    Visit visit;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        visit.window = modal->objectName();
        if (QPushButton* button = exitButton(*modal)) {
            visit.hadExit = true;
            QTest::mouseClick(button, Qt::LeftButton);
            visit.closedByExit = !modal->isVisible();
        }
        if (modal->isVisible())
            modal->close(); // so that the test goes on
    });
    open();
    return visit;
}

} // namespace

TEST(WindowWiring, EachMenuCommandOpensItsWindowAndItsExitButtonClosesIt) {
    ScopedTestServices services;
    test::TestDatabase fixture;
    test::ScopedDataHome home(fixture.dataHome());
    const int object = fixture.addObject(QStringLiteral("Иванов И. И."), QStringLiteral("860001"));
    fixture.addReading({object,
                        QStringLiteral("101"),
                        QDateTime(QDate(2018, 3, 1), QTime(10, 0)),
                        {},
                        QStringLiteral("00121"),
                        50,
                        20,
                        2,
                        0});
    std::unique_ptr<ClientWindows> windows = createClientWindows(fixture.folder());
    ASSERT_NE(windows, nullptr);
    TForm1& main = *windows->form1;
    main.show();
    Ui::TForm1& menu = main.form();

    const QList<std::pair<QAction*, QString>> commands = {
        {menu.N2, QStringLiteral("TForm2")},
        {menu.N3, QStringLiteral("TForm11")},
        {menu.NSuspiciousReadings, QStringLiteral("TForm14")},
        {menu.N5, QStringLiteral("TForm4")},
        {menu.N6, QStringLiteral("TForm8")},
        {menu.NScannerMaintenance, QStringLiteral("TForm16")},
        {menu.N8, QStringLiteral("TForm3")},
        {menu.N9, QStringLiteral("TForm7")},
        {menu.N10, QStringLiteral("TForm10")},
        {menu.N11, QStringLiteral("TForm13")},
        {menu.NConsumptionChart, QStringLiteral("TForm15")},
        {menu.N13, QStringLiteral("THelpWindow")},
        {menu.N14, QStringLiteral("TForm6")},
    };
    for (const auto& [action, window] : commands) {
        SCOPED_TRACE(window.toStdString());
        const Visit visit = visitModal([action] { action->trigger(); });
        EXPECT_EQ(visit.window, window) << action->text().toStdString();
        EXPECT_TRUE(visit.hadExit);
        EXPECT_TRUE(visit.closedByExit);
    }

    // The reading editor opens on a double click in the readings list.
    QTRY_VERIFY_WITH_TIMEOUT(main.IBDataSet2().isOpen() && main.IBDataSet2().rowCount() == 1, 10000);
    DbGrid* readings = menu.DBGrid2;
    QRect cell;
    for (int column = 0; column < readings->model()->columnCount() && !cell.isValid(); ++column)
        cell = readings->visualRect(readings->model()->index(0, column));
    ASSERT_TRUE(cell.isValid());
    const Visit editor = visitModal([&] {
        // A double click arrives after the press and release of its first click.
        QTest::mouseClick(readings->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(readings->viewport(), Qt::LeftButton, {}, cell.center());
    });
    EXPECT_EQ(editor.window, QStringLiteral("TForm5"));
    EXPECT_TRUE(editor.closedByExit);

    // The update window is shown modeless.
    TForm9& update = *windows->form9;
    update.show();
    QPushButton* leave = exitButton(update);
    ASSERT_NE(leave, nullptr);
    QTest::mouseClick(leave, Qt::LeftButton);
    EXPECT_FALSE(update.isVisible());

    menu.N16->trigger(); // "Выход" closes the main window
    EXPECT_FALSE(main.isVisible());
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
}
