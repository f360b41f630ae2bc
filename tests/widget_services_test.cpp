#include "support/TestServices.h"
#include "ui/common/WidgetServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

// Runs `handle` on the modal dialog that the next call opens. Should no dialog of that type come up, whatever
// modal window there is gets closed, so that a fault ends in a failure rather than a hung test.
template <typename Dialog> void onNextModal(std::function<void(Dialog&)> handle) {
    QTimer::singleShot(0, [handle] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<Dialog*>(modal)) {
            handle(*dialog);
            return;
        }
        ADD_FAILURE() << "no dialog of the expected type came up";
        if (modal)
            modal->close();
    });
}

TEST(WidgetServicesWindow, MessageBoxesShowTitleIconButtonsAndReturnTheAnswer) {
    struct Case {
        const char* name;
        std::function<std::optional<bool>(vornic::MessageBoxes&, const QString&)> call;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton press;
        std::optional<bool> result;
    };
    const auto inform = [](vornic::MessageBoxes& m, const QString& t) -> std::optional<bool> {
        m.inform(t);
        return std::nullopt;
    };
    const auto reportError = [](vornic::MessageBoxes& m, const QString& t) -> std::optional<bool> {
        m.reportError(t);
        return std::nullopt;
    };
    const auto ask = [](vornic::MessageBoxes& m, const QString& t) -> std::optional<bool> { return m.ask(t); };
    const QMessageBox::StandardButtons yesNo = QMessageBox::Yes | QMessageBox::No;
    const Case cases[] = {
        {"inform", inform, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok, std::nullopt},
        {"reportError", reportError, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, std::nullopt},
        {"ask, Yes", ask, QMessageBox::Question, yesNo, QMessageBox::Yes, true},
        {"ask, No", ask, QMessageBox::Question, yesNo, QMessageBox::No, false},
    };
    vornic::WidgetMessageBoxes boxes;
    const QString text = QStringLiteral("Ошибка открытия книги Microsoft Excel!");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        onNextModal<QMessageBox>([&c, &text](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), QStringLiteral("VornicClient.exe"));
            EXPECT_EQ(box.text(), text);
            EXPECT_EQ(box.icon(), c.icon);
            EXPECT_EQ(box.standardButtons(), c.buttons);
            EXPECT_EQ(box.standardButton(box.defaultButton()),
                      c.buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
            box.button(c.press)->click();
        });
        EXPECT_EQ(c.call(boxes, text), c.result);
    }
}

TEST(WidgetServicesWindow, SaveDialogOffersTheInitialNameWithTheDefaultExtension) {
    struct Case {
        const char* name;
        bool confirm;
    };
    const Case cases[] = {{"confirmed", true}, {"cancelled", false}};
    vornic::WidgetFileDialogs files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString offered;
        onNextModal<QFileDialog>([&c, &offered](QFileDialog& dialog) {
            EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
            EXPECT_EQ(dialog.nameFilters(), QStringList{QStringLiteral("Файлы TXT (*.txt)")});
            // Saving a report again under the same name must not stop at an overwrite question.
            EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
            offered = dialog.selectedFiles().value(0);
            // QFileDialog hides accept(); through QDialog it still reaches the dialog's own.
            QDialog& asDialog = dialog;
            if (c.confirm)
                asDialog.accept();
            else
                asDialog.reject();
        });
        const QString chosen =
            files.saveFileName(QStringLiteral("Файлы TXT|*.txt"), QStringLiteral("Отчет"), QStringLiteral(".txt"));
        EXPECT_EQ(QFileInfo(offered).fileName(), QStringLiteral("Отчет.txt"));
        EXPECT_EQ(chosen, c.confirm ? offered : QString());
    }
}

TEST(WidgetServicesWindow, ShellOpensWebAddressesAsTheyStandAndEverythingElseAsLocalFiles) {
    struct Case {
        QString target;
        QUrl expected;
    };
    const Case cases[] = {
        {QStringLiteral("http://192.168.0.5/Software_Update/VornicClient.exe"),
         QUrl(QStringLiteral("http://192.168.0.5/Software_Update/VornicClient.exe"))},
        {QStringLiteral("/tmp/Vornic Client/VornicClient.exe"),
         QUrl(QStringLiteral("file:///tmp/Vornic%20Client/VornicClient.exe"))},
        {QStringLiteral("VornicClient.exe"),
         QUrl::fromLocalFile(QDir::current().filePath(QStringLiteral("VornicClient.exe")))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        EXPECT_EQ(vornic::shellUrl(c.target), c.expected);
    }
}

// Receives the desktop's "open" of local files in place of a desktop program.
class FileOpener final : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

TEST(WidgetServicesWindow, ShellTellsTheOperatorWhenNoProgramOpensTheTarget) {
    vornic::ScopedTestServices doubles;
    vornic::DesktopShell shell;
    const QString workbook = QDir::temp().filePath(QStringLiteral("Отчет.xlsx"));

    // This test machine has no desktop and no program for the file: the operator is told so.
    shell.open(workbook);
    ASSERT_EQ(doubles.messages.texts().size(), 1);
    EXPECT_TRUE(doubles.messages.texts()[0].contains(workbook)) << doubles.messages.texts()[0].toStdString();

    FileOpener opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
    shell.open(workbook);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(opener.opened, QList<QUrl>{QUrl::fromLocalFile(workbook)});
    EXPECT_EQ(doubles.messages.texts().size(), 1) << "nothing more is said when the file opens";
}

} // namespace

#include "widget_services_test.moc"
