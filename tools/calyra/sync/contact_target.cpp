#include "sync/contact_target.h"

#include <set>

#include "import_export/contact_cards.h"
#include "import_export/import_report.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"
#include "platform/bstr.h"
#include "platform/utf8.h"
#include "session/client_error.h"
#include "session/query_rows.h"
#include "sync/local_fingerprints.h"
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
    : StoreTarget(session, state, std::move(collection)),
      m_profile(Utf16ToUtf8(session.profileId())),
      m_side(session) {}

ContactTarget::~ContactTarget() = default;

std::string ContactTarget::projection(const std::string& id) {
    if (const auto cached = m_projections.find(id); cached != m_projections.end()) return cached->second;
    return interchange::WriteVCard(cli::ExportContact(m_session, id), interchange::VCardVersion::V3);
}

std::string ContactTarget::uidOf(const std::string& id) {
    return m_side.uidOf(m_profile, cli::ItemFamily::Contact, id);
}

void ContactTarget::localItems(const std::function<void(std::vector<LocalItem>& chunk)>& visit) {
    m_projections.clear();
    ContactFingerprints(m_session, [&](std::vector<Fingerprint>& prints) {
        std::vector<LocalItem> chunk;
        chunk.reserve(prints.size());
        for (Fingerprint& f : prints) chunk.push_back({std::move(f.rowId), std::move(f.uid), std::move(f.hash)});
        visit(chunk);
    });
}

void ContactTarget::readProjections() {
    // One chunked read of the profile for every card: the export visits the
    // contacts in ID order, the order listed here, so the two lists pair up.
    SqlText sql(u"SELECT [ContactID] FROM [tContact] WHERE [ProfileID] = '");
    sql.AppendQuoted(m_session.profileId()).Append(u"' ORDER BY [ContactID];");
    const auto rows = cli::QueryRows(m_session.connection(), sql.view());
    const std::vector<interchange::ContactCard> cards = cli::ExportContacts(m_session);
    m_projections.clear();
    if (cards.size() != rows.size()) return;  // each is read on its own then
    for (size_t i = 0; i < rows.size(); ++i)
        m_projections[rows[i].at(0)] = interchange::WriteVCard(cards[i], interchange::VCardVersion::V3);
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

std::vector<SyncTarget::Stored> ContactTarget::importItems(const std::vector<Incoming>& items) {
    tx();
    std::vector<Stored> out(items.size());
    std::vector<interchange::ContactCard> cards(items.size());
    // New cards with a UID of their own go in as one import; the rest (a
    // replaced contact, a card without UID or with one the batch already
    // has) one at a time.
    std::vector<size_t> together, alone;
    std::set<std::string> uids;
    for (size_t i = 0; i < items.size(); ++i) {
        try {
            cards[i] = OneCard(items[i].text);
        } catch (const ClientError& e) {
            out[i].error = e.what();
            continue;
        }
        if (items[i].id.empty() && !cards[i].uid.empty() && uids.insert(cards[i].uid).second)
            together.push_back(i);
        else
            alone.push_back(i);
    }
    m_projections.clear();  // what is stored now changes
    if (!together.empty()) {
        cli::ImportReport report("contacts");
        {
            std::vector<interchange::ContactCard> batch;
            for (size_t i : together) batch.push_back(cards[i]);
            cli::ContactImporter importer(m_session, report);
            importer.add(std::move(batch), m_collection);
            importer.finish();
        }
        // Each card is now the contact its UID names (added, or matched and
        // updated); its hash follows once the pull is done.
        cli::SideStore side(m_session);
        const auto rows = side.findByUids(m_profile, cli::ItemFamily::Contact, {uids.begin(), uids.end()});
        for (size_t i : together) {
            const auto row = rows.find(cards[i].uid);
            if (row == rows.end())
                out[i].error = "the database did not take the card";
            else
                out[i].item = {row->second.rowId, cards[i].uid, ""};
        }
    }
    for (size_t i : alone) {
        try {
            out[i].item = importOne(cards[i], items[i].text, items[i].id);
        } catch (const ClientError& e) {
            out[i].error = e.what();
        }
    }
    return out;
}

LocalItem ContactTarget::importOne(const interchange::ContactCard& card, const std::string& text,
                                   const std::string& id) {
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
            readProjections();
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
    std::string uid = UidIn(text);
    // The import kept the card and its hash; a card without a UID is kept
    // under the one it is known by here.
    if (auto side = m_side.find(cli::ItemFamily::Contact, stored); side && side->uid.empty()) {
        side->uid = uidOf(stored);
        m_side.put(*side);
    }
    if (uid.empty()) uid = uidOf(stored);
    return {stored, uid, ""};
}

void ContactTarget::removeItem(const std::string& id) {
    tx();
    auto contacts = m_session.access<IContactAccess>();
    LONG err = 0;
    cli::Check(contacts->DeleteContactByID(&err, Bstr::FromUtf8(id)), err, "cannot delete contact " + id);
    m_side.erase(cli::ItemFamily::Contact, id);
    m_projections.erase(id);
}

}  // namespace calyra::sync
