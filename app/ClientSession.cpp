#include "app/ClientSession.h"

#include "base/Services.h"

namespace vornic {

ClientSession::ClientSession(QString dataFolder)
    : context_{std::move(dataFolder), database_, services(), downloads_, changes_} {}

ClientSession::~ClientSession() {
    downloads_.abandonAll();
}

} // namespace vornic
