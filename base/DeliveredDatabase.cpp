#include "base/DeliveredDatabase.h"

#include "base/DataFolder.h"
#include "base/Failure.h"
#include "base/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

[[noreturn]] void failCopy(const QString& from, const QString& to, const QString& reason) {
    throw Failure(u"Не удалось скопировать пустую базу данных из \"%1\" в \"%2\": %3"_s.arg(
        QDir::toNativeSeparators(from), QDir::toNativeSeparators(to), reason));
}

} // namespace

QString deliveredDatabaseFileFor(const QString& programFolder) {
    return QDir::cleanPath(programFolder + u"/../share/vornic-client/FB_PROJECT.GDB"_s);
}

QString deliveredDatabaseFile() {
    return deliveredDatabaseFileFor(QCoreApplication::applicationDirPath());
}

bool provideDeliveredDatabase(const QString& dataFolder, const QString& deliveredFile) {
    const QString target = defaultDatabasePath(dataFolder);
    const IniFile settings(dataFile(dataFolder, u"options.ini"_s));
    if (chooseDatabaseName(settings, dataFolder) != target)
        return false;
    // A dangling link counts as a database too: it is someone's doing, and copying through it is not ours to do.
    const QFileInfo existing(target);
    if (existing.exists() || existing.isSymLink())
        return false;
    if (!QFileInfo(deliveredFile).isFile())
        return false;

    QFile source(deliveredFile);
    if (!source.open(QIODevice::ReadOnly))
        failCopy(deliveredFile, target, source.errorString());
    if (!QDir().mkpath(existing.absolutePath()))
        failCopy(deliveredFile, target,
                 u"не удалось создать папку \"%1\""_s.arg(QDir::toNativeSeparators(existing.absolutePath())));
    // Written under a temporary name in the same folder and renamed when complete.
    QSaveFile copy(target);
    if (!copy.open(QIODevice::WriteOnly))
        failCopy(deliveredFile, target, copy.errorString());
    while (!source.atEnd()) {
        const QByteArray piece = source.read(1024 * 1024);
        if (piece.isEmpty())
            failCopy(deliveredFile, target, source.errorString());
        if (copy.write(piece) != piece.size())
            failCopy(deliveredFile, target, copy.errorString());
    }
    if (!copy.commit())
        failCopy(deliveredFile, target, copy.errorString());
    return true;
}

} // namespace vornic
