#include "ui/common/WidgetServices.h"

#include "update/UpdateSignature.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace vornic {
namespace {

QMessageBox::StandardButton showMessage(QMessageBox::Icon icon, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) {
    // The box belongs to whichever window of the program the operator is working in, so that it stays over it.
    QMessageBox box(icon, applicationTitle(), text, buttons, QApplication::activeWindow());
    // A database message may hold "<" and ">"; it is shown as written, never taken for markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

// "Файлы TXT|*.txt" becomes "Файлы TXT (*.txt)": Qt wants the patterns in brackets after the description,
// separated by blanks, and one filter from the next by ";;".
QString qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts).join(u' ');
        filters.append(QStringLiteral("%1 (%2)").arg(parts.at(i), patterns));
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace

void WidgetMessageBoxes::inform(const QString& text) {
    showMessage(QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void WidgetMessageBoxes::reportError(const QString& text) {
    showMessage(QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool WidgetMessageBoxes::ask(const QString& text) {
    return showMessage(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

QString WidgetFileDialogs::saveFileName(const QString& filter, const QString& initialName,
                                        const QString& defaultExtension) {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Reports are saved over an existing file of the same name without a question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(qtNameFilters(filter));
    QString suffix = defaultExtension;
    if (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

void DesktopShell::open(const QString& target) {
    // A target that cannot be opened is not the program's failure, but the operator asked to see it and must not
    // be left waiting for a window that never comes.
    if (!QDesktopServices::openUrl(shellUrl(target)))
        services().messages->inform(QStringLiteral("Не удалось открыть «%1»: на компьютере не найдена программа, "
                                                   "которая его открывает.")
                                        .arg(target));
}

QUrl shellUrl(const QString& target) {
    const QUrl url(target);
    // A one-letter scheme is a drive letter ("C:/Update/setup.exe"), not a web address.
    if (url.isValid() && url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
}

void installWidgetServices() {
    static WidgetMessageBoxes messages;
    static WidgetFileDialogs files;
    static DesktopShell shell;
    Services& s = services();
    s.messages = &messages;
    s.files = &files;
    s.shell = &shell;
    s.updateKeys = trustedUpdateKeys(QString::fromUtf8(kUpdateKeysFolder));
}

} // namespace vornic
