#include "sync/local_fingerprints.h"

#include <unordered_map>

#include "idl/owned_record.h"
#include "idl/typelib_description.h"
#include "platform/bstr.h"
#include "platform/type_description.h"
#include "platform/utf8.h"
#include "records/contact_details.h"
#include "records/profile_contacts.h"
#include "records/profile_events.h"
#include "session/client_error.h"
#include "side_store/side_store.h"

namespace calyra::sync {
namespace {

using cli::ItemFamily;

// A record's fields as they are held (texts as their UTF-16 bytes, numbers,
// dates and flags as their bytes, nested records field by field): cheaper
// than its JSON, and the same for the same values.
void AppendFields(std::string& text, const RecordDesc& desc, const char* record) {
    for (size_t i = 0; i < desc.fieldCount; ++i) {
        const FieldDesc& field = desc.fields[i];
        const char* at = record + field.offset;
        switch (field.vt) {
            case VT_BSTR:
                if (const BSTR b = *reinterpret_cast<const BSTR*>(at))
                    text.append(reinterpret_cast<const char*>(b), SysStringByteLen(b));
                break;
            case VT_DATE:
                text.append(at, sizeof(DATE));
                break;
            case VT_BOOL:
                text.append(at, sizeof(VARIANT_BOOL));
                break;
            case VT_I4:
            case VT_UI4:
                text.append(at, sizeof(LONG));
                break;
            case VT_RECORD:
                if (field.record) AppendFields(text, *field.record, at);
                break;
            default:
                break;
        }
        text.push_back('\x1f');
    }
}

template <class Record>
std::string FieldsText(const Record& record) {
    std::string text;
    text.reserve(256);
    AppendFields(text, RecordDescriptionOf<Record>(), reinterpret_cast<const char*>(&record));
    return text;
}

// Each side row of the family in the profile: its UID and kept text.
class SideRows {
public:
    SideRows(cli::Session& session, ItemFamily family)
        : m_store(session), m_family(family), m_profile(Utf16ToUtf8(session.profileId())) {
        if (!m_store.present()) return;
        m_store.forEach(m_profile, family, [&](cli::SideItem& item) {
            m_rows.emplace(item.rowId, std::pair{std::move(item.uid), std::move(item.original)});
        });
    }

    // Adds the side row of `id` to `text` and hashes it.
    Fingerprint finish(const std::string& id, std::string& text) {
        std::string uid;
        if (const auto it = m_rows.find(id); it != m_rows.end()) {
            uid = it->second.first;
            text.append("\x1e").append(it->second.second);
        }
        if (uid.empty()) uid = m_store.derivedUid(m_profile, m_family, id);
        text.append("\x1e").append(uid);
        return {id, uid, cli::ContentHash(text)};
    }

private:
    cli::SideStore m_store;
    ItemFamily m_family;
    std::string m_profile;
    std::unordered_map<std::string, std::pair<std::string, std::string>> m_rows;
};

}  // namespace

std::vector<Fingerprint> ContactFingerprints(cli::Session& session) {
    const cli::ProfileContacts all(session);
    SideRows side(session, ItemFamily::Contact);
    std::vector<Fingerprint> out;
    out.reserve(static_cast<size_t>(all.contacts().size()));
    for (const tagContactInfo& c : all.contacts()) {
        const std::string id = BstrUtf8(c.bstrContactID);
        std::string text = FieldsText(c);
        for (const cli::DetailFamily& family : cli::DetailFamilies())
            text.append("\x1d").append(all.items(family, id).dump());
        for (const cli::GroupRef& group : all.groups(id))
            text.append("\x1d").append(group.id).append("=").append(group.name);
        out.push_back(side.finish(id, text));
    }
    return out;
}

std::vector<Fingerprint> EventFingerprints(cli::Session& session) {
    const cli::ProfileEvents all(session);
    SideRows side(session, ItemFamily::Event);
    std::vector<Fingerprint> out;
    for (const tagEventInfo& e : all.masters()) {
        const std::string id = BstrUtf8(e.bstrEventID);
        std::string text = FieldsText(e);
        for (const tagEventInfo* x : all.exceptionsOf(id)) text.append("\x1d").append(FieldsText(*x));
        out.push_back(side.finish(id, text));
    }
    return out;
}

std::vector<Fingerprint> TaskFingerprints(cli::Session& session) {
    auto tasks = session.access<ITaskAccess>();
    LONG err = 0, count = 0;
    OwnedRecordArray<tagTaskInfo> all;
    cli::Check(tasks->GetAllTasks(&err, &count, &all), err, "cannot list the tasks");
    SideRows side(session, ItemFamily::Task);
    std::vector<Fingerprint> out;
    for (const tagTaskInfo& t : all) {
        std::string text = FieldsText(t);
        out.push_back(side.finish(BstrUtf8(t.bstrTaskID), text));
    }
    return out;
}

}  // namespace calyra::sync
