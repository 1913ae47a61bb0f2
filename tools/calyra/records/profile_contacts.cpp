#include "records/profile_contacts.h"

#include <algorithm>
#include <cstddef>

#include "platform/bstr.h"
#include "records/record_fields.h"
#include "records/record_rows.h"
#include "session/client_error.h"
#include "session/query_rows.h"
#include "session/record_id.h"
#include "tables/field_map.h"
#include "tables/sql_text.h"

namespace calyra::cli {
namespace {

// The primary item of a detail list, else the first; null when empty.
Json PrimaryValue(const Json& items, const std::string& key) {
    if (items.empty()) return nullptr;
    for (const auto& item : items)
        if (item.value("primary", false)) return item[key];
    return items.front()[key];
}

// The contact table's columns and where the record keeps each, in the
// order the component's contact queries list them: its records and these
// are made by the same field map code (StoreFieldText), so a contact read
// here equals the one GetContactByID hands out. FROZEN: the names are the
// table's.
constexpr calyra::FieldMap kContactColumns[] = {
    {u"[ContactID]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrContactID), 0},
    {u"[Title]", calyra::FieldKind::Long, offsetof(tagContactInfo, eTitle), 0},
    {u"[Suffix]", calyra::FieldKind::Long, offsetof(tagContactInfo, eSuffix), 0},
    {u"[LastName]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrLastName), 0},
    {u"[FirstName]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrFirstName), 0},
    {u"[MiddleName]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrMiddleName), 0},
    {u"[NickName]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrNickName), 0},
    {u"[SpouseName]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrSpouseName), 0},
    {u"[BirthDate]", calyra::FieldKind::Date, offsetof(tagContactInfo, dtBirthday), 0},
    {u"[Anniversary]", calyra::FieldKind::Date, offsetof(tagContactInfo, dtAnniversary), 0},
    {u"[CompanyName]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrCompanyName), 0},
    {u"[Department]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrDepartment), 0},
    {u"[JobTitle]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrJobTitle), 0},
    {u"[Description]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrDescription), 0},
    {u"[Ringtone]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrRingtone), 0},
    {u"[Photo]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrPhoto), 0},
    {u"[MessageAlert]", calyra::FieldKind::Text, offsetof(tagContactInfo, bstrMessageAlert), 0},
    {u"[Modified]", calyra::FieldKind::Date, offsetof(tagContactInfo, dtModified), 0},
};

}  // namespace

std::span<const calyra::FieldMap> ContactTableColumns() { return kContactColumns; }

SqlText ContactsOfProfile(Session& session) {
    SqlText sql(u" IN (SELECT [ContactID] FROM [tContact] WHERE [ProfileID] = '");
    sql.AppendQuoted(session.profileId()).Append(u"')");
    return sql;
}

TextRows ContactGroupRows(Session& session, const SqlText& contacts) {
    SqlText sql(
        u"SELECT [tContactGroupMap].[ContactID], [tContactGroup].[ContactGroupID], [tContactGroup].[ContactGroupName] "
        u"FROM [tContactGroupMap], [tContactGroup] WHERE [tContactGroupMap].[ContactGroupID] = "
        u"[tContactGroup].[ContactGroupID] AND [tContactGroup].[ProfileID] = '");
    sql.AppendQuoted(session.profileId())
        .Append(u"' AND [tContactGroupMap].[ContactID]")
        .Append(contacts)
        .Append(u" ORDER BY [tContactGroupMap].[ContactGroupMapID];");
    return QueryRows(session.connection(), sql.view());
}

ProfileContacts::ProfileContacts(Session& session, std::initializer_list<std::string_view> families, bool withGroups) {
    auto access = session.access<IContactAccess>();
    LONG err = 0, count = 0;
    Check(access->GetAllContacts(&err, &count, &m_contacts), err, "cannot list the contacts");
    m_details.reserve(static_cast<size_t>(std::max<LONG>(count, 0)));
    const auto all = DetailFamilies();
    const SqlText ofProfile = ContactsOfProfile(session);
    for (std::string_view name : families)
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i].name == name) readFamily(session, i, ofProfile);
    if (withGroups) readGroups(session, ofProfile);
}

ProfileContacts::ProfileContacts(Session& session, const std::vector<std::string>& ids,
                                 const ContactDetailIndex* index) {
    // The contacts in one query (a GetContactByID per contact was a third
    // of an export), then one query per family for all of them.
    SqlText in(u" IN (");
    bool any = false;
    for (const auto& id : ids) {
        if (!IsRecordId(id)) continue;
        in.Append(any ? Sql(u", '") : Sql(u"'")).AppendQuoted(Utf8ToUtf16(id)).Append(u"'");
        any = true;
    }
    if (!any) return;
    in.Append(u")");
    // A contact of another profile, or one that is gone, is none.
    SqlText sql(u"SELECT ");
    sql.Append(RowColumns(kContactColumns))
        .Append(u" FROM [tContact] WHERE [ProfileID] = '")
        .AppendQuoted(session.profileId())
        .Append(u"' AND [ContactID]")
        .Append(in)
        .Append(u";");
    m_some = RecordRows<tagContactInfo>::Query(session.connection(), sql, kContactColumns);
    if (m_some.size() == 0) return;
    // The details of those found only.
    SqlText found(u" IN (");
    m_someIndex.reserve(m_some.size());
    for (size_t i = 0; i < m_some.size(); ++i) {
        const std::string id = BstrUtf8(m_some[i].bstrContactID);
        m_details[id];
        m_someIndex.emplace(id, i);
        found.Append(i ? Sql(u", '") : Sql(u"'")).AppendQuoted(m_some[i].bstrContactID).Append(u"'");
    }
    found.Append(u")");
    for (size_t i = 0; i < DetailFamilies().size(); ++i)
        readFamily(session, i, index ? index->narrowed(i, found) : found);
    readGroups(session, index ? index->narrowed(kDetailFamilyCount, found) : found);
}

ContactDetailIndex::ContactDetailIndex(Session& session)
    : m_session(session), m_list(session, u"calyra_contact_details", Statements(session)) {}

namespace {

// The tables the list holds rows of, by its family number.
Sql ListedTable(size_t family) {
    return family == kDetailFamilyCount ? Sql(u"[tContactGroupMap]") : DetailTable(DetailFamilies()[family]);
}

// Adds to `sql` a row of the list that holds the largest key `family`'s
// table has now (none in an empty table, 0).
void AppendTop(SqlText& sql, size_t family) {
    sql.Append(u"INSERT INTO temp.calyra_contact_details SELECT ")
        .AppendLong(static_cast<LONG>(family))
        .Append(u", -1, COALESCE(MAX(rowid), 0) FROM ")
        .Append(ListedTable(family))
        .Append(u";");
}

}  // namespace

std::vector<SqlText> ContactDetailIndex::Statements(Session& session) {
    // Rows of the families (0 .. kDetailFamilyCount - 1) and the memberships
    // (kDetailFamilyCount) of the profile's contacts, by family and contact.
    std::vector<SqlText> statements;
    statements.emplace_back(Sql(
        u"CREATE TEMP TABLE calyra_contact_details (family INTEGER NOT NULL, contact INTEGER NOT NULL, item INTEGER "
        u"NOT NULL);"));
    const SqlText ofProfile = ContactsOfProfile(session);
    for (size_t i = 0; i <= kDetailFamilyCount; ++i) {
        // The largest key first: a row added between the two statements is
        // listed twice at worst, never missed.
        AppendTop(statements.emplace_back(), i);
        statements.emplace_back(Sql(u"INSERT INTO temp.calyra_contact_details SELECT "))
            .AppendLong(static_cast<LONG>(i))
            .Append(u", [ContactID], rowid FROM ")
            .Append(ListedTable(i))
            .Append(u" WHERE [ContactID]")
            .Append(ofProfile)
            .Append(u";");
    }
    statements.emplace_back(
        Sql(u"CREATE INDEX temp.calyra_contact_details_by_contact ON calyra_contact_details (family, contact, item);"));
    return statements;
}

void ContactDetailIndex::catchUp() {
    if (!m_list.made()) return;
    SqlText sql;
    for (size_t i = 0; i <= kDetailFamilyCount; ++i) {
        const SqlText family = SqlText().AppendLong(static_cast<LONG>(i));
        sql.Append(u"INSERT INTO temp.calyra_contact_details SELECT ")
            .Append(family)
            .Append(u", [ContactID], rowid FROM ")
            .Append(ListedTable(i))
            .Append(u" WHERE rowid > (SELECT MAX(item) FROM temp.calyra_contact_details WHERE family = ")
            .Append(family)
            .Append(u" AND contact = -1);");
        AppendTop(sql, i);
    }
    LONG err = 0;
    Check(m_session.connection()->Execute(&err, sql.ToBstr(), nullptr), err, "cannot list the contacts' new details");
}

SqlText ContactDetailIndex::narrowed(size_t family, const SqlText& contacts) const {
    SqlText sql(contacts);
    if (!m_list.made()) return sql;
    sql.Append(family == kDetailFamilyCount ? Sql(u" AND [tContactGroupMap].rowid") : Sql(u" AND rowid"))
        .Append(u" IN (SELECT item FROM temp.calyra_contact_details WHERE family = ")
        .AppendLong(static_cast<LONG>(family))
        .Append(u" AND contact")
        .Append(contacts)
        .Append(u")");
    return sql;
}

const tagContactInfo* ProfileContacts::contact(const std::string& id) const {
    auto it = m_someIndex.find(id);
    return it == m_someIndex.end() ? nullptr : &m_some[it->second];
}

ProfileContacts::ProfileContacts(Session& session)
    : ProfileContacts(session, {"address", "phone", "email", "url", "im"}, true) {}

void ProfileContacts::readFamily(Session& session, size_t index, const SqlText& contacts) {
    const DetailFamily& family = DetailFamilies()[index];
    family.listWhere(family, session.connection(), contacts, [&](const std::string& contactId, Json item) {
        m_details[contactId].items[index].push_back(std::move(item));
    });
}

void ProfileContacts::readGroups(Session& session, const SqlText& contacts) {
    // Each group once per contact (the membership table may hold a pair
    // twice).
    for (auto& row : ContactGroupRows(session, contacts)) {
        auto& groups = m_details[row[0]].groups;
        if (std::none_of(groups.begin(), groups.end(), [&](const GroupRef& g) { return g.id == row[1]; }))
            groups.push_back({std::move(row[1]), std::move(row[2])});
    }
}

const Json& ProfileContacts::items(const DetailFamily& family, const std::string& contactId) const {
    static const Json kNone = Json::array();
    auto it = m_details.find(contactId);
    if (it == m_details.end()) return kNone;
    const Json& items = it->second.items[DetailFamilyIndex(family)];
    return items.is_null() ? kNone : items;
}

const std::vector<GroupRef>& ProfileContacts::groups(const std::string& contactId) const {
    static const std::vector<GroupRef> kNone;
    auto it = m_details.find(contactId);
    return it == m_details.end() ? kNone : it->second.groups;
}

Json ContactListItem(const ProfileContacts& all, const tagContactInfo& contact) {
    Json item = ToJson(contact);
    const std::string id = BstrUtf8(contact.bstrContactID);
    item["phone"] = PrimaryValue(all.items(*FindDetailFamily("phone"), id), "phone_number");
    item["email"] = PrimaryValue(all.items(*FindDetailFamily("email"), id), "email");
    return item;
}

std::vector<std::string> ContactListFields() {
    std::vector<std::string> keys;
    for (const auto& f : FieldsOf(RecordDescriptionOf<tagContactInfo>())) keys.push_back(f.key);
    keys.insert(keys.end(), {"phone", "email"});
    return keys;
}

RecordRows<tagContactInfo> ContactsAfter(Session& session, const std::string& afterId, LONG limit) {
    SqlText sql(u"SELECT ");
    sql.Append(RowColumns(kContactColumns))
        .Append(u" FROM [tContact] WHERE [ProfileID] = '")
        .AppendQuoted(session.profileId())
        .Append(u"'");
    if (!afterId.empty()) sql.Append(u" AND [ContactID] > '").AppendQuoted(Utf8ToUtf16(afterId)).Append(u"'");
    sql.Append(u" ORDER BY [ContactID] LIMIT ").AppendLong(limit).Append(u";");
    return RecordRows<tagContactInfo>::Query(session.connection(), sql, kContactColumns);
}

}  // namespace calyra::cli
