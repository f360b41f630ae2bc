#include "base/ShownText.h"

namespace vornic {

QString shownText(const QString& text) {
    constexpr qsizetype kMaxShown = 80;
    if (text.size() <= kMaxShown)
        return text;
    const qsizetype cut = text[kMaxShown - 1].isHighSurrogate() ? kMaxShown - 1 : kMaxShown;
    return text.left(cut) + QStringLiteral("…");
}

} // namespace vornic
