#pragma once

#include "base/IniFile.h"
#include "ui/common/ListReadAhead.h"
#include "ui/common/WindowContext.h"
#include "ui_Glav_form.h"

#include <QMainWindow>
#include <QPixmap>
#include <QTimer>

#include <memory>
#include <optional>

class ThreadDS2Select;
class TForm3;
class TForm4;
class TForm6;
class TForm7;
class TForm8;
class TForm9;
class TForm10;
class TForm11;
class TForm13;

namespace vornic {
class DataSet;
} // namespace vornic

// The main window: the hub of the program. It connects the database at its creation and holds the object list
// (whose current row is the current object) and the readings of the current object.
class TForm1 final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    // The object list's columns in their order, with their settings keys ("DBGrid1_" + field).
    static const QStringList kObjectFields;
    static const QStringList kReadingFields; // the shown columns of the readings list

    // The windows made once at start-up that the menu opens. Start-up owns them.
    struct Windows {
        TForm3* form3 = nullptr;
        TForm4* form4 = nullptr;
        TForm6* form6 = nullptr;
        TForm7* form7 = nullptr;
        TForm8* form8 = nullptr;
        TForm9* form9 = nullptr;
        TForm10* form10 = nullptr;
        TForm11* form11 = nullptr;
        TForm13* form13 = nullptr;
    };

    explicit TForm1(vornic::WindowContext& context, QWidget* parent = nullptr);
    ~TForm1() override;

    // The creation steps: settings, database, schema upgrade, object list, layout. Returns false when the
    // database could not be opened; the process has then been told to end with exit code 1.
    bool FormCreate();

    vornic::WindowContext& context() const { return context_; }
    vornic::IniFile settings() const { return context_.settings(); }
    vornic::DataSet& IBDataSet1() const { return *objects_; }
    const vornic::ListReadAhead& objectsReadAhead() const { return *objectsReadAhead_; }
    vornic::DataSet& IBDataSet2() const { return *readings_; }

    // The windows that the menu opens, made after this one at start-up.
    void attachWindows(const Windows& windows) { windows_ = windows; }
    ThreadDS2Select& debounceWorker() const { return *debounceWorker_; }
    QTimer& Timer1() { return timer1_; }

    // Event handlers, public so that tests drive them as the operator would.
    void DBGrid1DblClick();
    void DBGrid1TitleClick(int column);
    void DBGrid2TitleClick(int column);
    void DBGrid2DblClick();
    void Edit1Change(const QString& text);
    void FormActivate();
    void FormClose();
    void Timer1Timer();
    // Shows the current reading's picture, gauges, network type and power supply.
    void IBDataSet2AfterScroll();
    // Closes and reopens the readings list, so that it shows what a download stored.
    void refreshReadings();
    // Reads the object list and the readings again, after objects were added, changed or removed.
    void refreshLists();
    // Moves both lists to an object and one of its readings, as the operator would, and opens the reading editor
    // on it over the window that asked; returns when the editor has closed.
    void openReading(int object, const QString& reading, QWidget* over);

    Ui::TForm1& form() { return ui; }

Q_SIGNALS:
    // The main window has closed: the program ends, whatever other window is still shown.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void restoreLayout();
    void setUpObjectList();
    void setUpReadingsList();
    void drawMark(QPainter* painter, const QRect& cell, int row) const;
    void setUpMenu();
    // The debounce worker's calls, made on this thread.
    std::optional<QString> currentScanner() const;
    void openReadingsOnce();
    void startDebounceWorker();
    // Shows one of the windows made at start-up modally, over this one.
    void showModal(QDialog* window);

    vornic::WindowContext& context_;
    std::unique_ptr<ThreadDS2Select> debounceWorker_; // made before everything else, suspended
    Ui::TForm1 ui;
    std::unique_ptr<vornic::DataSet> objects_;
    std::unique_ptr<vornic::ListReadAhead> objectsReadAhead_;
    std::unique_ptr<vornic::DataSet> readings_;
    bool objectsSortFlag_ = true;  // decides what the next title click of the object list does
    bool readingsSortFlag_ = true; // likewise for the readings list
    bool readingsOpenReported_ = false;
    bool listsRefreshWaits_ = false;    // the lists are to be read again once the editor lets them go
    bool readingsRefreshWaits_ = false; // the same for the readings alone
    bool readingsHeld_ = false;         // a reading chosen in another window is open in the editor
    Windows windows_;
    QTimer timer1_;
    QPixmap markSet_;
    QPixmap markClear_;
};
