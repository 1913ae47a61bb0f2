// The contacts of the current profile as the local side of an address
// book's sync: their IDs, kept UIDs and content hashes, each contact as the
// vCard the server should have, and server cards stored through the
// client's contact import (so a card is matched and stored the way
// `contacts import` does it) with their UID and original text kept in the
// side store.
//
// A card sent to the server is the stored fields laid over the text last
// agreed with the server: properties the records have no place for (X-
// properties, photos, custom labels) go back as they came.
//
// Writes go into one Transaction at a time, committed by commit(); in a dry
// run (a Transaction::DryRun alive) they are rolled back instead.
//
// Ownership: borrows the session and the sync state, which must outlive it.
// Thread-safety: one thread, like the session.
#pragma once

#include <memory>
#include <string>

#include "session/session.h"
#include "session/transaction.h"
#include "side_store/side_store.h"
#include "sync/sync_engine.h"
#include "sync/sync_state.h"

namespace calyra::sync {

class ContactTarget : public SyncTarget {
public:
    ContactTarget(cli::Session& session, SyncState& state, std::string collection);
    ~ContactTarget() override;

    std::vector<LocalItem> localItems() override;
    std::string exportItem(const std::string& id) override;
    LocalItem importItem(const std::string& text, const std::string& id) override;
    void removeItem(const std::string& id) override;

    std::string token() override;
    void setToken(const std::string& token, const std::string& ctag) override;
    std::map<std::string, SyncedItem> synced() override;
    std::string base(const std::string& href) override;
    void record(const SyncedItem& item, const std::string& text) override;
    void forget(const std::string& href) override;
    void commit() override;

private:
    cli::Transaction& tx();
    // The contact as the client reads it back, as vCard text: what its hash
    // is taken of.
    std::string projection(const std::string& id);
    std::string uidOf(const std::string& id);

    cli::Session& m_session;
    SyncState& m_state;
    std::string m_collection;
    std::string m_profile;
    cli::SideStore m_side;
    std::unique_ptr<cli::Transaction> m_tx;
    // Each contact's vCard as read by localItems(), until it changes here.
    std::map<std::string, std::string> m_projections;
};

}  // namespace calyra::sync
