#include "db/Database.h"

#include "base/Windows1251.h"
#include "db/DatabaseError.h"
#include "db/Firebird.h"
#include "db/Statement.h"

#include <cstdio>

using namespace Firebird;

namespace vornic {

QByteArray toDatabaseText(const QString& text) {
    if (auto bytes = windows1251::encode(text))
        return *bytes;
    throw Failure(QStringLiteral("Текст «%1» содержит знак «%2», который нельзя сохранить в базе данных "
                                 "(она хранит текст в кодировке Windows-1251).")
                      .arg(text, windows1251::firstUnencodable(text)));
}

DatabaseAccount databaseAccount() {
    const QString user = qEnvironmentVariable("ISC_USER");
    const QString password = qEnvironmentVariable("ISC_PASSWORD");
    // A name without its password could only fail at the server; the built-in account at least works on a file.
    if (user.isEmpty() || password.isEmpty())
        return {Database::kUser, Database::kPassword};
    return {user, password};
}

bool namesDatabaseServer(const QString& databaseName) {
    if (databaseName.contains(QStringLiteral("://")))
        return true;
    if (databaseName.startsWith(u'/') || databaseName.startsWith(u'.'))
        return false;
    return databaseName.indexOf(u':') > 1;
}

Database::Database(QObject* parent) : QObject(parent) {}

Database::~Database() {
    close();
}

void Database::close() noexcept {
    auto guard = lock();
    Q_EMIT transactionEnding();
    try {
        if (transaction_) {
            fb::Status status;
            transaction_->commit(&status);
            transaction_ = nullptr;
        }
    } catch (const FbException& error) {
        std::fprintf(stderr, "commit at close failed: %s\n", qUtf8Printable(fb::errorText(error)));
        transaction_->release();
        transaction_ = nullptr;
    }
    try {
        if (attachment_) {
            fb::Status status;
            attachment_->detach(&status);
            attachment_ = nullptr;
        }
    } catch (const FbException&) {
        attachment_->release();
        attachment_ = nullptr;
    }
}

void Database::connect(const QString& databaseName) {
    auto guard = lock();
    close();
    try {
        fb::Status status;
        fb::Handle<IXpbBuilder> dpb = fb::accountDpb();
        fb::Handle<IProvider> provider(fb::master()->getDispatcher());
        attachment_ = provider->attachDatabase(&status, databaseName.toLocal8Bit().constData(),
                                               dpb->getBufferLength(&status), dpb->getBuffer(&status));
        name_ = databaseName;
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

void Database::cancelOperation() noexcept {
    cancelled_.store(true, std::memory_order_relaxed);
    // Not under lock(): the connection's user holds it while the statement runs.
    if (!attachment_)
        return;
    try {
        fb::Status status;
        attachment_->cancelOperation(&status, fb_cancel_raise);
    } catch (const FbException&) {
        // Nothing runs that could be cancelled.
    }
}

bool Database::isConnected() const {
    return attachment_ != nullptr;
}

IAttachment* Database::attachment() {
    if (!attachment_)
        throw DatabaseError(QStringLiteral("Нет подключения к Базе Данных."));
    return attachment_;
}

ITransaction* Database::transaction() {
    auto guard = lock();
    if (transaction_)
        return transaction_;
    try {
        fb::Status status;
        fb::Handle<IXpbBuilder> tpb(fb::util()->getXpbBuilder(&status, IXpbBuilder::TPB, nullptr, 0));
        // Read committed, so that a database shared on a server shows the others' committed work too.
        tpb->insertTag(&status, isc_tpb_read_committed);
        tpb->insertTag(&status, isc_tpb_rec_version);
        tpb->insertTag(&status, isc_tpb_wait);
        tpb->insertInt(&status, isc_tpb_lock_timeout, lockTimeoutSeconds_);
        transaction_ = attachment()->startTransaction(&status, tpb->getBufferLength(&status), tpb->getBuffer(&status));
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
    return transaction_;
}

void Database::commitRetaining() {
    auto guard = lock();
    try {
        fb::Status status;
        transaction()->commitRetaining(&status);
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

void Database::commit() {
    auto guard = lock();
    Q_EMIT transactionEnding();
    if (!transaction_)
        return;
    try {
        fb::Status status;
        transaction_->commit(&status);
        transaction_ = nullptr;
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

void Database::rollback() {
    auto guard = lock();
    Q_EMIT transactionEnding();
    if (!transaction_)
        return;
    try {
        fb::Status status;
        transaction_->rollback(&status);
        transaction_ = nullptr;
    } catch (const FbException& error) {
        // A transaction the server could not roll back (the connection is gone) is rolled back by the server
        // itself; the handle is of no further use.
        transaction_->release();
        transaction_ = nullptr;
        throw fb::databaseError(error);
    }
}

void Database::prepareCommit() {
    auto guard = lock();
    try {
        fb::Status status;
        transaction()->prepare(&status, 0, nullptr);
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

void Database::execute(const QString& sql) {
    Statement statement(*this, sql);
    statement.execute();
}

QStringList Database::columnNames(const QString& selectSql) {
    Statement statement(*this, selectSql);
    return statement.columnNames();
}

QByteArray Database::readBlob(const BlobId& id) {
    auto guard = lock();
    try {
        fb::Status status;
        ISC_QUAD quad;
        quad.gds_quad_high = static_cast<ISC_LONG>(id.high);
        quad.gds_quad_low = id.low;
        fb::Handle<IBlob> blob(attachment()->openBlob(&status, transaction(), &quad, 0, nullptr));
        QByteArray bytes;
        char segment[65535];
        for (;;) {
            unsigned length = 0;
            const int result = blob->getSegment(&status, sizeof segment, segment, &length);
            if (result == IStatus::RESULT_NO_DATA)
                break;
            bytes.append(segment, length);
        }
        blob->close(&status);
        blob.forget();
        return bytes;
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

} // namespace vornic
