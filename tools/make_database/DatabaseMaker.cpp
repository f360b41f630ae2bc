#include "tools/make_database/DatabaseMaker.h"

#include "db/Database.h"
#include "db/DatabaseError.h"
#include "db/Firebird.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Firebird;

// The script is a resource of a static library, whose initialiser the linker would otherwise leave out.
static void initSchemaResource() {
    Q_INIT_RESOURCE(schema);
}

namespace vornic {

QStringList splitSchemaScript(const QString& script) {
    static const QRegularExpression blockComment(QStringLiteral("/\\*.*?\\*/"),
                                                 QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression lineComment(QStringLiteral("--[^\n]*"));
    static const QRegularExpression setTerm(QStringLiteral("^SET\\s+TERM\\s+(\\S+)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    QString text = script;
    text.remove(blockComment);
    text.remove(lineComment);

    QStringList statements;
    QString terminator = QStringLiteral(";");
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype end = text.indexOf(terminator, from);
        const QString statement = text.mid(from, end < 0 ? -1 : end - from).trimmed();
        from = end < 0 ? text.size() : end + terminator.size();
        if (statement.isEmpty())
            continue;
        const auto match = setTerm.match(statement);
        if (match.hasMatch())
            terminator = match.captured(1);
        else
            statements.append(statement);
    }
    return statements;
}

QString deliveredSchemaScript() {
    initSchemaResource();
    QFile file(QStringLiteral(":/schema/FB_PROJECT.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("The schema script is missing from the program."));
    return QString::fromUtf8(file.readAll());
}

void makeDatabase(const QString& path, const QString& script) {
    // On a server the file and its folder are the server's: it refuses an existing file by itself.
    if (!namesDatabaseServer(path)) {
        if (QFileInfo::exists(path))
            throw Failure(QStringLiteral("%1 exists already; it is left as it is.").arg(path));
        QDir().mkpath(QFileInfo(path).absolutePath());
    }
    const QStringList statements = splitSchemaScript(script);
    try {
        fb::Status status;
        // The account that makes the database owns it; on a server, other accounts need to be granted its tables.
        fb::Handle<IXpbBuilder> dpb = fb::accountDpb();
        dpb->insertInt(&status, isc_dpb_sql_dialect, 3);
        dpb->insertInt(&status, isc_dpb_page_size, 8192);
        fb::Handle<IProvider> provider(fb::master()->getDispatcher());
        fb::Handle<IAttachment> attachment(provider->createDatabase(
            &status, QFile::encodeName(path).constData(), dpb->getBufferLength(&status), dpb->getBuffer(&status)));
        for (const QString& statement : statements) {
            fb::Handle<ITransaction> transaction(attachment->startTransaction(&status, 0, nullptr));
            attachment->execute(&status, transaction.get(), 0, toDatabaseText(statement).constData(), 3, nullptr,
                                nullptr, nullptr, nullptr);
            transaction->commit(&status);
            transaction.forget();
        }
        attachment->detach(&status);
        attachment.forget();
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

void setForcedWrites(const QString& path, bool on) {
    try {
        fb::Status status;
        fb::Handle<IXpbBuilder> dpb = fb::accountDpb();
        // Taken at the attachment and kept in the database's header.
        dpb->insertInt(&status, isc_dpb_force_write, on ? 1 : 0);
        fb::Handle<IProvider> provider(fb::master()->getDispatcher());
        fb::Handle<IAttachment> attachment(provider->attachDatabase(
            &status, QFile::encodeName(path).constData(), dpb->getBufferLength(&status), dpb->getBuffer(&status)));
        attachment->detach(&status);
        attachment.forget();
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

} // namespace vornic
