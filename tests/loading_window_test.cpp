#include "base/IniFile.h"
#include "support/MainWindowFixture.h"
#include "tools/readings_server/ReadingsServer.h"
#include "ui/readings/Loading_data.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTest>

using namespace vornic;

namespace {

const QString kDepthMessage =
    QStringLiteral("Глубина обновления указана в недопустимой форме. Укажите числовое значение от 1-999.");

class LoadingWindowTest : public vornic::test::MainWindowTest {
protected:
    std::unique_ptr<ReadingsServer> server;

    void SetUp() override {
        ReadingsServer::Options options;
        options.scanners = 2;
        options.days = 2;
        options.readingsPerDay = 2;
        options.emptyPokPercent = 0;
        options.today = services.clock.today();
        server = std::make_unique<ReadingsServer>(options);
        server->start();
        settings().writeString(QStringLiteral("Edit_link"), QStringLiteral("link"), server->baseAddress());
    }

    IniFile settings() { return IniFile(fixture.folder() + QStringLiteral("options.ini")); }
};

} // namespace

TEST_F(LoadingWindowTest, TheDepthIsCheckedAndKeptAsAWholeNumber) {
    openWindow();
    {
        TForm2 loading(context(), window.get());
        EXPECT_EQ(loading.form().Edit1->text(), QStringLiteral("0")) << "no stored depth";
        for (const QString& depth : {QStringLiteral("0"), QString(), QStringLiteral("000")}) {
            loading.form().Edit1->setText(depth);
            loading.Button1Click();
        }
        EXPECT_EQ(services.messages.texts(), QStringList(3, kDepthMessage));
        EXPECT_EQ(loading.runningWorker(), nullptr);
        EXPECT_EQ(loading.form().Edit1->maxLength(), 3);
        loading.form().Edit1->clear();
        QTest::keyClicks(loading.form().Edit1, QStringLiteral("0a-7"));
        EXPECT_EQ(loading.form().Edit1->text(), QStringLiteral("07")) << "only digits are taken";
        loading.form().Edit1->setText(QStringLiteral("007"));
        QTest::keyClick(&loading, Qt::Key_Escape); // closes like the close box
    }
    EXPECT_EQ(settings().readInteger(QStringLiteral("TForm2"), QStringLiteral("Edit1"), -1), 7);
    {
        TForm2 loading(context(), window.get());
        EXPECT_EQ(loading.form().Edit1->text(), QStringLiteral("7"));
        loading.form().Edit1->clear();
        loading.close(); // an empty depth leaves the stored one
    }
    EXPECT_EQ(settings().readInteger(QStringLiteral("TForm2"), QStringLiteral("Edit1"), -1), 7);
}

TEST_F(LoadingWindowTest, ARunFillsTheLogAndTheMainWindowAndANewRunAppendsBelow) {
    fixture.addObject(QStringLiteral("Первый"), QStringLiteral("860001"), 1);
    fixture.addObject(QStringLiteral("Второй"), QStringLiteral("860002"), 0);
    openWindow();
    readings().open();
    EXPECT_TRUE(window->IBDataSet2().isEmpty());

    TForm2 loading(context(), window.get());
    loading.form().Edit1->setText(QStringLiteral("2"));
    loading.form().RadioButtonMarked->setChecked(true);
    loading.Button1Click();
    EXPECT_FALSE(loading.form().Button1->isEnabled());
    EXPECT_EQ(loading.form().ProgressBar2->maximum(), 1);
    EXPECT_EQ(loading.form().ProgressBar2->value(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(loading.form().Button1->isEnabled(), 20000);
    EXPECT_EQ(loading.form().ProgressBar2->value(), 1);
    EXPECT_EQ(loading.form().Label1->text(), QStringLiteral("Обновление завершено"));
    const QStringList firstRun = loading.form().Memo1->toPlainText().split(u'\n');
    EXPECT_EQ(firstRun.size(), 4 + 1 + 1) << "four readings, the object, the end";
    EXPECT_EQ(window->IBDataSet2().rowCount(), 4) << "the main window's readings list was read again";

    loading.form().RadioButtonAll->setChecked(true);
    loading.Button1Click();
    EXPECT_EQ(loading.form().ProgressBar2->maximum(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(loading.form().Button1->isEnabled(), 20000);
    const QStringList bothRuns = loading.form().Memo1->toPlainText().split(u'\n');
    EXPECT_EQ(bothRuns.mid(0, firstRun.size()), firstRun) << "the log keeps the earlier run";
    EXPECT_EQ(bothRuns.last(), QStringLiteral("Обновление завершено"));
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM IMAGE_OBJECT_DATE")).toInt(), 8);
}

TEST_F(LoadingWindowTest, ClosingDuringARunStopsItWithoutWaitingAndAWindowOpenedMeanwhileWaitsForItsEnd) {
    fixture.addObject(QStringLiteral("Первый"), QStringLiteral("860001"));
    fixture.addObject(QStringLiteral("Второй"), QStringLiteral("860002"));
    openWindow();
    readings().open();
    server->injectFault(ReadingsServer::Fault::Stall, 1, QStringLiteral("photos/"));
    QPointer<TForm2> first = new TForm2(context(), window.get());
    first->setAttribute(Qt::WA_DeleteOnClose); // as the menu makes it
    first->form().Edit1->setText(QStringLiteral("2"));
    first->Button1Click();
    QTRY_VERIFY_WITH_TIMEOUT(server->requestCount() >= 2, 10000); // its first picture is on its way, stalled

    // The run cannot end while the database is held, so the second window finds it still ending.
    {
        // The run cannot end while the database is held here: a close that waited for it would never return.
        auto held = context().database.lock();
        first->close();
        QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 10000);

        TForm2 second(context(), window.get());
        second.form().Edit1->setText(QStringLiteral("2"));
        const int requestsOfTheFirstRun = server->requestCount(); // it fetches pictures ahead, as many as it may
        second.Button1Click();
        EXPECT_FALSE(second.form().Button1->isEnabled());
        EXPECT_EQ(second.form().Label1->text(),
                  QStringLiteral("Предыдущее обновление ещё завершается. Загрузка начнётся после него."));
        EXPECT_EQ(server->requestCount(), requestsOfTheFirstRun) << "no second run while the first is ending";
        held.unlock();

        QTRY_VERIFY_WITH_TIMEOUT(second.form().Button1->isEnabled(), 20000);
        const QString log = second.form().Memo1->toPlainText();
        EXPECT_FALSE(log.contains(QStringLiteral("Ошибка"))) << log.toStdString();
        EXPECT_TRUE(log.endsWith(QStringLiteral("Обновление завершено")));
    }
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM IMAGE_OBJECT_DATE")).toInt(), 8);
    QTRY_COMPARE_WITH_TIMEOUT(readings().rowCount(), 4, 5000); // the main window heard of both runs
}

TEST_F(LoadingWindowTest, TheProgramEndsWithinSecondsWhenClosedDuringTheParseOfALongAnswer) {
    fixture.addObject(QStringLiteral("Первый"), QStringLiteral("860001"));
    QByteArray answer = "<?xml version=\"1.0\" encoding=\"utf-8\"?><answer>";
    while (answer.size() < 30 * 1024 * 1024)
        answer += R"(<row id="1" img="" date="20180302141505" pok="1" bat="1" csq="1" nsmod="1" er="0"/>)";
    answer += "</answer>";
    server->scriptAnswer(QStringLiteral("860001"), answer);
    openWindow();
    auto* loading = new TForm2(context(), window.get());
    loading->form().Edit1->setText(QStringLiteral("2"));
    loading->Button1Click();
    QTRY_VERIFY_WITH_TIMEOUT(server->requestCount() >= 1, 10000);
    QTest::qWait(300); // the answer arrives; its parse takes seconds

    QElapsedTimer timer;
    timer.start();
    window.reset();  // the main window closes, and its windows with it
    session.reset(); // the end of the program: the run is abandoned, the transaction committed
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(fixture.committedValue(QStringLiteral("SELECT COUNT(*) FROM IMAGE_OBJECT_DATE")).toInt(), 0);
}
