#include "db/AsideConnection.h"

#include "base/Failure.h"
#include "db/Database.h"

#include <utility>

namespace vornic {

AsideConnection::AsideConnection(QString databaseName) : databaseName_(std::move(databaseName)) {}

void AsideConnection::run(const std::function<void(Database&)>& pass) {
    Database database;
    database.connect(databaseName_);
    {
        const std::lock_guard guard(mutex_);
        if (cancelled_)
            throw Failure(QStringLiteral("Прервано."));
        open_ = &database;
    }
    // Cleared before the connection closes, whichever way the pass ends, so that cancel() never reaches a closed one.
    struct Leave {
        AsideConnection& aside;
        ~Leave() {
            const std::lock_guard guard(aside.mutex_);
            aside.open_ = nullptr;
        }
    } leave{*this};
    pass(database);
}

void AsideConnection::cancel() {
    const std::lock_guard guard(mutex_);
    cancelled_ = true;
    if (open_)
        open_->cancelOperation();
}

bool AsideConnection::isCancelled() const {
    const std::lock_guard guard(mutex_);
    return cancelled_;
}

} // namespace vornic
