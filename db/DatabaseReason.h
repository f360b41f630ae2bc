#pragma once

#include <QString>

#include <cstdint>

namespace vornic {

// Why the database refused a statement or a connection, in words an operator understands, read from a status
// vector (the code and argument pairs of IStatus::getErrors(), ending with a zero).
//
// The result is a phrase without a leading capital or a closing full stop, so that it reads both on a line of its
// own and after a lead-in such as "Изменение не сохранено: ". A cause it does not know gives a general phrase:
// the database's own message, which goes along with it, says the rest.
QString databaseReason(const std::intptr_t* errors);

// Whether the database refused a value the statement was given: a text longer than its column, or one its
// encoding cannot hold. The statement is sound; another value would have been stored.
bool refusesValue(const std::intptr_t* errors);

// The reason for a connection to a database server that broke during the session. Nothing reaches the database
// over it any more, and the program cannot go on without one.
QString lostConnectionReason();
// Whether a reason, alone or after a lead-in, is that one.
bool tellsOfLostConnection(const QString& reason);

} // namespace vornic
