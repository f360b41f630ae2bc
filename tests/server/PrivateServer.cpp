#include "server/PrivateServer.h"

#include "db/Database.h"
#include "db/Firebird.h"
#include "tools/make_database/DatabaseMaker.h"

#include <QFile>
#include <QProcess>
#include <QUuid>

#include <stdexcept>

namespace vornic::test {
namespace {

QString runScript(const QString& command, const QString& folder) {
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.start(QStringLiteral(VORNIC_FIREBIRD_SERVER_SCRIPT), {command, folder});
    if (!script.waitForFinished(30000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0)
        throw std::runtime_error("tools/firebird-server " + command.toStdString() + " failed");
    return QString::fromLocal8Bit(script.readAllStandardOutput()).trimmed();
}

QString readAddress(const QString& folder) {
    QFile port(folder + QStringLiteral("/port"));
    if (!port.open(QIODevice::ReadOnly))
        throw std::runtime_error("no private database server is running in " + folder.toStdString() +
                                 " (CTest starts it: run the server tests through ctest)");
    return QStringLiteral("127.0.0.1/") + QString::fromLatin1(port.readAll().trimmed());
}

} // namespace

const PrivateServer& PrivateServer::shared() {
    static const PrivateServer server{QStringLiteral(VORNIC_FIREBIRD_SERVER_FOLDER)};
    return server;
}

PrivateServer::PrivateServer(QString folder) : folder_(std::move(folder)), address_(readAddress(folder_)) {}

PrivateServer::PrivateServer() : own_(std::make_unique<QTemporaryDir>()) {
    folder_ = own_->path();
    runScript(QStringLiteral("start"), folder_);
    address_ = readAddress(folder_);
}

PrivateServer::~PrivateServer() {
    if (own_) {
        try {
            stop();
        } catch (const std::exception&) {
        }
    }
}

void PrivateServer::stop() {
    if (own_)
        runScript(QStringLiteral("stop"), folder_);
}

QString PrivateServer::databaseName(const QString& fileName) const {
    return address_ + u':' + folder_ + u'/' + fileName;
}

ServerDatabase::ServerDatabase(const PrivateServer& server)
    : name_(server.databaseName(QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".fdb"))) {
    makeDatabase(name_);
}

ServerDatabase::~ServerDatabase() {
    try {
        fb::Status status;
        fb::Handle<Firebird::IXpbBuilder> dpb(
            fb::util()->getXpbBuilder(&status, Firebird::IXpbBuilder::DPB, nullptr, 0));
        dpb->insertString(&status, isc_dpb_user_name, Database::kUser.toLatin1().constData());
        dpb->insertString(&status, isc_dpb_password, Database::kPassword.toLatin1().constData());
        fb::Handle<Firebird::IProvider> provider(fb::master()->getDispatcher());
        fb::Handle<Firebird::IAttachment> attachment(provider->attachDatabase(
            &status, name_.toLocal8Bit().constData(), dpb->getBufferLength(&status), dpb->getBuffer(&status)));
        attachment->dropDatabase(&status);
        attachment.forget();
    } catch (const Firebird::FbException&) {
        // The server is gone, or a connection of the test still holds the database: the file stays behind in the
        // server's folder.
    }
}

} // namespace vornic::test
