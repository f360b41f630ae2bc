#include "base/ReadingText.h"

#include "base/Trimmed.h"

namespace vornic {

bool isReadingNumber(QStringView text) {
    const QString reading = trimmed(text);
    bool separatorSeen = false;
    bool digitSeen = false;
    for (const QChar c : reading) {
        // Only the ASCII digits: other scripts' digits are digits to Unicode, but no reader of readings takes them.
        if (c >= u'0' && c <= u'9') {
            digitSeen = true;
        } else if ((c == u',' || c == u'.') && !separatorSeen) {
            separatorSeen = true;
        } else {
            return false;
        }
    }
    return digitSeen;
}

QString readingNumberRule() {
    return QStringLiteral(
        "Показание должно быть числом: цифры и не более одного десятичного разделителя (запятая или точка).");
}

} // namespace vornic
