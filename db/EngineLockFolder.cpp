#include "db/EngineLockFolder.h"

#include <QDir>
#include <QFileInfo>

namespace vornic {
namespace {

const QString kVariable = QStringLiteral("FIREBIRD_LOCK");

} // namespace

QString engineLockFolderFor(const QProcessEnvironment& environment, const QString& dataFolder) {
    if (const QString named = environment.value(kVariable); !named.isEmpty())
        return named;
    // The runtime folder belongs to the account and is emptied at logout, as lock files should be.
    if (const QString runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
        !runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("firebird"));
    return QDir(dataFolder).filePath(QStringLiteral("lock"));
}

QString settleEngineLockFolder(const QString& dataFolder) {
    const QString folder = engineLockFolderFor(QProcessEnvironment::systemEnvironment(), dataFolder);
    // Made before the engine would make it with its own, wider, permissions; a folder that exists is left as it is.
    const QFileInfo info(folder);
    if (!info.exists()) {
        QDir().mkpath(info.absolutePath());
        QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // Where no folder can be made (a build account without a home), the engine keeps its own default: a tool that
    // makes a database still works there.
    if (!QFileInfo(folder).isDir())
        return {};
    qputenv("FIREBIRD_LOCK", QFile::encodeName(folder));
    return folder;
}

} // namespace vornic
