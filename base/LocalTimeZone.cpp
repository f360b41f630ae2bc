#include "base/LocalTimeZone.h"

#include <QFileInfo>
#include <QtGlobal>

#include <ctime>

namespace vornic {

void settleLocalTimeZone() {
    if (qEnvironmentVariableIsSet("TZ") || !QFileInfo::exists(QStringLiteral("/etc/localtime")))
        return;
    qputenv("TZ", ":/etc/localtime");
    tzset();
}

} // namespace vornic
