#pragma once

#include "base/IniFile.h"

#include <QObject>
#include <QString>

namespace vornic {

class Database;
class DownloadRuns;
struct Services;

// Tells the main window that what it shows must be read again. A window that changes objects or readings
// announces it here instead of reaching for the main window.
class ChangeNotices final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChangeNotices)

public:
    using QObject::QObject;

    // While a window works on the main window's current reading (the reading editor), reading the lists again
    // would move that reading under it: the lists wait until the last hold is let go.
    void holdLists() { ++holds_; }
    void releaseLists() {
        if (holds_ > 0 && --holds_ == 0)
            Q_EMIT listsReleased();
    }
    bool listsHeld() const { return holds_ > 0; }

Q_SIGNALS:
    void readingsChanged(); // readings were stored, changed or removed: the readings list is read again
    void objectsChanged();  // objects were added, changed or removed: both lists are read again
    void listsReleased();

private:
    int holds_ = 0;
};

// What a window needs of the program, given at its construction. Start-up owns everything it refers to and
// keeps it alive longer than every window.
struct WindowContext {
    QString dataFolder;      // ends with the separator
    Database& database;      // the one connection and transaction
    Services& services;      // message boxes, file dialogs, clock, shell, process end
    DownloadRuns& downloads; // the download runs: one at a time
    ChangeNotices& changes;

    // The settings file "options.ini" of the data folder.
    IniFile settings() const;
};

} // namespace vornic
