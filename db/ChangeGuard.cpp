#include "db/ChangeGuard.h"

#include "db/SqlParameters.h"

#include <QDateTime>

namespace vornic {
namespace {

bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// The position of a keyword that stands as a word of its own outside quoted texts and names, -1 when none.
qsizetype findKeyword(const QString& sql, QStringView keyword, qsizetype from = 0) {
    for (qsizetype i = from; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = sql.indexOf(c, i + 1);
            if (end < 0)
                return -1;
            i = end;
            continue;
        }
        if ((i > 0 && isNameChar(sql[i - 1])) || !QStringView(sql).mid(i).startsWith(keyword, Qt::CaseInsensitive))
            continue;
        const qsizetype after = i + keyword.size();
        if (after >= sql.size() || !isNameChar(sql[after]))
            return i;
    }
    return -1;
}

// Splits at commas outside quotes and parentheses.
QStringList splitTopLevel(QStringView text) {
    QStringList parts;
    int depth = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = text.indexOf(c, i + 1);
            i = end < 0 ? text.size() : end;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            --depth;
        } else if (c == u',' && depth == 0) {
            parts.append(text.mid(start, i - start).toString());
            start = i + 1;
        }
    }
    parts.append(text.mid(start).toString());
    return parts;
}

QString comparison(const ComparedColumn& compared) {
    const QString old = QStringLiteral("?old_") + compared.field;
    if (compared.readValue.isNull() || !compared.readValue.isValid())
        return compared.column + QStringLiteral(" IS NULL");
    if (compared.readValue.typeId() == QMetaType::QDateTime)
        return QStringLiteral("DATEDIFF(MILLISECOND FROM CAST(%1 AS TIMESTAMP) TO %2) = 0").arg(old, compared.column);
    return compared.column + QStringLiteral(" = ") + old;
}

} // namespace

QStringList columnsWrittenBy(const QString& updateSql) {
    const qsizetype set = findKeyword(updateSql, u"SET");
    if (set < 0)
        return {};
    const qsizetype listStart = set + 3;
    qsizetype where = findKeyword(updateSql, u"WHERE", listStart);
    if (where < 0)
        where = updateSql.size();
    QStringList columns;
    for (const QString& assignment : splitTopLevel(QStringView(updateSql).mid(listStart, where - listStart))) {
        const qsizetype equals = assignment.indexOf(u'=');
        if (equals > 0)
            columns.append(assignment.left(equals).trimmed());
    }
    return columns;
}

QStringList oldValueFields(const QString& sql) {
    QStringList fields;
    for (const NamedParameter& parameter : parseNamedParameters(sql).parameters)
        if (parameter.old && !fields.contains(parameter.field, Qt::CaseInsensitive))
            fields.append(parameter.field);
    return fields;
}

QString guardedChange(const QString& changeSql, const QList<ComparedColumn>& compared) {
    if (compared.isEmpty())
        return changeSql;
    QStringList conditions;
    for (const ComparedColumn& column : compared)
        conditions.append(comparison(column));
    const qsizetype where = findKeyword(changeSql, u"WHERE");
    if (where < 0)
        return changeSql + QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    const QString condition = changeSql.mid(where + 5).trimmed();
    return changeSql.left(where) + QStringLiteral("WHERE (") + condition + QStringLiteral(") AND ") +
           conditions.join(QStringLiteral(" AND "));
}

QString rowReReadSelect(const QString& select, const QStringList& keyFields) {
    QStringList conditions;
    for (const QString& key : keyFields)
        conditions.append(QStringLiteral("STORED_ROW.%1 = ?old_%1").arg(key));
    return QStringLiteral("SELECT * FROM (") + select + QStringLiteral(") STORED_ROW WHERE ") +
           conditions.join(QStringLiteral(" AND "));
}

} // namespace vornic
