#include "base/IniFile.h"
#include "base/Windows1251.h"
#include "reports/ScannerMaintenance.h"
#include "reports/Spreadsheet.h"
#include "support/MainWindowFixture.h"
#include "support/RecordingSpreadsheet.h"
#include "ui/objects/Scanner_maintenance.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace vornic;
using namespace Qt::StringLiterals;

namespace {

const QDate kToday(2026, 12, 10);

// One reading a day at noon, the last one `lastDaysAgo` days before today; nothing in a level stores NULL.
QList<MaintenanceReading> daily(const std::vector<std::optional<int>>& batteries, int lastDaysAgo = 0,
                                const std::vector<std::optional<int>>& signals = {}) {
    QList<MaintenanceReading> readings;
    const qsizetype count = qsizetype(std::max(batteries.size(), signals.size()));
    for (qsizetype i = 0; i < count; ++i) {
        const QDate day = kToday.addDays(-lastDaysAgo - (count - 1 - i));
        const std::optional<int> battery = i < qsizetype(batteries.size()) ? batteries[size_t(i)] : 70;
        const std::optional<int> signal = i < qsizetype(signals.size()) ? signals[size_t(i)] : 20;
        readings.append({QDateTime(day, QTime(12, 0)), battery, signal});
    }
    return readings;
}

MaintenanceRow rowOf(const QList<MaintenanceReading>& readings, bool mains = false,
                     const MaintenanceThresholds& thresholds = {}) {
    return maintenanceRow({1, u"1"_s, u"Объект"_s, {}, mains}, readings, kToday, thresholds);
}

} // namespace

TEST(ScannerMaintenance, BatteryTrendGivesTheDayItIsSpentAndAChangedBatteryStartsAnew) {
    const struct {
        const char* what;
        std::vector<std::optional<int>> levels;
        bool mains;
        std::optional<double> trend;
        std::optional<QDate> spent; // nothing: none, or a day too far ahead to matter
        QString verdict;
    } cases[] = {
        // 2 % a day from 50 down to 32 today: 22 points left, 11 days.
        {"draining",
         {50, 48, 46, 44, 42, 40, 38, 36, 34, 32},
         false,
         -2.0,
         QDate(2026, 12, 21),
         u"Заменить батарею до 21.12.2026"_s},
        // Another point or two read off now and then: no day worth naming.
        {"steady", {80, 79, 80, 81, 80, 79, 80, 81, 80, 80}, false, 0.0, std::nullopt, {}},
        // The old battery ran down to 14, a new one went in: the rise is no trend, the new battery barely falls.
        {"changed", {30, 26, 22, 18, 14, 100, 100, 99, 99, 99}, false, -0.3, std::nullopt, {}},
        // A gap in the battery figures is not a change.
        {"with gaps",
         {50, std::nullopt, 46, std::nullopt, 42, 40, 38, 36, 34, 32},
         false,
         -2.0,
         QDate(2026, 12, 21),
         u"Заменить батарею до 21.12.2026"_s},
        // Already spent: due at once, whatever the trend.
        {"spent", {12, 11, 10, 10, 10}, false, -0.5, kToday, u"Заменить батарею до 10.12.2026"_s},
        {"one reading", {9}, false, std::nullopt, kToday, u"Заменить батарею до 10.12.2026"_s},
        // The mains feeds it: whatever the scanner says of a battery means nothing.
        {"mains", {50, 48, 46, 44, 42, 40, 38, 36, 34, 32}, true, std::nullopt, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const MaintenanceRow row = rowOf(daily(c.levels), c.mains);
        ASSERT_EQ(row.batteryTrend.has_value(), c.trend.has_value());
        if (c.trend) {
            EXPECT_NEAR(*row.batteryTrend, *c.trend, 0.15);
        }
        if (c.spent) {
            EXPECT_EQ(row.batterySpent, c.spent);
        } else {
            EXPECT_TRUE(!row.batterySpent || *row.batterySpent > kToday.addDays(200));
        }
        EXPECT_EQ(row.verdictText, c.verdict);
        EXPECT_EQ(row.battery.has_value(), !c.mains);
    }

    // The changed battery's day lies far ahead, not in the past as a line across the change would put it.
    const MaintenanceRow changed = rowOf(daily({30, 26, 22, 18, 14, 100, 100, 99, 99, 99}));
    ASSERT_TRUE(changed.batterySpent);
    EXPECT_GT(*changed.batterySpent, kToday.addDays(200));

    // Only the trend days count: an old fall does not make today's flat battery a draining one.
    MaintenanceThresholds week;
    week.trendDays = 5;
    const MaintenanceRow recent = rowOf(daily({90, 80, 70, 60, 60, 60, 60, 60, 60, 60}), false, week);
    EXPECT_NEAR(*recent.batteryTrend, 0.0, 0.01);
    EXPECT_EQ(recent.verdictText, QString());
}

TEST(ScannerMaintenance, SilenceComesBeforeTheBatteryAndTheUsualSignalDecidesAWeakOne) {
    const std::vector<std::optional<int>> draining = {50, 48, 46, 44, 42, 40, 38, 36, 34, 32};
    const struct {
        const char* what;
        QList<MaintenanceReading> readings;
        QString verdict;
    } cases[] = {
        {"heard from 2 days ago", daily({80, 80}, 2), {}},
        {"silent 3 days", daily({80, 80}, 3), u"Нет связи 3 дня"_s},
        {"silent and draining", daily(draining, 4), u"Нет связи 4 дня"_s},
        {"silent 21 days", daily({80}, 21), u"Нет связи 21 день"_s},
        {"never read", {}, u"Нет показаний"_s},
        {"mostly weak, strong at last", daily({}, 0, {5, 4, 6, 5, 30}), u"Слабый сигнал"_s},
        {"mostly strong, weak at last", daily({}, 0, {20, 22, 18, 21, 3}), {}},
        {"draining and weak", daily(draining, 0, std::vector<std::optional<int>>(10, 5)),
         u"Заменить батарею до 21.12.2026"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rowOf(c.readings).verdictText, c.verdict);
    }
    const MaintenanceRow lastStrong = rowOf(daily({}, 0, {5, 4, 6, 5, 30}));
    EXPECT_EQ(lastStrong.signal, 30);

    for (const auto& [days, text] : std::initializer_list<std::pair<int, QString>>{{1, u"1 день"_s},
                                                                                   {3, u"3 дня"_s},
                                                                                   {5, u"5 дней"_s},
                                                                                   {11, u"11 дней"_s},
                                                                                   {12, u"12 дней"_s},
                                                                                   {21, u"21 день"_s},
                                                                                   {22, u"22 дня"_s},
                                                                                   {111, u"111 дней"_s},
                                                                                   {101, u"101 день"_s}})
        EXPECT_EQ(daysText(days), text);
}

class ScannerMaintenanceList : public test::MainWindowTest {
protected:
    int id = 0;

    int object(const QString& scanner, const QList<MaintenanceReading>& readings) {
        const int object = fixture.addObject(u"Объект "_s + scanner, scanner);
        for (const MaintenanceReading& r : readings)
            fixture.addReading({object,
                                QString::number(++id),
                                r.at,
                                {},
                                u"100"_s,
                                r.battery ? QVariant(*r.battery) : QVariant(),
                                r.signal ? QVariant(*r.signal) : QVariant(),
                                2,
                                0});
        return object;
    }

    QStringList order() {
        QStringList scanners;
        for (const MaintenanceRow& row : scannerMaintenance(fixture.db(), kToday, maintenanceThresholds(settings())))
            scanners.append(row.object.scanner);
        return scanners;
    }

    IniFile settings() { return IniFile(fixture.folder() + u"options.ini"_s); }

    // The cases of the list in an order of their own: the fine one first, the most urgent last.
    void fillDirectory() {
        object(u"fine"_s, daily({80, 80, 80}));
        object(u"weak"_s, daily({80, 80, 80}, 0, {5, 6, 7}));
        object(u"battery 28.12"_s, daily({64, 62, 60, 58, 56, 54, 52, 50, 48, 46}));
        object(u"silent 4"_s, daily({80, 80}, 4));
        object(u"battery 21.12"_s, daily({50, 48, 46, 44, 42, 40, 38, 36, 34, 32}));
        object(u"silent 10"_s, daily({80, 80}, 10));
        object(u"never"_s, {});
        object(u"weaker"_s, daily({80, 80, 80}, 0, {2, 3, 4}));
    }
};

TEST_F(ScannerMaintenanceList, MostUrgentFirstFromOnePassOverTheReadings) {
    fillDirectory();
    // Readings of an object taken out of the directory, and readings without battery or signal, are passed by.
    const int gone = object(u"gone"_s, daily({5}, 30));
    fixture.exec(u"DELETE FROM LIST_OBJECTS WHERE ID_OBJECT=%1"_s.arg(gone));
    const int blank = fixture.addObject(u"Пустой"_s, u"blank"_s);
    fixture.addReading({blank, u"b1"_s, QDateTime(kToday, QTime(9, 0)), {}, u"1"_s, {}, {}, {}, 0});

    EXPECT_EQ(order(), (QStringList{u"silent 10"_s, u"silent 4"_s, u"never"_s, u"battery 21.12"_s, u"battery 28.12"_s,
                                    u"weaker"_s, u"weak"_s, u"fine"_s, u"blank"_s}));

    // The limits come from the settings: a longer patience and a lower bar for the signal.
    IniFile options = settings();
    options.writeInteger(u"Maintenance"_s, u"silent_days"_s, 5);
    options.writeInteger(u"Maintenance"_s, u"weak_signal"_s, 5);
    options.writeInteger(u"Maintenance"_s, u"battery_warning_days"_s, 15);
    EXPECT_EQ(order(), (QStringList{u"silent 10"_s, u"never"_s, u"battery 21.12"_s, u"weaker"_s, u"fine"_s, u"weak"_s,
                                    u"battery 28.12"_s, u"silent 4"_s, u"blank"_s}));
}

// The pass reads each object's readings only as far back as the trend needs: what it makes of a long history,
// the trend days ending at its last reading five days ago, is what the whole history makes.
TEST_F(ScannerMaintenanceList, ALongHistoryGivesTheRowThatAllItsReadingsGive) {
    std::vector<std::optional<int>> batteries;
    std::vector<std::optional<int>> signals;
    for (int day = 0; day < 120; ++day) {
        batteries.push_back(day < 70 ? 99 - day / 10 : 95 - (day - 70) * 3 / 2);
        signals.push_back(day % 9 == 0 ? 3 : 15 + day % 5);
    }
    const QList<MaintenanceReading> history = daily(batteries, 5, signals);
    object(u"long"_s, history);

    const QList<MaintenanceRow> rows = scannerMaintenance(fixture.db(), kToday, maintenanceThresholds(settings()));

    ASSERT_EQ(rows.size(), 1);
    const MaintenanceRow expected = maintenanceRow(rows[0].object, history, kToday, maintenanceThresholds(settings()));
    EXPECT_EQ(rows[0].daysSilent, expected.daysSilent);
    EXPECT_EQ(rows[0].battery, expected.battery);
    ASSERT_TRUE(rows[0].batteryTrend && expected.batteryTrend);
    EXPECT_DOUBLE_EQ(*rows[0].batteryTrend, *expected.batteryTrend);
    EXPECT_EQ(rows[0].batterySpent, expected.batterySpent);
    EXPECT_EQ(rows[0].usualSignal, expected.usualSignal);
    EXPECT_EQ(rows[0].verdictText, expected.verdictText);
}

TEST_F(ScannerMaintenanceList, OpensFromTheMenuAndSavesWhatItShows) {
    RecordingSpreadsheetServer spreadsheet;
    ScopedSpreadsheetServer spreadsheetInForce{spreadsheet};
    QTemporaryDir saved;
    object(u"fine"_s, daily({80, 80, 80}));
    object(u"silent"_s, daily({80, 80}, 4));
    services.clock.current = QDateTime(kToday, QTime(10, 0));
    openWindow();
    window->show();

    const QString text = saved.filePath(u"Обслуживание.txt"_s);
    const QString xml = saved.filePath(u"Обслуживание.xml"_s);
    services.files.names = {text, xml};
    QPointer<TForm16> shown;
    QStringList cells;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        shown = qobject_cast<TForm16*>(modal);
        // The list is made when the window is first activated.
        if (shown && QTest::qWaitForWindowActive(shown) &&
            QTest::qWaitFor([&] { return shown->model().rowCount() > 0; })) {
            QStandardItemModel& model = shown->model();
            for (int column = 0; column < model.columnCount(); ++column)
                cells.append(model.index(0, column).data().toString());
            for (int format = 0; format < 3; ++format) {
                shown->form().ComboBox1->setCurrentIndex(format);
                shown->Button2Click();
            }
        }
        if (modal)
            QTest::keyClick(modal, Qt::Key_Escape);
    });
    window->form().NScannerMaintenance->trigger();

    ASSERT_TRUE(cells.size() == 9) << "the window was not shown modally";
    EXPECT_EQ(cells,
              (QStringList{
                  u"silent"_s, u"Объект silent"_s, {}, u"4"_s, u"80"_s, u"0,00"_s, {}, u"20"_s, u"Нет связи 4 дня"_s}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull()) << "made for one opening, gone when closed";
    EXPECT_TRUE(services.messages.shown.isEmpty()) << services.messages.texts().join(u'\n').toStdString();

    QFile textFile(text);
    ASSERT_TRUE(textFile.open(QIODevice::ReadOnly));
    const QStringList lines = windows1251::decode(textFile.readAll()).split(u"\r\n"_s);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(u"ID сканера: silent  ФИО: Объект silent"_s)) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(u"Вывод: Нет связи 4 дня"_s));
    EXPECT_TRUE(lines[1].endsWith(u"Вывод: "_s));
    QFile xmlFile(xml);
    ASSERT_TRUE(xmlFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(xmlFile.readAll())
                    .contains(u"<row ID_SCANNER=\"silent\" fio=\"Объект silent\" address=\"\" days_silent=\"4\" "
                              u"battery=\"80\" battery_trend=\"0,00\" battery_spent=\"\" signal=\"20\" "
                              u"verdict=\"Нет связи 4 дня\"/>"_s));
    EXPECT_TRUE(spreadsheet.calls.contains(u"Cells(1,9).Value=Вывод"_s));
    EXPECT_TRUE(spreadsheet.calls.contains(u"Cells(2,9).Value=Нет связи 4 дня"_s));
}
