#pragma once

#include "app/IniFile.h"
#include "ui_Glav_form.h"

#include <QMainWindow>
#include <QPixmap>

#include <memory>

namespace vornic {
class Database;
class DataSet;
} // namespace vornic

// The main window: the hub of the program. It holds the data folder, the one connection and transaction, the
// object list (whose current row is the current object) and the readings of the current object.
class TForm1 final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    // The object list's columns in their order, with their settings keys ("DBGrid1_" + field).
    static const QStringList kObjectFields;
    static const QStringList kReadingFields; // the shown columns of the readings list

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The creation steps: data folder, settings, database, schema upgrade, object list, layout. Returns false
    // when the database could not be opened; the process has then been told to end with exit code 1.
    bool FormCreate();

    const QString& dataFolder() const { return dataFolder_; }
    vornic::IniFile settings() const;
    vornic::Database& database() const { return *database_; }
    vornic::DataSet& IBDataSet1() const { return *objects_; }
    vornic::DataSet& IBDataSet2() const { return *readings_; }

    // Event handlers, public so that tests drive them as the operator would.
    void DBGrid1DblClick();
    void DBGrid1TitleClick(int column);
    void Edit1Change(const QString& text);
    void FormClose();

    Ui::TForm1& form() { return ui; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void restoreLayout();
    void setUpObjectList();
    void setUpReadingsList();
    void drawMark(QPainter* painter, const QRect& cell, int row) const;

    Ui::TForm1 ui;
    QString dataFolder_;
    std::unique_ptr<vornic::Database> database_;
    std::unique_ptr<vornic::DataSet> objects_;
    std::unique_ptr<vornic::DataSet> readings_;
    bool objectsSortFlag_ = true; // decides what the next title click of the object list does
    QPixmap markSet_;
    QPixmap markClear_;
};
