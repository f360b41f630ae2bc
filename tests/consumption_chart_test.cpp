#include "reports/ConsumptionSeries.h"
#include "support/MainWindowFixture.h"
#include "ui/objects/Scanner_maintenance.h"
#include "ui/readings/Consumption_chart.h"
#include "ui/readings/Edit_resupt.h"
#include "ui/readings/Suspicious_readings.h"

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLineSeries>
#include <QPointer>
#include <QScatterSeries>
#include <QTest>
#include <QTimer>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <optional>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

const QDate kFirst(2014, 11, 1);

HistoryReading at(int day, QTime time, const QString& text, int error = 0) {
    static int id = 0;
    return {1, QDateTime(kFirst.addDays(day), time), QString::number(++id), text, error};
}

TEST(ConsumptionSeries, BarsPerDayWithGapsTheReadingsAsTheyCameAndTheImplausibleMarked) {
    QList<HistoryReading> history;
    for (int day = -10; day < 0; ++day) // ten units a day before the period: 0 to 90
        history.append(at(day, QTime(8, 0), QString::number(100 + 10 * day)));
    history += {
        at(0, QTime(8, 0), u"100"_s),  at(0, QTime(18, 0), u"104"_s), // two readings: one bar
        at(2, QTime(8, 0), u"124"_s),                                 // day 1 has none
        at(3, QTime(8, 0), u"9999"_s),                                // a misreading makes no bar
        at(4, QTime(8, 0), u"144"_s),  at(5, QTime(8, 0), u"абв"_s),  at(6, QTime(8, 0), u"154"_s), // after the period
    };
    const ConsumptionSeries series = consumptionSeries(history, kFirst, kFirst.addDays(5), 5);

    ASSERT_EQ(series.days.size(), 6);
    const std::optional<double> bars[] = {14, std::nullopt, 20, std::nullopt, 20, std::nullopt};
    for (int day = 0; day < 6; ++day) {
        SCOPED_TRACE(day);
        EXPECT_EQ(series.days[day].day, kFirst.addDays(day));
        EXPECT_EQ(series.days[day].consumption, bars[day]);
    }

    ASSERT_EQ(series.readings.size(), 5);
    EXPECT_EQ(series.readings[1].at, QDateTime(kFirst, QTime(18, 0)));
    EXPECT_EQ(series.readings[1].value, 104);
    QList<double> marked;
    for (const ChartReading& reading : series.readings)
        if (reading.implausible)
            marked.append(reading.value);
    EXPECT_EQ(marked, QList<double>{9999});

    ASSERT_EQ(series.implausible.size(), 2);
    EXPECT_EQ(series.implausible[0].value, u"9999"_s);
    EXPECT_EQ(series.implausible[1].reason, u"не число"_s);
}

TEST(ConsumptionSeries, AConfirmedDecreaseIsANegativeDayAndAnEmptyPeriodHasOnlyGaps) {
    const QList<HistoryReading> history = {at(0, QTime(8, 0), u"500"_s), at(1, QTime(8, 0), u"20"_s, 99),
                                           at(2, QTime(8, 0), u"25"_s)};
    const ConsumptionSeries series = consumptionSeries(history, kFirst, kFirst.addDays(2), 5);
    ASSERT_EQ(series.days.size(), 3);
    EXPECT_EQ(series.days[0].consumption, std::nullopt); // the first reading ever has nothing to rise from
    EXPECT_EQ(series.days[1].consumption, -480);
    EXPECT_EQ(series.days[2].consumption, 5);
    EXPECT_TRUE(series.implausible.isEmpty());

    const ConsumptionSeries later = consumptionSeries(history, kFirst.addDays(10), kFirst.addDays(12), 5);
    EXPECT_EQ(later.days.size(), 3);
    EXPECT_TRUE(later.readings.isEmpty());
    EXPECT_TRUE(std::all_of(later.days.begin(), later.days.end(), [](const auto& d) { return !d.consumption; }));
}

class ChartWindowsTest : public test::MainWindowTest {
protected:
    int object = 0;
    int quiet = 0;

    // The test clock's today is 11.11.2014: a steady meter read each morning of the month before, with one
    // misreading on the 5th, and a quiet meter that jumps once.
    void SetUp() override {
        object = fixture.addObject(u"Иванов И. И."_s, u"860001"_s);
        quiet = fixture.addObject(u"Дача"_s, u"860002"_s);
        const QDate today = services.clock.today();
        for (int back = 30; back >= 0; --back) {
            const QDate day = today.addDays(-back);
            const QString value = day == QDate(2014, 11, 5) ? u"17903"_s : QString::number(12899 + 12 * (30 - back));
            fixture.addReading({object, u"r%1"_s.arg(back), QDateTime(day, QTime(7, 30)), {}, value, 80, 20, 2, 0});
            if (back % 3 == 0)
                fixture.addReading({quiet,
                                    u"q%1"_s.arg(back),
                                    QDateTime(day, QTime(9, 0)),
                                    {},
                                    back == 0 ? u"60"_s : u"40"_s,
                                    80,
                                    20,
                                    2,
                                    0});
        }
    }

    // Runs check on the modal window the action opens, then closes that window.
    void onModal(QAction* action, const std::function<void(QWidget*)>& check) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            seen = modal != nullptr;
            if (modal) {
                check(modal);
                modal->close();
            }
        });
        action->trigger();
        EXPECT_TRUE(seen);
    }
};

TEST_F(ChartWindowsTest, TheChartOpensOnTheLastMonthOfTheCurrentObjectAndSavesAsPng) {
    openWindow();
    ASSERT_TRUE(objects().locatePrefix(u"FIO"_s, u"Иванов"_s));
    onModal(window->form().NConsumptionChart, [&](QWidget* modal) {
        auto* chart = qobject_cast<TForm15*>(modal);
        ASSERT_NE(chart, nullptr);
        EXPECT_EQ(chart->windowTitle(), u"График потребления"_s);
        QTRY_COMPARE(chart->series().days.size(), 30);
        EXPECT_EQ(chart->series().days.last().day, services.clock.today());
        EXPECT_EQ(chart->series().readings.size(), 30);
        ASSERT_EQ(chart->series().implausible.size(), 1);
        EXPECT_EQ(chart->series().implausible[0].at.date(), QDate(2014, 11, 5));

        const QList<QAbstractSeries*> drawn = chart->chart()->series();
        ASSERT_EQ(drawn.size(), 3);
        auto* bars = qobject_cast<QBarSeries*>(drawn[0]);
        ASSERT_NE(bars, nullptr);
        EXPECT_EQ(bars->barSets().at(0)->count(), 30);
        EXPECT_EQ(bars->barSets().at(0)->at(29), 12);
        EXPECT_EQ(qobject_cast<QLineSeries*>(drawn[1])->count(), 30);
        EXPECT_EQ(qobject_cast<QScatterSeries*>(drawn[2])->count(), 1);
        QStringList axisTitles;
        for (const QAbstractAxis* axis : chart->chart()->axes())
            axisTitles.append(axis->titleText());
        EXPECT_EQ(axisTitles, (QStringList{u"Дата"_s, u"Потребление за сутки, куб.м"_s, u"Показания, куб.м"_s}));

        // A shorter period is drawn when asked for, and the save dialog's cancel saves nothing.
        chart->form().DateTimePicker1->setDay(QDate(2014, 11, 4));
        chart->Button1Click();
        EXPECT_EQ(chart->series().days.size(), 8);
        chart->Button2Click();
        ASSERT_EQ(services.files.calls.size(), 1);
        EXPECT_EQ(services.files.calls[0].defaultExtension, u"png"_s);

        const QString png = fixture.folder() + u"chart.png"_s;
        services.files.names = {png};
        chart->Button2Click();
        const QImage saved(png, "PNG");
        EXPECT_FALSE(saved.isNull());
        EXPECT_EQ(saved.size(), chart->chartView()->size() * chart->chartView()->devicePixelRatio());

        services.files.names = {fixture.folder() + u"no such folder/chart.png"_s};
        chart->Button2Click();
    });
    ASSERT_EQ(services.messages.texts().size(), 1);
    EXPECT_TRUE(services.messages.texts()[0].startsWith(u"Не удалось сохранить рисунок в файл "_s));
}

TEST_F(ChartWindowsTest, TheChartNeedsACurrentObject) {
    openWindow();
    objects().close();
    window->form().NConsumptionChart->trigger();
    EXPECT_EQ(services.messages.texts(), QStringList{u"Выберите объект в списке контролируемых объектов."_s});
}

TEST_F(ChartWindowsTest, TheSuspiciousListOpensAReadingInTheEditorAndReadsItselfAgainAfterwards) {
    openWindow();
    bool edited = false;
    onModal(window->form().NSuspiciousReadings, [&](QWidget* modal) {
        auto* review = qobject_cast<TForm14*>(modal);
        ASSERT_NE(review, nullptr);
        EXPECT_EQ(review->windowTitle(), u"Подозрительные показания"_s);
        QTRY_COMPARE(review->form().StringGrid1->rowCount(), 2);
        QStringList rows;
        for (int row = 0; row < 2; ++row) {
            QStringList cells;
            for (int column = 0; column < 6; ++column)
                cells.append(review->form().StringGrid1->item(row, column)->text());
            rows.append(cells.join(u" | "_s));
        }
        // The good reading after the misreading is not listed: it follows the readings before it.
        EXPECT_EQ(rows, (QStringList{
                            u"Дача | 860002 | 11.11.2014 9:00:00 | 60 | 40 | рост 20 за 3 дня при обычном 1 в день"_s,
                            u"Иванов И. И. | 860001 | 05.11.2014 7:30:00 | 17903 | 13175 | "
                            u"рост 4728 за 1 день при обычном 12 в день"_s,
                        }));

        // The editor opens over the list on the misreading, with the main window moved to it.
        QTimer::singleShot(0, [&] {
            auto* editor = qobject_cast<TForm5*>(QApplication::activeModalWidget());
            ASSERT_NE(editor, nullptr);
            QTRY_VERIFY(editor->isActiveWindow());
            EXPECT_EQ(editor->parentWidget(), review);
            EXPECT_EQ(objects().field(u"ID_OBJECT"_s).asInteger(), object);
            EXPECT_EQ(readings().field(u"ID_IMAG"_s).asString(), u"r6"_s);
            EXPECT_EQ(editor->form().DBEdit3->text(), u"17903"_s);
            editor->form().DBEdit3->setText(u"13187"_s);
            editor->Button1Click();
            edited = true;
            editor->close();
        });
        review->StringGrid1DblClick(1);
        EXPECT_TRUE(edited);
        ASSERT_EQ(review->listed().size(), 1);
        EXPECT_EQ(review->listed()[0].object, quiet);
    });
    EXPECT_EQ(fixture.committedValue(u"SELECT ERROR FROM IMAGE_OBJECT_DATE WHERE ID_IMAG='r6'"_s).toInt(), 99);
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ChartWindowsTest, TheSuspiciousListIsReadAsideWhileTheWindowsAnswerAndAnInterruptionOrClosingKeepsItAsItWas) {
    openWindow();
    auto* review = new TForm14(context());
    review->setAttribute(Qt::WA_DeleteOnClose);
    const QPointer<TForm14> alive(review);

    // An event posted as the pass begins is handled while the pass still runs.
    std::optional<bool> runningWhenHandled;
    auto connection = QObject::connect(&review->work(), &WorkInSteps::progressed, review, [&] {
        QTimer::singleShot(0, review, [&] { runningWhenHandled = review->work().isRunning(); });
    });
    review->Button1Click();
    EXPECT_EQ(runningWhenHandled, std::optional<bool>(true));
    EXPECT_EQ(review->listed().size(), 2);
    QObject::disconnect(connection);

    // A third implausible reading is not listed by a pass interrupted as it begins: the list stays as it was.
    fixture.addReading({quiet, u"q-jump"_s, QDateTime(QDate(2014, 11, 11), QTime(10, 0)), {}, u"900"_s, 80, 20, 2, 0});
    connection =
        QObject::connect(&review->work(), &WorkInSteps::progressed, review, [&] { review->work().interrupt(); });
    review->Button1Click();
    EXPECT_EQ(review->listed().size(), 2);
    EXPECT_EQ(review->form().StringGrid1->rowCount(), 2);
    QObject::disconnect(connection);

    // Closed while its pass runs, the window goes once the pass has ended, not before.
    QObject::connect(&review->work(), &WorkInSteps::progressed, review, [&] { review->close(); });
    review->Button1Click();
    ASSERT_TRUE(alive);
    EXPECT_EQ(review->listed().size(), 2);
    QTRY_VERIFY(alive.isNull());
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

TEST_F(ChartWindowsTest, TheChartAndTheMaintenanceListReadAsideWhileTheWindowsAnswer) {
    openWindow();
    TForm15 chart(context(), object, u"Иванов И. И."_s, u"860001"_s);
    TForm16 maintenance(context());
    const struct {
        const char* window;
        WorkInSteps& work;
        std::function<void()> start;
        std::function<bool()> done;
    } cases[] = {
        {"chart", chart.work(), [&] { chart.Button1Click(); }, [&] { return !chart.chart()->series().isEmpty(); }},
        {"maintenance", maintenance.work(), [&] { maintenance.Button1Click(); },
         [&] { return maintenance.form().StringGrid1->model()->rowCount() == 2; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        std::optional<bool> runningWhenHandled;
        const auto connection = QObject::connect(&c.work, &WorkInSteps::progressed, &c.work, [&] {
            QTimer::singleShot(0, &c.work, [&] { runningWhenHandled = c.work.isRunning(); });
        });
        c.start();
        EXPECT_EQ(runningWhenHandled, std::optional<bool>(true));
        EXPECT_TRUE(c.done());
        QObject::disconnect(connection);
    }
    EXPECT_TRUE(services.messages.shown.isEmpty());
}

} // namespace
} // namespace vornic
