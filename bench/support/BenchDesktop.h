#pragma once

#include "base/Services.h"

#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

namespace vornic::bench {

// A client's home of its own for one run: the database lies in its data folder, and the reports' workbook goes
// into its documents folder, not the user's.
class BenchHome {
public:
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }
    QString databasePath() const { return dir_.path() + QStringLiteral("/Vornic_Client/DB/FB_PROJECT.GDB"); }

    // Points the client's data, configuration and documents here and its windows offscreen. Call it before the
    // application object is made.
    void settle() const;

private:
    QTemporaryDir dir_;
};

// The desktop as a benchmark needs it, put in force for its lifetime: a save dialog answers with the file of the
// name it offers in the folder, every message is printed and counted (a run that tells the operator something
// has not run as measured), nothing is opened, and the clock stands still at the time given.
class BenchDesktop final : public MessageBoxes, public FileDialogs, public Clock, public Shell, public ProcessControl {
public:
    BenchDesktop(QString folder, QDateTime now);
    ~BenchDesktop() override;
    BenchDesktop(const BenchDesktop&) = delete;
    BenchDesktop& operator=(const BenchDesktop&) = delete;

    int messageCount() const { return messages_; }
    const QString& lastSaved() const { return lastSaved_; }
    const QString& lastOpened() const { return lastOpened_; }

    void inform(const QString& text) override { print(text); }
    void reportError(const QString& text) override { print(text); }
    bool ask(const QString& text) override {
        print(text);
        return true;
    }
    QString saveFileName(const QString& filter, const QString& initialName, const QString& extension) override;
    QDateTime now() const override { return now_; }
    void open(const QString& target) override { lastOpened_ = target; }
    void exitProcess(int code) override;

private:
    void print(const QString& text);

    QString folder_;
    QDateTime now_;
    int messages_ = 0;
    QString lastSaved_;
    QString lastOpened_;
    Services replaced_;
};

} // namespace vornic::bench
