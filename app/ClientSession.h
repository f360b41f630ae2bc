#pragma once

#include "db/Database.h"
#include "download/DownloadRuns.h"
#include "ui/common/WindowContext.h"

namespace vornic {

// Owns what every window shares: the connection, the download runs and the change notices, and hands them out
// as one WindowContext. It outlives every window. At its end the download runs are abandoned and waited for
// first, and the connection commits and closes last.
class ClientSession final {
public:
    explicit ClientSession(QString dataFolder);
    ~ClientSession();
    Q_DISABLE_COPY_MOVE(ClientSession)

    WindowContext& context() { return context_; }

private:
    Database database_;
    ChangeNotices changes_;
    DownloadRuns downloads_;
    WindowContext context_;
};

} // namespace vornic
