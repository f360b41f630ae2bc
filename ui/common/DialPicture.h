#pragma once

#include <QByteArray>

class QLabel;

namespace vornic {

// Shows a stored dial picture in its box. JPEG bytes (FF D8 first) that decode are shown; anything else (no bytes,
// other content, a picture that fails to decode) shows "Нет снимка" in its place, so that the box never keeps the
// dial of a reading shown before beside the current one.
void showDialPicture(QLabel* box, const QByteArray& bytes);

} // namespace vornic
