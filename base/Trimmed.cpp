#include "base/Trimmed.h"

namespace vornic {

QString trimmed(QStringView text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= 0x20)
        ++first;
    while (last > first && text[last - 1].unicode() <= 0x20)
        --last;
    return text.sliced(first, last - first).toString();
}

} // namespace vornic
