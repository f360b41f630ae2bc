#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vornic {

// A 320x240 picture of a meter face whose counter shows `digits` (decimal digits; anything else is drawn as a
// blank drum), with the scanner's number small on the face so that pictures of different scanners differ. The
// digits are seven-segment shapes, not text: fonts need a QGuiApplication, and the server runs without one.
QImage drawDialPicture(const QString& digits, int scanner);

// Baseline JPEG bytes of the picture (they begin FF D8 and end FF D9). With restartEveryMcus above 0 a restart
// marker follows every that many MCUs, so that each run of MCUs is coded on its own and can be exchanged for the
// same run of another picture of the same size and quality.
QByteArray encodeJpeg(const QImage& picture, int quality = 85, int restartEveryMcus = 0);

// The JPEG brought up to about `size` bytes with comment segments after its header, so that transfers of a
// chosen size can be measured; a picture already that large is returned as it is.
QByteArray padJpeg(const QByteArray& jpeg, int size);

} // namespace vornic
