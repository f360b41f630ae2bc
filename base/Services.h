#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace vornic {

// The program's few contacts with the person and the operating system, each behind a small interface so that
// every window can be driven by a test. The real implementations are installed at start-up; tests install
// doubles (tests/support).

// Message boxes, all captioned with the application title.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void inform(const QString& text) = 0;      // a plain message with an OK button
    virtual void reportError(const QString& text) = 0; // the general error report
    virtual bool ask(const QString& text) = 0;         // a Yes/No question; true for Yes
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The name chosen in a file-save dialog, or an empty text when the operator cancelled.
    virtual QString saveFileName(const QString& filter, const QString& initialName,
                                 const QString& defaultExtension) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
};

// The desktop's "open" action on a web address or a file.
class Shell {
public:
    virtual ~Shell() = default;
    virtual void open(const QString& target) = 0;
};

// Asks the program to end with the code. The client's start-up puts its orderly end in force (app/ClientEnd), which
// returns at once and ends the program as closing the main window does; callers must expect it to return. Without
// one, the process ends at once. A test double records the code and returns.
class ProcessControl {
public:
    virtual ~ProcessControl() = default;
    virtual void exitProcess(int code) = 0;
};

struct Services {
    MessageBoxes* messages = nullptr;
    FileDialogs* files = nullptr;
    Clock* clock = nullptr;
    Shell* shell = nullptr;
    ProcessControl* process = nullptr;
    // The public keys (32 bytes each) that an update must be signed with to be fetched; none trusts no update.
    QList<QByteArray> updateKeys;
};

// The services in force. Start-up fills in the real ones; a test replaces any of them.
Services& services();

// The application title: the caption of every message box.
inline QString applicationTitle() {
    return QStringLiteral("VornicClient.exe");
}

} // namespace vornic
