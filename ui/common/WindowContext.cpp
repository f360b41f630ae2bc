#include "ui/common/WindowContext.h"

#include "base/DataFolder.h"

namespace vornic {

IniFile WindowContext::settings() const {
    return IniFile(dataFile(dataFolder, QStringLiteral("options.ini")));
}

} // namespace vornic
