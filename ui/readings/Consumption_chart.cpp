#include "ui/readings/Consumption_chart.h"

#include "base/Failure.h"
#include "base/Services.h"
#include "db/Database.h"
#include "ui/common/ErrorReport.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QLineSeries>
#include <QPixmap>
#include <QScatterSeries>
#include <QShowEvent>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <utility>

using namespace vornic;

namespace {

// The opening shows a month: enough days to see a habit and a misreading against it.
constexpr int kOpeningDays = 30;
// Date labels under the bars: more than this many crowd into one another.
constexpr int kMostDateLabels = 15;
constexpr double kSecondsPerDay = 86400;

const QColor kBars(79, 129, 189);
const QColor kReadingsLine(192, 80, 77);
const QColor kImplausibleMark(230, 0, 0);

QString dayLabel(QDate day, bool showYear) {
    return day.toString(showYear ? QStringLiteral("dd.MM.yy") : QStringLiteral("dd.MM"));
}

// The days between date labels: one, two, a week, a fortnight, a month...: steps the eye counts in.
int labelStep(int days) {
    for (const int step : {1, 2, 7, 14, 28, 56, 91, 182})
        if ((days + step - 1) / step <= kMostDateLabels)
            return step;
    return 365;
}

// An axis range with some room above and below the values, so that no point sits on the frame.
std::pair<double, double> paddedRange(double low, double high) {
    if (low == high) {
        const double room = std::max(1.0, std::abs(low) * 0.05);
        return {low - room, high + room};
    }
    const double room = (high - low) * 0.08;
    return {low - room, high + room};
}

} // namespace

TForm15::TForm15(WindowContext& context, int object, QString fio, QString scanner, QWidget* parent)
    : OpeningDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                                Qt::WindowCloseButtonHint),
      context_(context), object_(object), fio_(std::move(fio)), scanner_(std::move(scanner)),
      work_(this, QStringLiteral("Построение графика")) {
    ui.setupUi(this);
    view_ = new QChartView(new QChart(), ui.Panel1);
    view_->setObjectName(QStringLiteral("Chart1"));
    view_->setRenderHint(QPainter::Antialiasing);
    ui.LayoutChart->addWidget(view_);
    connect(ui.Button1, &QPushButton::clicked, this, &TForm15::Button1Click);
    connect(ui.Button2, &QPushButton::clicked, this, &TForm15::Button2Click);
    connect(ui.Button3, &QPushButton::clicked, this, &QDialog::close);
}

QChart* TForm15::chart() const {
    return view_->chart();
}

void TForm15::FormActivate() {
    reportFailures([&] {
        const QDate today = context_.services.clock->today();
        ui.DateTimePicker2->setDay(today);
        ui.DateTimePicker1->setDay(today.addDays(1 - kOpeningDays));
    });
    Button1Click();
}

void TForm15::Button1Click() {
    if (work_.isRunning())
        return;
    reportFailures([&] {
        const QDate first = ui.DateTimePicker1->day();
        const QDate last = ui.DateTimePicker2->day();
        if (last < first) {
            context_.services.messages->inform(QStringLiteral("Начальная дата позже конечной."));
            return;
        }
        const double factor = implausibleFactor(context_.settings());
        // The object's history is read on a connection of its own, so that the windows go on meanwhile; an
        // interrupted reading leaves the chart as it was.
        QList<HistoryReading> history;
        const int object = object_;
        if (work_.readAside(context_.database.databaseName(), [&](Database& database) {
                history = objectHistory(database, object, last);
            }) == WorkEnd::Interrupted)
            return;
        series_ = consumptionSeries(history, first, last, factor);
        draw();
    });
}

void TForm15::draw() {
    auto* chart = new QChart();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    QFont titleFont = chart->titleFont();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);

    const QDate first = ui.DateTimePicker1->day();
    const QDate last = ui.DateTimePicker2->day();
    QString title = QStringLiteral("Потребление: ") + fio_.trimmed();
    if (!scanner_.trimmed().isEmpty())
        title += QStringLiteral(" (сканер ") + scanner_.trimmed() + QStringLiteral(")");
    title += QStringLiteral(", ") + first.toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" – ") +
             last.toString(QStringLiteral("dd.MM.yyyy"));
    if (series_.readings.isEmpty())
        title += QStringLiteral("<br>нет показаний за период");
    chart->setTitle(title);

    const int days = static_cast<int>(series_.days.size());
    auto* bars = new QBarSet(QStringLiteral("Потребление за сутки"));
    bars->setColor(kBars);
    bars->setBorderColor(kBars.darker(120));
    double barLow = 0;
    double barHigh = 0;
    for (const ConsumptionDay& day : series_.days) {
        // A day without a reading has no bar; zero height draws none.
        const double value = day.consumption.value_or(0);
        bars->append(value);
        barLow = std::min(barLow, value);
        barHigh = std::max(barHigh, value);
    }
    auto* barSeries = new QBarSeries();
    barSeries->append(bars);
    barSeries->setBarWidth(0.7);
    chart->addSeries(barSeries);

    auto* line = new QLineSeries();
    line->setName(QStringLiteral("Показания"));
    line->setPen(QPen(kReadingsLine, 2));
    line->setPointsVisible(series_.readings.size() <= 2 * kOpeningDays);
    auto* marks = new QScatterSeries();
    marks->setName(QStringLiteral("Подозрительные показания"));
    marks->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    marks->setMarkerSize(12);
    marks->setColor(kImplausibleMark);
    marks->setBorderColor(Qt::black);
    double readingLow = 0;
    double readingHigh = 0;
    for (int i = 0; i < series_.readings.size(); ++i) {
        const ChartReading& reading = series_.readings.at(i);
        // Bar i stands on the middle of day i, so a reading sits within its day's bar at its time of day.
        const double x = static_cast<double>(first.daysTo(reading.at.date())) - 0.5 +
                         reading.at.time().msecsSinceStartOfDay() / 1000.0 / kSecondsPerDay;
        line->append(x, reading.value);
        if (reading.implausible)
            marks->append(x, reading.value);
        readingLow = i == 0 ? reading.value : std::min(readingLow, reading.value);
        readingHigh = i == 0 ? reading.value : std::max(readingHigh, reading.value);
    }
    chart->addSeries(line);
    chart->addSeries(marks);

    auto* dates = new QCategoryAxis();
    dates->setTitleText(QStringLiteral("Дата"));
    dates->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    dates->setRange(-0.5, std::max(days, 1) - 0.5);
    dates->setStartValue(-0.5);
    const bool showYear = first.year() != last.year();
    const int step = labelStep(days);
    for (int i = 0; i < days; i += step)
        dates->append(dayLabel(first.addDays(i), showYear), i);
    chart->addAxis(dates, Qt::AlignBottom);

    auto* consumption = new QValueAxis();
    consumption->setTitleText(QStringLiteral("Потребление за сутки, куб.м"));
    consumption->setRange(barLow, barHigh > barLow ? barHigh * 1.1 : barLow + 1);
    consumption->applyNiceNumbers();
    consumption->setLabelFormat(QStringLiteral("%.4g"));
    chart->addAxis(consumption, Qt::AlignLeft);

    auto* readings = new QValueAxis();
    readings->setTitleText(QStringLiteral("Показания, куб.м"));
    const auto [low, high] = series_.readings.isEmpty() ? std::pair(0.0, 1.0) : paddedRange(readingLow, readingHigh);
    readings->setRange(low, high);
    readings->applyNiceNumbers();
    readings->setLabelFormat(QStringLiteral("%.10g"));
    readings->setGridLineVisible(false);
    readings->setLinePenColor(kReadingsLine);
    readings->setLabelsColor(kReadingsLine);
    chart->addAxis(readings, Qt::AlignRight);

    barSeries->attachAxis(dates);
    barSeries->attachAxis(consumption);
    for (QAbstractSeries* series : {static_cast<QAbstractSeries*>(line), static_cast<QAbstractSeries*>(marks)}) {
        series->attachAxis(dates);
        series->attachAxis(readings);
    }

    QChart* previous = view_->chart();
    view_->setChart(chart);
    delete previous;
}

void TForm15::Button2Click() {
    reportFailures([&] {
        const QString name = context_.services.files->saveFileName(
            QStringLiteral("Рисунок PNG (*.png)|*.png"), QStringLiteral("График потребления ") + scanner_.trimmed(),
            QStringLiteral("png"));
        if (name.isEmpty())
            return;
        if (!view_->grab().save(name, "PNG"))
            throw Failure(QStringLiteral("Не удалось сохранить рисунок в файл ") + name);
    });
}
