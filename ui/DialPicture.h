#pragma once

#include <QByteArray>

class QLabel;

namespace vornic {

// Shows a stored dial picture in its box: no bytes hide the box; JPEG bytes (FF D8 first) are decoded and shown;
// other content, or a picture that fails to decode, leaves the box showing what it showed before.
void showDialPicture(QLabel* box, const QByteArray& bytes);

} // namespace vornic
