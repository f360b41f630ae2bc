#include "ui/DialPicture.h"

#include "base/JpegPicture.h"

#include <QLabel>
#include <QPixmap>

namespace vornic {

void showDialPicture(QLabel* box, const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        box->hide();
        return;
    }
    box->show();
    if (looksLikeJpeg(bytes))
        if (const std::optional<QImage> picture = decodeJpeg(bytes))
            box->setPixmap(QPixmap::fromImage(*picture));
}

} // namespace vornic
