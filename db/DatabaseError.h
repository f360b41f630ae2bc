#pragma once

#include "base/Failure.h"

namespace vornic {

// A statement, a commit or the connection failed; the text is the database's own message.
class DatabaseError : public Failure {
public:
    using Failure::Failure;
};

} // namespace vornic
