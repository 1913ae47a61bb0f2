#include "sync/contact_target.h"

#include "import_export/contact_cards.h"
#include "import_export/import_report.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"
#include "platform/bstr.h"
#include "platform/utf8.h"
#include "records/profile_contacts.h"
#include "session/client_error.h"
#include "session/query_rows.h"
#include "sync/three_way_merge.h"

namespace calyra::sync {
namespace {

using cli::ClientError;

std::string UidIn(const std::string& text) {
    for (size_t at = text.find("UID:"); at != std::string::npos; at = text.find("UID:", at + 1)) {
        if (at != 0 && text[at - 1] != '\n') continue;
        const size_t end = text.find_first_of("\r\n", at);
        return text.substr(at + 4, end == std::string::npos ? std::string::npos : end - at - 4);
    }
    return {};
}

// `text` with a UID line after its VERSION line when it has none.
std::string WithUid(std::string text, const std::string& uid) {
    if (!UidIn(text).empty() || uid.empty()) return text;
    const size_t version = text.find("\nVERSION:");
    const size_t at = version == std::string::npos ? text.find('\n') : text.find('\n', version + 1);
    if (at == std::string::npos) return text;
    text.insert(at + 1, "UID:" + uid + "\r\n");
    return text;
}

interchange::ContactCard OneCard(const std::string& text) {
    interchange::VCardParseResult parsed = interchange::ParseVCardText(text);
    if (parsed.cards.size() != 1)
        throw ClientError("the server's item holds " + std::to_string(parsed.cards.size()) + " vCards, not one");
    return std::move(parsed.cards[0]);
}

}  // namespace

ContactTarget::ContactTarget(cli::Session& session, SyncState& state, std::string collection)
    : m_session(session),
      m_state(state),
      m_collection(std::move(collection)),
      m_profile(Utf16ToUtf8(session.profileId())),
      m_side(session) {}

ContactTarget::~ContactTarget() = default;

cli::Transaction& ContactTarget::tx() {
    if (!m_tx) {
        m_tx = std::make_unique<cli::Transaction>(m_session);
        m_state.create(*m_tx);
    }
    return *m_tx;
}

void ContactTarget::commit() {
    if (!m_tx) return;
    m_tx->commit();
    m_tx.reset();
}

std::string ContactTarget::projection(const std::string& id) {
    if (const auto cached = m_projections.find(id); cached != m_projections.end()) return cached->second;
    return interchange::WriteVCard(cli::ExportContact(m_session, id), interchange::VCardVersion::V3);
}

std::string ContactTarget::uidOf(const std::string& id) {
    return m_side.uidOf(m_profile, cli::ItemFamily::Contact, id);
}

std::vector<LocalItem> ContactTarget::localItems() {
    // One read of the profile for every card (reading one contact reads the
    // whole profile): the cards come in the order the profile lists its
    // contacts, which gives their IDs.
    const std::vector<interchange::ContactCard> cards = cli::ExportContacts(m_session);
    const cli::ProfileContacts listed(m_session);
    std::vector<LocalItem> out;
    m_projections.clear();
    if (listed.contacts().size() == static_cast<LONG>(cards.size())) {
        for (size_t i = 0; i < cards.size(); ++i) {
            const std::string id = BstrUtf8(listed.contacts()[static_cast<LONG>(i)].bstrContactID);
            m_projections[id] = interchange::WriteVCard(cards[i], interchange::VCardVersion::V3);
        }
    }
    SqlText sql(u"SELECT [ContactID] FROM [tContact] WHERE [ProfileID] = '");
    sql.AppendQuoted(m_session.profileId()).Append(u"' ORDER BY [ContactID];");
    for (const auto& row : cli::QueryRows(m_session.connection(), sql.view())) {
        const std::string& id = row.at(0);
        out.push_back({id, uidOf(id), cli::ContentHash(projection(id))});
    }
    return out;
}

std::string ContactTarget::exportItem(const std::string& id) {
    const std::string stored = projection(id);
    std::string original;
    if (const auto side = m_side.find(cli::ItemFamily::Contact, id)) original = side->original;
    if (original.empty()) return WithUid(stored, uidOf(id));
    // The stored fields over the original: a property the records hold
    // comes from them when it differs from what the original would store
    // as; everything else comes from the original.
    const std::string originalStored = interchange::WriteVCard(OneCard(original), interchange::VCardVersion::V3);
    return WithUid(MergeThreeWay(originalStored, stored, original, Prefer::Local).text, uidOf(id));
}

LocalItem ContactTarget::importItem(const std::string& text, const std::string& id) {
    const interchange::ContactCard card = OneCard(text);
    tx();
    cli::ImportReport report("contacts");
    std::string stored = id;
    {
        cli::ContactImporter importer(m_session, report);
        if (!stored.empty()) {
            importer.replace(card, stored, m_collection);
        } else {
            importer.add({card}, m_collection);
            importer.finish();
        }
    }
    if (report.skippedCount() > 0) throw ClientError("the database did not take the card");
    if (stored.empty()) {
        if (report.importedCount() > 0) {
            SqlText sql(u"SELECT MAX([ContactID]) FROM [tContact] WHERE [ProfileID] = '");
            sql.AppendQuoted(m_session.profileId()).Append(u"';");
            const auto rows = cli::QueryRows(m_session.connection(), sql.view());
            if (!rows.empty()) stored = rows[0].at(0);
        } else {
            // It matched a contact already here: the one that now reads
            // back as the card does.
            m_projections.clear();  // the match was just changed by the import
            const std::string wanted = interchange::WriteVCard(card, interchange::VCardVersion::V3);
            SqlText sql(u"SELECT [ContactID] FROM [tContact] WHERE [ProfileID] = '");
            sql.AppendQuoted(m_session.profileId()).Append(u"' ORDER BY [ContactID];");
            for (const auto& row : cli::QueryRows(m_session.connection(), sql.view()))
                if (projection(row.at(0)) == wanted) {
                    stored = row.at(0);
                    break;
                }
        }
        if (stored.empty()) throw ClientError("the stored contact could not be found again");
    }
    m_projections.erase(stored);
    const std::string hash = cli::ContentHash(projection(stored));
    std::string uid = UidIn(text);
    if (uid.empty()) uid = uidOf(stored);
    m_side.put({cli::ItemFamily::Contact, stored, m_profile, uid, hash, text});
    return {stored, uid, hash};
}

void ContactTarget::removeItem(const std::string& id) {
    tx();
    auto contacts = m_session.access<IContactAccess>();
    LONG err = 0;
    cli::Check(contacts->DeleteContactByID(&err, Bstr::FromUtf8(id)), err, "cannot delete contact " + id);
    m_side.erase(cli::ItemFamily::Contact, id);
    m_projections.erase(id);
}

std::string ContactTarget::token() { return m_state.collectionState(m_collection).first; }

void ContactTarget::setToken(const std::string& token, const std::string& ctag) {
    m_state.setCollectionState(tx(), m_collection, token, ctag);
}

std::map<std::string, SyncedItem> ContactTarget::synced() { return m_state.items(m_collection); }

std::string ContactTarget::base(const std::string& href) { return m_state.base(m_collection, href); }

void ContactTarget::record(const SyncedItem& item, const std::string& text) {
    m_state.put(tx(), m_collection, item, text);
}

void ContactTarget::forget(const std::string& href) { m_state.erase(tx(), m_collection, href); }

}  // namespace calyra::sync
