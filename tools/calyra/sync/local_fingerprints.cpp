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
#include "tables/task_columns.h"

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

// Rows of the profile read this many at a time (in ID order), so only a
// chunk of records, folds and side rows is held at once. A contact chunk
// costs a scan of each detail table (they have no index on [ContactID]):
// contacts go in larger chunks, so the scans stay a few.
constexpr LONG kContactChunk = 1000;
constexpr LONG kRowChunk = 500;

// The side rows of a chunk of items: each one's UID and a fold of its kept
// text (the texts themselves are not held past the chunk).
class SideRows {
public:
    SideRows(cli::Session& session, ItemFamily family)
        : m_store(session), m_family(family), m_profile(Utf16ToUtf8(session.profileId())) {}

    // Reads the side rows of the items `ids` names, in place of the last;
    // their kept texts (most of a row) 500 at a time.
    void read(const std::vector<std::string>& ids) {
        constexpr size_t textsAtOnce = 500;
        m_rows.clear();
        if (!m_store.present()) return;
        for (size_t from = 0; from < ids.size(); from += textsAtOnce) {
            const auto first = ids.begin() + static_cast<std::ptrdiff_t>(from);
            const std::vector<std::string> some(
                first, first + static_cast<std::ptrdiff_t>(std::min(textsAtOnce, ids.size() - from)));
            for (auto& [id, item] : m_store.findByRows(m_family, some)) {
                Fold original;
                original.add(item.original);
                m_rows.emplace(id, Row{std::move(item.uid), original});
            }
        }
    }

    // Adds the side row of `id` to `text` and hashes it.
    Fingerprint finish(const std::string& id, std::string& text) {
        std::string uid;
        if (const auto it = m_rows.find(id); it != m_rows.end()) {
            uid = std::move(it->second.uid);
            text.push_back('\x1e');
            it->second.original.appendTo(text);
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

// Walks rows a chunk at a time in ID order: `read(after)` gives the chunk
// after the last ID of the one before (from the first when empty), `idOf`
// a row's ID; `visit(rows, ids)` gets each chunk with its rows' IDs. At
// most `limit` rows a chunk; ends at a short one.
template <class Rows, class Read, class IdOf, class Visit>
void EachChunk(LONG limit, Read&& read, IdOf&& idOf, Visit&& visit) {
    std::string after;
    for (int chunk = 0; chunk < 1000000; ++chunk) {
        const Rows rows = read(after);
        std::vector<std::string> ids;
        ids.reserve(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) ids.push_back(idOf(rows[i]));
        if (!ids.empty()) visit(rows, ids);
        if (rows.size() < static_cast<size_t>(limit)) return;
        after = ids.back();
    }
}

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

void ContactFingerprints(cli::Session& session, const FingerprintVisit& visit) {
    SideRows side(session, ItemFamily::Contact);
    const auto families = cli::DetailFamilies();
    EachChunk<cli::RecordRows<tagContactInfo>>(
        kContactChunk, [&](const std::string& after) { return cli::ContactsAfter(session, after, kContactChunk); },
        [](const tagContactInfo& c) { return BstrUtf8(c.bstrContactID); },
        [&](const cli::RecordRows<tagContactInfo>& contacts, const std::vector<std::string>& ids) {
            // The chunk's ID range (rows of other profiles in it are read
            // and never asked for): cheaper to test per row than a list.
            SqlText in(u" BETWEEN '");
            in.AppendQuoted(contacts[0].bstrContactID).Append(u"' AND '");
            in.AppendQuoted(contacts[contacts.size() - 1].bstrContactID).Append(u"'");
            // Each contact's details (a fold per family) and groups (the
            // last fold), a query each for the chunk.
            std::unordered_map<std::string, std::array<Fold, cli::kDetailFamilyCount + 1>> details;
            for (size_t i = 0; i < families.size() && i < cli::kDetailFamilyCount; ++i)
                families[i].listWhere(families[i], session.connection(), in,
                                      [&](const std::string& id, cli::Json item) { details[id][i].add(item.dump()); });
            for (const auto& row : cli::ContactGroupRows(session, in))
                details[row[0]][cli::kDetailFamilyCount].add(row[1] + "=" + row[2]);
            side.read(ids);
            std::vector<Fingerprint> out;
            out.reserve(contacts.size());
            for (size_t i = 0; i < contacts.size(); ++i) {
                std::string text = FieldsText(contacts[i]);
                if (const auto it = details.find(ids[i]); it != details.end()) {
                    for (const Fold& fold : it->second) {
                        text.push_back('\x1d');
                        fold.appendTo(text);
                    }
                }
                out.push_back(side.finish(ids[i], text));
            }
            visit(out);
        });
}

void EventFingerprints(cli::Session& session, const FingerprintVisit& visit) {
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
    EachChunk<cli::RecordRows<tagEventInfo>>(
        kRowChunk,
        [&](const std::string& after) {
            SqlText sql = cli::EventSelect(session);
            sql.Append(u" AND [OriginalEventID] = '0'");
            if (!after.empty()) sql.Append(u" AND [EventID] > '").AppendQuoted(Utf8ToUtf16(after)).Append(u"'");
            sql.Append(u" ORDER BY [EventID] LIMIT ").AppendLong(kRowChunk).Append(u";");
            return cli::RecordRows<tagEventInfo>::Query(db, sql, calyra::kEventColumns, 1);
        },
        [](const tagEventInfo& e) { return BstrUtf8(e.bstrEventID); },
        [&](const cli::RecordRows<tagEventInfo>& masters, const std::vector<std::string>& ids) {
            side.read(ids);
            std::vector<Fingerprint> out;
            for (size_t i = 0; i < masters.size(); ++i) {
                std::string text = FieldsText(masters[i]);
                categoryOf(text, masters[i]);
                if (const auto it = exceptions.find(ids[i]); it != exceptions.end()) {
                    text.push_back('\x1d');
                    it->second.appendTo(text);
                }
                out.push_back(side.finish(ids[i], text));
            }
            visit(out);
        });
}

void TaskFingerprints(cli::Session& session, const FingerprintVisit& visit) {
    SideRows side(session, ItemFamily::Task);
    EachChunk<cli::RecordRows<tagTaskInfo>>(
        kRowChunk,
        [&](const std::string& after) {
            SqlText sql = cli::TaskSelect(session);
            if (!after.empty()) sql.Append(u" AND [TaskID] > '").AppendQuoted(Utf8ToUtf16(after)).Append(u"'");
            sql.Append(u" ORDER BY [TaskID] LIMIT ").AppendLong(kRowChunk).Append(u";");
            return cli::RecordRows<tagTaskInfo>::Query(session.connection(), sql, calyra::kTaskColumns);
        },
        [](const tagTaskInfo& t) { return BstrUtf8(t.bstrTaskID); },
        [&](const cli::RecordRows<tagTaskInfo>& tasks, const std::vector<std::string>& ids) {
            side.read(ids);
            std::vector<Fingerprint> out;
            for (size_t i = 0; i < tasks.size(); ++i) {
                std::string text = FieldsText(tasks[i]);
                out.push_back(side.finish(ids[i], text));
            }
            visit(out);
        });
}

}  // namespace calyra::sync
