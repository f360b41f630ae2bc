#pragma once

#include "base/Services.h"
#include "ui_About_program.h"

#include <QDialog>

// The About window. Its version label is also the program's own version, which the update check compares with
// the server's.
class TForm6 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm6)

public:
    // The desktop services are the session's (WindowContext::services): the link opens through them.
    explicit TForm6(const vornic::Services& services, QWidget* parent = nullptr);

    QString LVersionText() const { return ui.LVersion->text(); }
    // The version label as a whole number; 0 when it holds none.
    int version() const;

    // Event handlers, public so that tests drive them as the operator would.
    void LabelLinkClick(const QString& target);
    void Button1Click();

    Ui::TForm6& form() { return ui; }

private:
    const vornic::Services& services_;
    Ui::TForm6 ui;
};
