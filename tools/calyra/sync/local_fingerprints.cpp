#include "sync/local_fingerprints.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_map>

#include "platform/utf8.h"
#include "records/contact_details.h"
#include "records/profile_contacts.h"
#include "session/client_error.h"
#include "session/query_rows.h"
#include "side_store/side_store.h"
#include "tables/contact_detail_family.h"
#include "tables/event_columns.h"
#include "tables/field_map.h"
#include "tables/task_columns.h"

namespace calyra::sync {
namespace {

using cli::ItemFamily;

// Starts every fingerprint this version makes: one recorded by a version
// that hashed other texts or with another hash function lacks it, and
// counts as not hashed yet.
constexpr std::string_view kFingerprintMark = "f4:";

// The select list that states the columns of `fields` (and `more`, a few
// columns of other tables) as one text, a JSON array of each value as text
// (a BLOB too, which json_array would refuse): NULL and a text stay apart,
// and no text can pass for a separator. The database makes the text, so a
// row is read as one cell instead of one per column and is hashed as it is
// stored, with no record made of it: a direct UPDATE of any of these
// columns changes the text. json_array makes the text in one pass; quote()
// and || per column copied it again for every column and took four times
// the database's time. At 10,000 contacts and 10,000 events a sync with
// nothing changed took 0.47-0.49 s of CPU reading records field by field,
// 0.25-0.28 s this way (Release, on a loaded machine).
SqlText RowText(std::span<const FieldMap> fields, Sql more) {
    SqlText sql(u"json_array(");
    for (size_t i = 0; i < fields.size(); ++i)
        sql.Append(i == 0 ? Sql(u"CAST(") : Sql(u", CAST(")).Append(fields[i].column).Append(u" AS TEXT)");
    return sql.Append(more).Append(u")");
}

// Reads a query whose columns are an item's ID and one text, a row at a
// time: `visit(id, text)` gets the ID as UTF-8 and the text as the UTF-16
// bytes the connection hands out, whole.
template <class Visit>
void EachRowText(IPimDbAccess* db, const SqlText& sql, Visit&& visit) {
    cli::ResultWalk cells(db, sql.view(), "cannot read the items to compare");
    if (cells.columns() != 2)
        throw cli::ClientError("the items to compare came back in " + std::to_string(cells.columns()) + " columns");
    std::string id;
    for (LONG r = 0; r < cells.rows(); ++r, cells.next()) {
        Utf16ToUtf8(cells.whole(0), id);
        const std::u16string_view text = cells.whole(1);
        visit(id, std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t)));
    }
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
// chunk of texts, folds and side rows is held at once. A contact chunk
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

// A chunk of items' own rows: their IDs and texts, in ID order.
struct Rows {
    std::vector<std::string> ids;
    std::string texts;         // one after the other
    std::vector<size_t> ends;  // where each ends in `texts`
    std::string_view text(size_t i) const {
        const size_t from = i == 0 ? 0 : ends[i - 1];
        return std::string_view(texts).substr(from, ends[i] - from);
    }
    // " BETWEEN 'first' AND 'last'": the chunk's ID range (rows of other
    // profiles in it are read and never asked for), cheaper to test per row
    // than a list.
    SqlText range() const {
        SqlText in(u" BETWEEN '");
        in.AppendQuoted(Utf8ToUtf16(ids.front())).Append(u"' AND '");
        in.AppendQuoted(Utf8ToUtf16(ids.back())).Append(u"'");
        return in;
    }
};

// Every item of a family: its rows a chunk at a time from `select` (the
// query's columns are the ID and RowText of the row, the statement goes
// on with the condition on the ID that starts the chunk), then
// `related.read(rows)` for what belongs to the chunk's items and
// `related.append(id, text)` to add an item's part of it; then the side
// row, and the chunk's fingerprints go to `visit`.
template <class Related>
void Fingerprints(cli::Session& session, ItemFamily family, const SqlText& select, Sql idColumn, LONG limit,
                  Related& related, const FingerprintVisit& visit) {
    SideRows side(session, family);
    Rows rows;
    std::string text;
    for (int chunk = 0; chunk < 1000000; ++chunk) {
        SqlText sql(select);
        if (!rows.ids.empty())
            sql.Append(u" AND ")
                .Append(idColumn)
                .Append(u" > '")
                .AppendQuoted(Utf8ToUtf16(rows.ids.back()))
                .Append(u"'");
        sql.Append(u" ORDER BY ").Append(idColumn).Append(u" LIMIT ").AppendLong(limit).Append(u";");
        rows.ids.clear();
        rows.texts.clear();
        rows.ends.clear();
        EachRowText(session.connection(), sql, [&](const std::string& id, std::string_view row) {
            rows.ids.push_back(id);
            rows.texts.append(row);
            rows.ends.push_back(rows.texts.size());
        });
        if (rows.ids.empty()) return;
        related.read(rows);
        side.read(rows.ids);
        std::vector<Fingerprint> out;
        out.reserve(rows.ids.size());
        for (size_t i = 0; i < rows.ids.size(); ++i) {
            text.assign(rows.text(i));
            related.append(rows.ids[i], text);
            out.push_back(side.finish(rows.ids[i], text));
        }
        visit(out);
        if (rows.ids.size() < static_cast<size_t>(limit)) return;
    }
}

// Folds of texts by item ID: what belongs to an item in other rows, added
// to its fingerprint as `Count` folds in order.
template <size_t Count>
struct FoldsById {
    std::unordered_map<std::string, std::array<Fold, Count>> folds;
    void append(const std::string& id, std::string& text) const {
        if (const auto it = folds.find(id); it != folds.end())
            for (const Fold& fold : it->second) {
                text.push_back('\x1d');
                fold.appendTo(text);
            }
    }
};

// "SELECT <idColumn>, <RowText(fields, more)> FROM <table> WHERE
// [ProfileID] = '<profile>'".
SqlText SelectRows(cli::Session& session, Sql idColumn, std::span<const FieldMap> fields, Sql more, Sql table) {
    SqlText sql(u"SELECT ");
    sql.Append(idColumn).Append(u", ").Append(RowText(fields, more)).Append(u" FROM ").Append(table);
    sql.Append(u" WHERE [ProfileID] = '").AppendQuoted(session.profileId()).Append(u"'");
    return sql;
}

// The detail tables, in the order of cli::DetailFamilies.
constexpr const calyra::DetailFamily* kDetailTables[] = {
    &calyra::DetailFamilyOf<tagAddress>::value, &calyra::DetailFamilyOf<tagPhoneNumber>::value,
    &calyra::DetailFamilyOf<tagEmail>::value, &calyra::DetailFamilyOf<tagWebUrl>::value,
    &calyra::DetailFamilyOf<tagIM>::value};
static_assert(std::size(kDetailTables) == cli::kDetailFamilyCount);

// An export writes an event's category by its name, so renaming one
// changes the events in it.
constexpr Sql kCategoryName =
    u", (SELECT [EventCategoryName] FROM [tEventCategory] WHERE [tEventCategory].[EventCategoryID] = "
    u"[tEvent].[EventCategoryID] AND [tEventCategory].[ProfileID] = [tEvent].[ProfileID])";

}  // namespace

bool IsCurrentFingerprint(std::string_view hash) { return hash.starts_with(kFingerprintMark); }

void ContactFingerprints(cli::Session& session, const FingerprintVisit& visit) {
    // Each contact's details (a fold per family) and groups (the last
    // fold), a query each for the chunk.
    struct Details : FoldsById<cli::kDetailFamilyCount + 1> {
        cli::Session& session;
        void read(const Rows& rows) {
            folds.clear();
            const SqlText in = rows.range();
            for (size_t i = 0; i < cli::kDetailFamilyCount; ++i) {
                const calyra::DetailFamily& family = *kDetailTables[i];
                SqlText sql(u"SELECT [ContactID], ");
                sql.Append(RowText(family.fields, u"")).Append(u" FROM ").Append(family.table);
                sql.Append(u" WHERE [ContactID]").Append(in).Append(u" ORDER BY ").Append(family.fields[0].column);
                sql.Append(u";");
                EachRowText(session.connection(), sql,
                            [&](const std::string& id, std::string_view text) { folds[id][i].add(text); });
            }
            for (const auto& row : cli::ContactGroupRows(session, in))
                folds[row[0]][cli::kDetailFamilyCount].add(row[1] + "=" + row[2]);
        }
    } details{{}, session};
    Fingerprints(session, ItemFamily::Contact,
                 SelectRows(session, u"[ContactID]", cli::ContactTableColumns(), u"", u"[tContact]"), u"[ContactID]",
                 kContactChunk, details, visit);
}

void EventFingerprints(cli::Session& session, const FingerprintVisit& visit) {
    // Exceptions are few: each master's, folded, are held for the whole run.
    struct Exceptions : FoldsById<1> {
        void read(const Rows&) {}
    } exceptions;
    SqlText sql = SelectRows(session, u"[OriginalEventID]", calyra::kEventColumns, kCategoryName, u"[tEvent]");
    sql.Append(u" AND [OriginalEventID] <> '0' ORDER BY [EventID];");
    EachRowText(session.connection(), sql,
                [&](const std::string& id, std::string_view text) { exceptions.folds[id][0].add(text); });
    SqlText masters = SelectRows(session, u"[EventID]", calyra::kEventColumns, kCategoryName, u"[tEvent]");
    masters.Append(u" AND [OriginalEventID] = '0'");
    Fingerprints(session, ItemFamily::Event, masters, u"[EventID]", kRowChunk, exceptions, visit);
}

void TaskFingerprints(cli::Session& session, const FingerprintVisit& visit) {
    struct Nothing {
        void read(const Rows&) {}
        void append(const std::string&, std::string&) {}
    } nothing;
    Fingerprints(session, ItemFamily::Task, SelectRows(session, u"[TaskID]", calyra::kTaskColumns, u"", u"[tTask]"),
                 u"[TaskID]", kRowChunk, nothing, visit);
}

}  // namespace calyra::sync
