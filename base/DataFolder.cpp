#include "base/DataFolder.h"

#include "base/IniFile.h"
#include "base/Settings.h"

#include <QDir>
#include <QOperatingSystemVersion>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

QString withoutTrailingSlashes(QString path) {
    while (path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace

QString dataFolderFor(const QProcessEnvironment& environment, int osMajorVersion) {
    if (environment.contains(u"SystemRoot"_s)) {
        // "C:\Windows" gives the system drive's root "C:\". Versions other than 6 and 5 or less have no folder of
        // their own, and the data lives in the root itself.
        QString folder = environment.value(u"SystemRoot"_s).left(3);
        if (osMajorVersion == 6)
            folder += u"Users\\Public\\Documents\\Vornic_Client\\"_s;
        else if (osMajorVersion <= 5)
            folder += u"Documents and Settings\\All Users\\Application Data\\Vornic_Client\\"_s;
        return folder;
    }

    // The XDG rules ignore a relative XDG_DATA_HOME, as they do an empty one.
    const QString xdgDataHome = environment.value(u"XDG_DATA_HOME"_s);
    if (!xdgDataHome.isEmpty() && QDir::isAbsolutePath(xdgDataHome))
        return withoutTrailingSlashes(xdgDataHome) + u"/Vornic_Client/"_s;
    QString home = environment.value(u"HOME"_s);
    if (home.isEmpty())
        home = QDir::homePath();
    return withoutTrailingSlashes(home) + u"/.local/share/Vornic_Client/"_s;
}

QString dataFolder() {
    return dataFolderFor(QProcessEnvironment::systemEnvironment(), QOperatingSystemVersion::current().majorVersion());
}

QString dataFile(const QString& folder, const QString& windowsRelativeName) {
    if (folder.endsWith(u'/'))
        return folder + QString(windowsRelativeName).replace(u'\\', u'/');
    return folder + windowsRelativeName;
}

QString defaultDatabasePath(const QString& folder) {
    return dataFile(folder, u"DB\\FB_PROJECT.GDB"_s);
}

QString chooseDatabaseName(const IniFile& settings, const QString& folder) {
    const QString configured = readSetting(settings, settings::databasePath());
    return configured.size() > 3 ? configured : defaultDatabasePath(folder);
}

} // namespace vornic
