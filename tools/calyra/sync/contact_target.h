// The contacts of the current profile as the local side of an address
// book's sync: their IDs, kept UIDs and fingerprints (local_fingerprints.h),
// each contact as the
// vCard the server should have, and server cards stored through the
// client's contact import, a batch in one import (so a card is matched and
// stored the way `contacts import` does it) with their UID and original
// text kept in the side store.
//
// A card sent to the server is the stored fields laid over the text last
// agreed with the server: properties the records have no place for (X-
// properties, photos, custom labels) go back as they came.
//
// Ownership: borrows the session and the sync state, which must outlive it.
// Thread-safety: one thread, like the session.
#pragma once

#include <map>
#include <string>

#include "interchange/contact_card.h"
#include "side_store/side_store.h"
#include "sync/store_target.h"

namespace calyra::sync {

class ContactTarget : public StoreTarget {
public:
    ContactTarget(cli::Session& session, SyncState& state, std::string collection);
    ~ContactTarget() override;

    void localItems(const std::function<void(std::vector<LocalItem>& chunk)>& visit) override;
    std::string exportItem(const std::string& id) override;
    std::vector<Stored> importItems(const std::vector<Incoming>& items) override;
    void removeItem(const std::string& id) override;

private:
    // The contact as the client reads it back, as vCard text: what its hash
    // is taken of.
    std::string projection(const std::string& id);
    std::string uidOf(const std::string& id);
    // Reads every contact's vCard at once into m_projections.
    void readProjections();
    LocalItem importOne(const interchange::ContactCard& card, const std::string& text, const std::string& id);

    std::string m_profile;
    cli::SideStore m_side;
    // Contacts' vCards as read by readProjections(), until they change here.
    std::map<std::string, std::string> m_projections;
};

}  // namespace calyra::sync
