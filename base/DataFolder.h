#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace vornic {

class IniFile;

// The one folder that holds "options.ini", "DB\FB_PROJECT.GDB" and "compare_bd.xml". On Windows it follows the
// system drive and the system's major version; elsewhere it is the user's XDG data folder. It always ends with
// the separator of its platform, so that file names are formed by plain concatenation.
QString dataFolderFor(const QProcessEnvironment& environment, int osMajorVersion);

// The data folder of this process. Computed once by the main window, which hands its copy to everyone else.
QString dataFolder();

// A file in the data folder, its name given the Windows way ("DB\FB_PROJECT.GDB").
QString dataFile(const QString& folder, const QString& windowsRelativeName);

QString defaultDatabasePath(const QString& folder);

// The database to open: the "BD_path" setting when it holds more than three characters (a bare drive root such as
// "C:\" is taken for unset), otherwise the database delivered in the data folder.
QString chooseDatabaseName(const IniFile& settings, const QString& folder);

} // namespace vornic
