// One database transaction on the session's connection: every access object
// of the session writes through that connection, so a command that stores
// many records (an import, a cascading delete) either lands whole or leaves
// the file as it was, also when the process is killed half-way.
//
// BEGIN IMMEDIATE takes the write lock up front: a second writer waits (the
// engine's busy timeout) instead of failing half-way through the work.
// Destroying an uncommitted transaction rolls it back.
//
// A dry run (Transaction::DryRun alive) does the work as usual and rolls it
// back where it would commit, so a command shows what it would store (an
// import's report) and stores nothing: the file ends byte for byte as a
// command that only reads leaves it. It reaches the transactions a
// command's helpers open themselves.
//
// Ownership: borrows the session, which must outlive it. Thread-safety: one
// thread, like the session.
#pragma once

#include <string>

#include "session/session.h"
#include "tables/sql_text.h"

namespace calyra::cli {

class Transaction {
public:
    // Throws ClientError when the write lock cannot be had.
    explicit Transaction(Session& session);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Makes the work durable; throws ClientError when the commit fails (the
    // work is then rolled back). In a dry run: rolls the work back.
    void commit();
    // Runs one statement of the work; throws ClientError naming `what`.
    void run(const SqlText& sql, const std::string& what);

    // While one lives, every commit rolls back instead.
    class DryRun {
    public:
        explicit DryRun(bool on = true);
        ~DryRun();
        DryRun(const DryRun&) = delete;
        DryRun& operator=(const DryRun&) = delete;

    private:
        bool m_on;
    };

private:
    Session& m_session;
    bool m_dryRun;  // a DryRun was alive when the transaction began
    bool m_open = false;
};

}  // namespace calyra::cli
