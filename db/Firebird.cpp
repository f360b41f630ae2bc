#include "db/Firebird.h"

#include "base/Windows1251.h"
#include "db/Database.h"
#include "db/DatabaseReason.h"

namespace vornic::fb {

Firebird::IMaster* master() {
    static Firebird::IMaster* const instance = Firebird::fb_get_master_interface();
    return instance;
}

Firebird::IUtil* util() {
    static Firebird::IUtil* const instance = master()->getUtilInterface();
    return instance;
}

Handle<Firebird::IXpbBuilder> accountDpb() {
    Status status;
    Handle<Firebird::IXpbBuilder> dpb(util()->getXpbBuilder(&status, Firebird::IXpbBuilder::DPB, nullptr, 0));
    const DatabaseAccount account = databaseAccount();
    dpb->insertString(&status, isc_dpb_user_name, account.user.toUtf8().constData());
    dpb->insertString(&status, isc_dpb_password, account.password.toUtf8().constData());
    return dpb;
}

QString errorText(const Firebird::FbException& error) {
    char buffer[2048];
    util()->formatStatus(buffer, sizeof buffer, error.getStatus());
    // The connection names no character set, so the server's texts (which quote our values) come as
    // Windows-1251 bytes.
    return windows1251::decode(QByteArrayView(buffer, qstrnlen(buffer, sizeof buffer))).trimmed();
}

DatabaseError databaseError(const Firebird::FbException& error) {
    const std::intptr_t* errors = error.getStatus()->getErrors();
    return DatabaseError(databaseReason(errors), errorText(error), refusesValue(errors));
}

} // namespace vornic::fb
