#pragma once

#include <QDialog>

namespace vornic {

// A window whose opening steps (`FormActivate`) run on the first activation after each show(), not on every
// activation: coming back from a message box, a save dialog or another program activates the window again, and
// running its opening steps again would drop the operator's work (a result being saved, an entry being added).
// Its closing steps (`FormClose`) run whenever it closes; Escape closes it like its close box, so that they run.
class OpeningDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OpeningDialog)

public:
    explicit OpeningDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    // The opening steps, public so that tests drive them as the operator's opening would.
    virtual void FormActivate() = 0;
    // The closing steps: none unless the window has some.
    virtual void FormClose() {}

    void reject() override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Closes without QDialog's own step, which would ask reject() and so close() again, and keep the window open.
    void closeEvent(QCloseEvent* event) override;

private:
    bool activated_ = false; // since the window was last shown
};

} // namespace vornic
