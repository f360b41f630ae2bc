#pragma once

#include "reports/ConsumptionSeries.h"
#include "ui/common/OpeningDialog.h"
#include "ui/common/WindowContext.h"
#include "ui/common/WorkInSteps.h"
#include "ui_Consumption_chart.h"

#include <QString>

class QChart;
class QChartView;

// The consumption chart of one object: a bar for each day's consumption over a period of days, the readings as
// a line on an axis of their own, the implausible readings marked on it; saved as a PNG picture for a report.
// Made for one opening, for the object current in the main window at that moment.
class TForm15 final : public vornic::OpeningDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm15)

public:
    // The object whose chart this is: its key, its subscriber or name and its scanner.
    TForm15(vornic::WindowContext& context, int object, QString fio, QString scanner, QWidget* parent = nullptr);

    // Event handlers, public so that tests drive them as the operator would.
    // Coming back from the save dialog must keep the period the operator drew, not draw the opening month again.
    void FormActivate() override; // the opening: the last thirty days, drawn at once
    void Button1Click();          // "Построить"
    void Button2Click();          // "Сохранить как PNG"

    const vornic::ConsumptionSeries& series() const { return series_; }
    QChart* chart() const;
    QChartView* chartView() const { return view_; }
    Ui::TForm15& form() { return ui; }

    vornic::WorkInSteps& work() { return work_; }

private:
    void draw();

    Ui::TForm15 ui;
    vornic::WindowContext& context_;
    int object_;
    QString fio_;
    QString scanner_;
    vornic::ConsumptionSeries series_;
    QChartView* view_;
    vornic::WorkInSteps work_;
};
