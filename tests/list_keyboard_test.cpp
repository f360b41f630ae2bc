#include "support/MainWindowFixture.h"
#include "ui/common/DbGrid.h"
#include "ui/objects/Editor_bd.h"
#include "ui/objects/Service.h"
#include "ui/readings/Problem_object.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace vornic;

namespace {

class ListKeyboardTest : public vornic::test::MainWindowTest {
protected:
    void SetUp() override {
        for (const QString& scanner : {QStringLiteral("860001"), QStringLiteral("860002")}) {
            const int object = fixture.addObject(QStringLiteral("Абонент ") + scanner, scanner);
            for (int day = 1; day <= 2; ++day) {
                fixture.addReading({object,
                                    scanner + QString::number(day),
                                    QDateTime(QDate(2024, 5, day), QTime(8, 0)),
                                    {},
                                    QStringLiteral("00100"),
                                    50,
                                    20,
                                    2,
                                    1});
                fixture.exec(QStringLiteral("INSERT INTO STATUS_OBJECT (STATUS_DATE, ID_OBJECT, STATUS_STRING) "
                                            "VALUES ('2024-05-0%1', %2, 'Осмотр')")
                                 .arg(day)
                                 .arg(object));
            }
        }
        openWindow();
    }

    // The widget that has the keyboard in window, by its name.
    static QString focused(QWidget* window) {
        return window->focusWidget() ? window->focusWidget()->objectName() : QString();
    }

    // A key as the operator presses it: to whatever has the focus.
    static void press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, key, modifiers);
    }
};

} // namespace

// Tab and Shift+Tab lead out of a list to the controls before and after it, and back in, without moving the list;
// the arrows move in it.
TEST_F(ListKeyboardTest, TabLeavesAListForTheNextControlAndTheArrowsMoveInIt) {
    struct Case {
        const char* window;
        std::function<std::unique_ptr<QDialog>()> make;
        QString next, previous; // of the list, in browsing
    };
    const Case cases[] = {
        {"review", [&] { return std::make_unique<TForm11>(context()); }, QStringLiteral("DBEdit5"),
         QStringLiteral("Button4")},
        {"journal", [&] { return std::make_unique<TForm8>(context(), objects()); }, QStringLiteral("But_add"),
         QStringLiteral("Button1")},
        {"directory", [&] { return std::make_unique<TForm4>(context()); }, QStringLiteral("Button_add_bd"),
         QStringLiteral("ComboBox1")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window);
        const std::unique_ptr<QDialog> window = c.make();
        window->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }));
        auto* list = window->findChild<DbGrid*>(QStringLiteral("DBGrid1"));
        ASSERT_TRUE(list);
        ASSERT_GE(list->dataSet()->rowCount(), 2);
        list->dataSet()->first();
        list->setFocus();

        press(window.get(), Qt::Key_Tab);
        EXPECT_EQ(focused(window.get()), c.next);
        press(window.get(), Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_EQ(focused(window.get()), QStringLiteral("DBGrid1"));
        press(window.get(), Qt::Key_Backtab);
        EXPECT_EQ(focused(window.get()), c.previous);
        press(window.get(), Qt::Key_Tab);
        EXPECT_EQ(focused(window.get()), QStringLiteral("DBGrid1"));
        EXPECT_EQ(list->dataSet()->currentRow(), 0) << "tabbing through the list does not move it";

        press(window.get(), Qt::Key_Down);
        EXPECT_EQ(list->dataSet()->currentRow(), 1);
        press(window.get(), Qt::Key_Up);
        EXPECT_EQ(list->dataSet()->currentRow(), 0);
        EXPECT_EQ(focused(window.get()), QStringLiteral("DBGrid1"));
        window->close();
    }
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();
}
