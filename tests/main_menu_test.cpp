#include "app/Startup.h"
#include "support/MainWindowFixture.h"
#include "support/OperatorTexts.h"
#include "ui/update/Updatesoftware.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

using namespace vornic;

TEST(MainMenu, EachCommandShowsItsWindowModallyAndTheTimerShowsTheUpdateWindowModeless) {
    ScopedTestServices services;
    test::TestDatabase fixture;
    test::ScopedDataHome home(fixture.dataHome());
    std::unique_ptr<ClientWindows> windows = createClientWindows(fixture.folder());
    ASSERT_NE(windows, nullptr);
    Ui::TForm1& menu = windows->form1->form();

    const QList<std::pair<QAction*, QString>> commands = {
        {menu.N2, QStringLiteral("TForm2")},       {menu.N3, QStringLiteral("TForm11")},
        {menu.N5, QStringLiteral("TForm4")},       {menu.N6, QStringLiteral("TForm8")},
        {menu.N8, QStringLiteral("TForm3")},       {menu.N9, QStringLiteral("TForm7")},
        {menu.N10, QStringLiteral("TForm10")},     {menu.N11, QStringLiteral("TForm13")},
        {menu.N13, QStringLiteral("THelpWindow")}, {menu.N14, QStringLiteral("TForm6")},
    };
    for (const auto& [action, window] : commands) {
        QString shown;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            shown = modal ? modal->objectName() : QString();
            if (modal)
                modal->close();
        });
        action->trigger();
        EXPECT_EQ(shown, window) << action->text().toStdString();
    }
    EXPECT_EQ(menu.N2->text(), test::texts::kMenuLoading);
    EXPECT_EQ(menu.N3->text(), test::texts::kMenuImplausible);
    EXPECT_EQ(menu.N10->text(), test::texts::kMenuUnpolled);
    EXPECT_TRUE(services.messages.shown.isEmpty());

    EXPECT_FALSE(windows->form1->Timer1().isActive()) << "no newer version has been found";
    EXPECT_EQ(windows->form1->Timer1().interval(), 5000);
    windows->form1->Timer1().setInterval(10);
    windows->form1->Timer1().start();
    QTRY_VERIFY(windows->form9->isVisible());
    EXPECT_FALSE(windows->form9->isModal());
    windows->form1->Timer1().stop();
    windows->form9->hide();

    menu.N16->trigger(); // "Выход" closes the main window
    EXPECT_FALSE(windows->form1->isVisible());
}
