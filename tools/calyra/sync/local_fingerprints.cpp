#include "sync/local_fingerprints.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "idl/owned_record.h"
#include "idl/typelib_description.h"
#include "platform/bstr.h"
#include "platform/type_description.h"
#include "platform/utf8.h"
#include "records/contact_details.h"
#include "records/event_records.h"
#include "records/profile_contacts.h"
#include "records/profile_events.h"
#include "records/record_fields.h"
#include "records/record_rows.h"
#include "session/client_error.h"
#include "session/query_rows.h"
#include "side_store/side_store.h"
#include "tables/event_columns.h"

namespace calyra::sync {
namespace {

using cli::ItemFamily;

// Starts every fingerprint this version makes: one recorded by a version
// that hashed other texts or with another hash function lacks it, and
// counts as not hashed yet.
constexpr std::string_view kFingerprintMark = "f3:";

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

// A running FNV-1a (64 bits) of the texts folded into it, in order: what
// an item's details, groups or exceptions add to its fingerprint, held in
// eight bytes per item instead of their texts.
class Fold {
public:
    void add(std::string_view text) {
        for (unsigned char c : text) step(c);
        step(0x1f);  // so "ab" then "c" differs from "a" then "bc"
    }
    void appendTo(std::string& text) const {
        static constexpr char kHex[] = "0123456789abcdef";
        for (int shift = 60; shift >= 0; shift -= 4) text.push_back(kHex[(m_value >> shift) & 0xf]);
    }

private:
    void step(unsigned char c) {
        m_value ^= c;
        m_value *= 0x100000001b3ULL;
    }
    uint64_t m_value = 0xcbf29ce484222325ULL;
};

// Each side row of the family in the profile: its UID and a fold of its
// kept text (the texts themselves are not held: a profile's worth of
// them was most of a sync's memory).
class SideRows {
public:
    SideRows(cli::Session& session, ItemFamily family)
        : m_store(session), m_family(family), m_profile(Utf16ToUtf8(session.profileId())) {
        if (!m_store.present()) return;
        m_store.forEach(m_profile, family, [&](cli::SideItem& item) {
            Fold original;
            original.add(item.original);
            item.uid.shrink_to_fit();
            m_rows.emplace(std::move(item.rowId), Row{std::move(item.uid), original});
        });
    }

    // Adds the side row of `id` to `text` and hashes it.
    Fingerprint finish(const std::string& id, std::string& text) {
        std::string uid;
        if (const auto it = m_rows.find(id); it != m_rows.end()) {
            uid = std::move(it->second.uid);
            text.push_back('\x1e');
            it->second.original.appendTo(text);
            m_rows.erase(it);  // each row is asked for once
        }
        if (uid.empty()) uid = m_store.derivedUid(m_profile, m_family, id);
        text.append("\x1e").append(uid);
        return {id, uid, std::string(kFingerprintMark) + cli::ContentHash(text)};
    }

private:
    struct Row {
        std::string uid;
        Fold original;
    };
    cli::SideStore m_store;
    ItemFamily m_family;
    std::string m_profile;
    std::unordered_map<std::string, Row> m_rows;
};

// Event rows of the profile read this many at a time (in ID order), so
// only a chunk of records is held at once.
constexpr int kEventChunk = 500;

// The names of the profile's event categories by ID: an export writes an
// event's category by its name, so renaming one changes the events in it.
std::unordered_map<std::string, std::string> CategoryNames(cli::Session& session) {
    std::unordered_map<std::string, std::string> out;
    for (const auto& c : cli::AllCategories(session.access<IEventCategoryAccess>().get()))
        out.emplace(cli::JsonText(c["event_category_id"]), cli::JsonText(c["event_category_name"]));
    return out;
}

}  // namespace

bool IsCurrentFingerprint(std::string_view hash) { return hash.starts_with(kFingerprintMark); }

std::vector<Fingerprint> ContactFingerprints(cli::Session& session) {
    // Each contact's details (a fold per family) and groups (the last
    // fold), folded as the whole profile's rows are read, a query each.
    std::unordered_map<std::string, std::array<Fold, cli::kDetailFamilyCount + 1>> details;
    const SqlText ofProfile = cli::ContactsOfProfile(session);
    const auto families = cli::DetailFamilies();
    for (size_t i = 0; i < families.size() && i < cli::kDetailFamilyCount; ++i)
        families[i].listWhere(families[i], session.connection(), ofProfile,
                              [&](const std::string& id, cli::Json item) { details[id][i].add(item.dump()); });
    for (const auto& row : cli::ContactGroupRows(session, ofProfile))
        details[row[0]][cli::kDetailFamilyCount].add(row[1] + "=" + row[2]);

    auto access = session.access<IContactAccess>();
    LONG err = 0, count = 0;
    OwnedRecordArray<tagContactInfo> all;
    cli::Check(access->GetAllContacts(&err, &count, &all), err, "cannot list the contacts");
    SideRows side(session, ItemFamily::Contact);
    std::vector<Fingerprint> out;
    out.reserve(static_cast<size_t>(std::max<LONG>(count, 0)));
    for (const tagContactInfo& c : all) {
        const std::string id = BstrUtf8(c.bstrContactID);
        std::string text = FieldsText(c);
        if (const auto it = details.find(id); it != details.end()) {
            for (const Fold& fold : it->second) {
                text.push_back('\x1d');
                fold.appendTo(text);
            }
            details.erase(it);
        }
        out.push_back(side.finish(id, text));
    }
    return out;
}

std::vector<Fingerprint> EventFingerprints(cli::Session& session) {
    IPimDbAccess* db = session.connection();
    const auto categories = CategoryNames(session);
    auto categoryOf = [&](std::string& text, const tagEventInfo& e) {
        if (const auto it = categories.find(BstrUtf8(e.bstrEventCategoryID)); it != categories.end())
            text.append("\x1c").append(it->second);
    };
    // Exceptions are few: each master's, folded, are held for the whole run.
    std::unordered_map<std::string, Fold> exceptions;
    {
        const auto rows = cli::RecordRows<tagEventInfo>::Query(
            db, cli::EventSelect(session).Append(u" AND [OriginalEventID] <> '0' ORDER BY [EventID];"),
            calyra::kEventColumns, 1);
        for (size_t i = 0; i < rows.size(); ++i) {
            std::string text = FieldsText(rows[i]);
            categoryOf(text, rows[i]);
            exceptions[rows.extra(i, 0)].add(text);
        }
    }
    SideRows side(session, ItemFamily::Event);
    std::vector<Fingerprint> out;
    // Masters a chunk at a time, after the last ID of the chunk before.
    std::string after;
    for (int chunk = 0; chunk < 1000000; ++chunk) {
        SqlText sql = cli::EventSelect(session);
        sql.Append(u" AND [OriginalEventID] = '0'");
        if (chunk > 0) sql.Append(u" AND [EventID] > '").AppendQuoted(Utf8ToUtf16(after)).Append(u"'");
        sql.Append(u" ORDER BY [EventID] LIMIT ").AppendLong(kEventChunk).Append(u";");
        const auto masters = cli::RecordRows<tagEventInfo>::Query(db, sql, calyra::kEventColumns, 1);
        for (const tagEventInfo& e : masters) {
            const std::string id = BstrUtf8(e.bstrEventID);
            std::string text = FieldsText(e);
            categoryOf(text, e);
            if (const auto it = exceptions.find(id); it != exceptions.end()) {
                text.push_back('\x1d');
                it->second.appendTo(text);
            }
            out.push_back(side.finish(id, text));
        }
        if (masters.size() < static_cast<size_t>(kEventChunk)) break;
        after = BstrUtf8(masters[masters.size() - 1].bstrEventID);
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
