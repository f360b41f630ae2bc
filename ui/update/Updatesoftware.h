#pragma once

#include "ui_Updatesoftware.h"

#include <QDialog>
#include <QString>

#include <memory>

class QTimer;
class ThreadUpdate;

namespace vornic {
struct WindowContext;
}

// The offer of a newer version of the client. Made hidden at start-up, where its creation starts the update check;
// shown, modeless, by the main window's timer once the check has found a newer version. Its caption is the check's
// message line.
class TForm9 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm9)

public:
    // What the window needs of the main window, which it never reaches for itself.
    struct MainWindow {
        QWidget* window = nullptr; // the update window is centred on it
        QTimer& timer;             // shows this window; off while no newer version is known
    };

    TForm9(vornic::WindowContext& context, const QString& currentVersion, MainWindow mainWindow,
           QWidget* parent = nullptr);
    ~TForm9() override;

    // Event handlers, public so that tests drive them as the operator would.
    void FormActivate();
    void Button1Click();
    void Button2Click();

    ThreadUpdate& updateCheck() { return *updateCheck_; }
    Ui::TForm9& form() { return ui; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public Q_SLOTS:
    // Only "Выход" closes the window: Escape does nothing.
    void reject() override {}

private:
    void showProgress(qint64 expected, qint64 received);
    void openUpdateAndEnd(const QString& path);

    Ui::TForm9 ui;
    vornic::WindowContext& context_;
    MainWindow mainWindow_;
    std::unique_ptr<ThreadUpdate> updateCheck_;
};
