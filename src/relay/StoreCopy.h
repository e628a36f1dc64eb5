#pragma once

#include "relay/Outcome.h"

namespace parlova::relay {

class Database;
class PostgresDatabase;

// The move of a relay from its SQLite file to PostgreSQL: every account,
// week, session, subscription, page, referral and pending sign-in, copied row
// for row in one transaction, into a base that has no account yet.
class StoreCopy {
public:
    static Started copy(Database& from, PostgresDatabase& to);
};

} // namespace parlova::relay
