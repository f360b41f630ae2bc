#include "reports/XlsxSpreadsheet.h"

#include "base/Failure.h"
#include "base/Services.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>

#include <exception>
#include <functional>
#include <memory>

#include <xlsxwriter.h>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

// The longest text a cell holds and the widest column, as the spreadsheet programs that open the file accept them.
constexpr qsizetype kMaxCellText = 32767;
constexpr int kMaxColumnWidth = 255;
// Guards the search for a free file name against a folder that refuses every name without saying why.
constexpr int kMaxNameTries = 10000;
// A workbook of more cells than this (a month of every object's readings is over a million) takes long enough to
// write that the windows would stop answering meanwhile: it is written on a thread of its own while the event loop
// turns. A smaller one is written before the operator could notice.
constexpr std::size_t kCellsWrittenAside = 50000;

// Owns a workbook of the library until it is closed, which writes the file and frees it; a workbook dropped
// unclosed (a failure halfway) is freed without writing anything.
class XlsxWorkbookHandle final {
public:
    explicit XlsxWorkbookHandle(const QByteArray& path) {
        lxw_workbook_options options{};
        handle_ = workbook_new_opt(path.constData(), &options);
    }
    ~XlsxWorkbookHandle() {
        if (handle_)
            lxw_workbook_free(handle_);
    }
    XlsxWorkbookHandle(const XlsxWorkbookHandle&) = delete;
    XlsxWorkbookHandle& operator=(const XlsxWorkbookHandle&) = delete;

    lxw_workbook* get() const { return handle_; }

    lxw_error close() {
        lxw_workbook* handle = std::exchange(handle_, nullptr);
        return workbook_close(handle);
    }

private:
    lxw_workbook* handle_ = nullptr;
};

QString libraryReason(lxw_error error) {
    return QString::fromUtf8(lxw_strerror(error));
}

// "MyTest.xlsx", then "MyTest (2).xlsx", "MyTest (3).xlsx"…
QString numberedName(const QString& stem, int number) {
    return number == 1 ? stem + u".xlsx"_s : u"%1 (%2).xlsx"_s.arg(stem).arg(number);
}

// Makes an empty file under the first free name, so that it is this workbook's alone; the name, or a Failure
// with the file system's reason.
QString claimFreeName(const QString& stem) {
    for (int number = 1; number <= kMaxNameTries; ++number) {
        QFile file(numberedName(stem, number));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return file.fileName();
        if (!file.exists())
            throw Failure(u"%1: %2"_s.arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
    }
    throw Failure(u"%1: нет свободного имени"_s.arg(QDir::toNativeSeparators(numberedName(stem, 1))));
}

// Writes the sheet as an .xlsx workbook file at the path. Throws Failure naming the file and the reason.
void writeXlsxFile(const QString& path, const XlsxWorksheet& sheet) {
    const QString shownPath = QDir::toNativeSeparators(path);
    XlsxWorkbookHandle workbook(QFile::encodeName(path));
    if (!workbook.get())
        throw Failure(u"%1: не удалось начать книгу"_s.arg(shownPath));
    lxw_worksheet* worksheet = workbook_add_worksheet(workbook.get(), "Лист1");
    if (!worksheet)
        throw Failure(u"%1: не удалось добавить лист"_s.arg(shownPath));
    for (const auto& [column, width] : sheet.columnWidths()) {
        const auto index = static_cast<lxw_col_t>(column - 1);
        if (const lxw_error error = worksheet_set_column(worksheet, index, index, width, nullptr))
            throw Failure(u"%1: %2"_s.arg(shownPath, libraryReason(error)));
    }
    for (const auto& [cell, text] : sheet.values()) {
        const QByteArray utf8 = text.toUtf8();
        if (const lxw_error error =
                worksheet_write_string(worksheet, static_cast<lxw_row_t>(cell.first - 1),
                                       static_cast<lxw_col_t>(cell.second - 1), utf8.constData(), nullptr))
            throw Failure(u"%1: %2"_s.arg(shownPath, libraryReason(error)));
    }
    if (const lxw_error error = workbook.close())
        throw Failure(u"%1: %2"_s.arg(shownPath, libraryReason(error)));
}

// Saves the sheet under the name, with ".xlsx", in the folder, which is made when missing; the file written.
QString saveIn(const QString& folder, const QString& name, const XlsxWorksheet& sheet) {
    const QString path = QDir(folder).filePath(name);
    const QString stem = path.endsWith(u".xlsx"_s, Qt::CaseInsensitive) ? path.chopped(5) : path;
    const QString parent = QFileInfo(stem).absolutePath();
    if (!QDir().mkpath(parent))
        throw Failure(u"%1: не удалось создать папку"_s.arg(QDir::toNativeSeparators(parent)));
    const QString claimed = claimFreeName(stem);
    try {
        writeXlsxFile(claimed, sheet);
    } catch (...) {
        QFile::remove(claimed);
        throw;
    }
    return claimed;
}

// Runs work on a thread of its own while this thread's event loop turns, and gives back its result; a failure it
// throws comes out here. The windows answer meanwhile: whatever started the work (a report's Save) guards itself
// against being started again while it runs.
QString whileEventsTurn(const std::function<QString()>& work) {
    if (!QCoreApplication::instance() || QThread::currentThread() != QCoreApplication::instance()->thread())
        return work();
    QString result;
    std::exception_ptr failure;
    const std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            result = work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    // The end of the program leaves the loop too; the work uses what the caller holds, so it is waited for.
    thread->wait();
    if (failure)
        std::rethrow_exception(failure);
    return result;
}

} // namespace

void XlsxWorksheet::letGo() {
    letGo_ = true;
    values_ = {};
    widths_ = {};
}

void XlsxWorksheet::setValue(int row, int column, const QString& text) {
    if (letGo_)
        throw Failure(u"Книга Microsoft Excel уже сохранена в файл; изменить её можно только там."_s);
    if (text.size() > kMaxCellText)
        throw Failure(u"В ячейке помещается не больше %1 знаков."_s.arg(kMaxCellText));
    if (text.isEmpty())
        values_.erase({row, column});
    else
        values_[{row, column}] = text;
}

void XlsxWorksheet::setColumnWidth(int, int column, int width) {
    if (letGo_)
        throw Failure(u"Книга Microsoft Excel уже сохранена в файл; изменить её можно только там."_s);
    if (width < 0 || width > kMaxColumnWidth)
        throw Failure(u"Ширина столбца должна быть от 0 до %1."_s.arg(kMaxColumnWidth));
    widths_[column] = width;
}

void XlsxWorkbook::SaveAs(const QString& name) {
    if (name.trimmed().isEmpty())
        throw Failure(u"Книге Microsoft Excel не задано имя."_s);
    if (sheet_.isLetGo())
        throw Failure(u"Книга Microsoft Excel уже сохранена в файл «%1»."_s.arg(QDir::toNativeSeparators(savedPath_)));
    // A name with its own folder goes there; a bare one goes where the operator keeps documents, or where
    // anything can be written, so that the report still reaches the desktop.
    QStringList folders;
    if (QFileInfo(name).isAbsolute()) {
        folders.append(QString());
    } else {
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (!documents.isEmpty())
            folders.append(documents);
        if (const QString temporary = QDir::tempPath(); !temporary.isEmpty())
            folders.append(temporary);
    }
    QStringList reasons;
    for (const QString& folder : folders) {
        try {
            const auto save = [&] { return saveIn(folder, name, sheet_); };
            savedPath_ = sheet_.values().size() > kCellsWrittenAside ? whileEventsTurn(save) : save();
            sheet_.letGo();
            if (application_.visible_)
                application_.show(*this);
            return;
        } catch (const Failure& failure) {
            reasons.append(failure.text());
        }
    }
    const QString text = u"Книгу Microsoft Excel «%1» не удалось сохранить.\n%2"_s.arg(name, reasons.join(u'\n'));
    application_.tell(text);
    throw Failure(text);
}

Worksheet& XlsxApplication::WorkSheets(int index) {
    if (!active_)
        throw Failure(u"В Microsoft Excel нет открытой книги."_s);
    if (index != 1)
        throw Failure(u"В книге Microsoft Excel нет листа %1."_s.arg(index));
    return active_->sheet();
}

void XlsxApplication::setVisible(bool visible) {
    visible_ = visible;
    if (!visible_)
        return;
    for (const std::unique_ptr<XlsxWorkbook>& workbook : workbooks_)
        if (!workbook->savedPath_.isEmpty() && !workbook->shown_)
            show(*workbook);
}

XlsxWorkbook& XlsxApplication::workbook(int index) {
    if (index < 1 || index > count())
        throw Failure(u"В Microsoft Excel нет книги %1."_s.arg(index));
    return *workbooks_[static_cast<size_t>(index - 1)];
}

Workbook& XlsxApplication::add() {
    workbooks_.push_back(std::make_unique<XlsxWorkbook>(*this));
    active_ = workbooks_.back().get();
    return *active_;
}

void XlsxApplication::show(XlsxWorkbook& workbook) {
    workbook.shown_ = true;
    if (services_.shell)
        services_.shell->open(workbook.savedPath_);
}

void XlsxApplication::tell(const QString& text) {
    if (services_.messages)
        services_.messages->inform(text);
}

std::shared_ptr<SpreadsheetApplication> XlsxSpreadsheetServer::attach() {
    if (!instance_)
        throw Failure(u"Microsoft Excel не запущен."_s);
    return instance_;
}

std::shared_ptr<SpreadsheetApplication> XlsxSpreadsheetServer::start() {
    instance_ = std::make_shared<XlsxApplication>(services_);
    return instance_;
}

} // namespace vornic
