#pragma once

#include <QStringView>

namespace vornic {

// Column names and types from outside (the schema description) are pasted into DDL text as they stand. These
// tell a bare name or a bare type from anything else, so that nothing but a name or a type reaches a statement.

// A name that stands unquoted in a statement: a Latin letter, then Latin letters, digits, "_" or "$", at most
// 31 characters (the server's limit). Nothing else: no quotes, blanks, semicolons or other alphabets.
bool isPlainIdentifier(QStringView name);

// A word the server reserves, in any letter case. It is a plain identifier, yet unquoted it breaks the statement
// or turns it into another one.
bool isReservedWord(QStringView name);

// A name in the server's own namespaces ("RDB$", "MON$", "SEC$", any letter case): its system tables and columns.
bool isSystemName(QStringView name);

// A whole column type the server accepts, with nothing after it: SMALLINT, INTEGER, INT, BIGINT, FLOAT, DOUBLE
// PRECISION, REAL, DATE, TIME, TIMESTAMP, BOOLEAN, CHAR(n), CHARACTER(n), VARCHAR(n), CHAR VARYING(n),
// CHARACTER VARYING(n), NCHAR(n), NUMERIC(p[,s]), DECIMAL(p[,s]), BLOB [SUB_TYPE n|TEXT|BINARY]
// [SEGMENT SIZE n]; a character type (BLOB SUB_TYPE TEXT among them, but not NCHAR, whose character set is
// fixed) may end with CHARACTER SET <name>. Any letter case; spaces and tabs between the parts in any number.
// Lengths: CHAR 1..32767, VARCHAR 1..32765; precision 1..18, scale 0..precision.
bool isColumnType(QStringView type);

} // namespace vornic
