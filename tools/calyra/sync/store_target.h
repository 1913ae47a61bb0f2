// What every local side of a sync shares: the collection's sync state read
// and written through one Transaction at a time, committed by commit(); in
// a dry run (a Transaction::DryRun alive) rolled back instead. The record
// families (contacts, calendar items) derive from it and add how their
// items are read, written and removed.
//
// Ownership: borrows the session and the sync state, which must outlive it.
// Thread-safety: one thread, like the session.
#pragma once

#include <memory>
#include <string>

#include "session/session.h"
#include "session/transaction.h"
#include "sync/sync_engine.h"
#include "sync/sync_state.h"

namespace calyra::sync {

class StoreTarget : public SyncTarget {
public:
    StoreTarget(cli::Session& session, SyncState& state, std::string collection);
    ~StoreTarget() override;

    std::string token() override;
    void setToken(const std::string& token, const std::string& ctag) override;
    void eachSynced(const std::function<void(std::vector<SyncedItem>& chunk)>& visit) override;
    std::vector<SyncedItem> syncedAt(const std::vector<std::string>& hrefs) override;
    std::vector<SyncedItem> syncedOf(const std::vector<std::string>& ids) override;
    size_t syncedLocalCount() override;
    std::string base(const std::string& href) override;
    void record(const SyncedItem& item, const std::string& text) override;
    void forget(const std::string& href) override;
    void recordHash(const std::string& href, const std::string& hash) override;
    void commit() override;

protected:
    // The open transaction, begun (with the sync tables made) on first use.
    cli::Transaction& tx();

    cli::Session& m_session;
    SyncState& m_state;
    std::string m_collection;

private:
    std::unique_ptr<cli::Transaction> m_tx;
};

}  // namespace calyra::sync
