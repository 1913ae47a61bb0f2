// A list the client makes for one command in the connection's temporary
// database (an index of rows by owner, so a chunked read looks its rows up
// instead of scanning a table the file has no index on). No other client
// of the file sees it, and it is gone with the connection; this object
// drops it when it goes. A connection that refuses temporary tables gets
// none: made() is false and callers read the way they would without it.
//
// Ownership: borrows the session, which must outlive it. Thread-safety: one
// thread, like the session.
#pragma once

#include <vector>

#include "session/session.h"
#include "tables/sql_text.h"

namespace calyra::cli {

class TemporaryTable {
public:
    // Runs `statements` (the first creates temp.`name`, the rest fill and
    // index it) after dropping any table of that name a failed command
    // left; on a failure drops what was made.
    TemporaryTable(Session& session, Sql name, const std::vector<SqlText>& statements);
    ~TemporaryTable();
    TemporaryTable(const TemporaryTable&) = delete;
    TemporaryTable& operator=(const TemporaryTable&) = delete;

    bool made() const { return m_made; }

private:
    bool run(const SqlText& sql);

    Session& m_session;
    SqlText m_drop;
    bool m_made = false;
};

}  // namespace calyra::cli
