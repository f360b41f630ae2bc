#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vornic {

// The database and the report text files hold single-byte Windows-1251 text. The table is our own so that the
// conversion is exact and does not depend on which codecs the Qt build happens to carry.
namespace windows1251 {

QString decode(QByteArrayView bytes);

// Empty when the text holds a character that Windows-1251 cannot hold.
std::optional<QByteArray> encode(QStringView text);

// The first character of the text that Windows-1251 cannot hold, or a null QChar.
QChar firstUnencodable(QStringView text);

} // namespace windows1251
} // namespace vornic
