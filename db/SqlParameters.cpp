#include "db/SqlParameters.h"

namespace vornic {
namespace {

bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

} // namespace

ParsedStatement parseNamedParameters(const QString& sql) {
    static const QString kOldPrefix = QStringLiteral("?old_");
    ParsedStatement parsed;
    parsed.sql.reserve(sql.size());
    qsizetype i = 0;
    while (i < sql.size()) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = sql.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? sql.size() : end + 1;
            parsed.sql += QStringView(sql).mid(i, stop - i);
            i = stop;
            continue;
        }
        const bool old = QStringView(sql).mid(i).startsWith(kOldPrefix, Qt::CaseInsensitive);
        const qsizetype nameStart = old ? i + kOldPrefix.size() : i + 1;
        if ((c == u':' || old) && nameStart < sql.size() && isNameChar(sql[nameStart])) {
            qsizetype nameEnd = nameStart;
            while (nameEnd < sql.size() && isNameChar(sql[nameEnd]))
                ++nameEnd;
            parsed.parameters.append({sql.mid(nameStart, nameEnd - nameStart), old});
            parsed.sql += u'?';
            i = nameEnd;
            continue;
        }
        parsed.sql += c;
        ++i;
    }
    return parsed;
}

} // namespace vornic
