#include "ui/common/DialPicture.h"

#include "base/JpegPicture.h"

#include <QLabel>
#include <QPixmap>

namespace vornic {

void showDialPicture(QLabel* box, const QByteArray& bytes) {
    box->show();
    if (looksLikeJpeg(bytes)) {
        if (const std::optional<QImage> picture = decodeJpeg(bytes, box->size() * box->devicePixelRatio())) {
            box->setPixmap(QPixmap::fromImage(*picture));
            return;
        }
    }
    // Setting the text clears the picture.
    box->setAlignment(Qt::AlignCenter);
    box->setText(QStringLiteral("Нет снимка"));
}

} // namespace vornic
