// The five kinds of contact detail items (addresses, phone numbers, e-mail,
// web and instant-messaging addresses) described as data.
//
// Every family has the same five operations: list the items of a contact,
// add one, delete one by its ID, delete all of a contact, rewrite one. They
// differ only in their statement texts, their columns and their record
// type, so each family is one DetailFamily and CContactAccess runs all five
// through the same code. What differs between them is visible here and
// nowhere else: the parentheses of delete-by-ID, the two numeric columns of
// phone numbers, the two text columns of IM, which families go with their
// contact when it is deleted, and which add requires an ID output.
//
// FROZEN: the statement texts are the database's contract; the column
// lists inside them are checked against the field maps at compile time, and
// the assignments of an update are written from the field maps.
// Everything here is constant data: nothing is owned, nothing needs a lock.
// Internal to access/contacts.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "tables/field_map.h"
#include "tables/sql_text.h"

namespace calyra {

struct DetailFamily {
    // The family's table, "[tAddress]".
    Sql table;
    // "SELECT <columns> FROM [t...] WHERE [ContactID] = '", then the contact
    // ID and "';".
    Sql listHead;
    // "INSERT INTO [t...] ([ContactID], <value columns>) VALUES('", then the
    // contact ID, "', '" before each value, and "');".
    Sql insertHead;
    // Then the item ID, then deleteByIdClosing.
    Sql deleteByIdHead;
    Sql deleteByIdClosing;
    // Then the contact ID and "';".
    Sql deleteByContactHead;
    // "UPDATE [t...] SET ", then the assignments of the value columns, then
    // "' WHERE <ID column> = '", the item ID and "';".
    Sql updateHead;
    // Column 0 is the item ID, never written; columns 1.. are the values.
    std::span<const FieldMap> fields;
    // The statement head that deletes the family's items of every contact
    // of a profile (then the profile ID and "');"). Present exactly for the
    // families whose items are deleted with their contact.
    std::optional<Sql> profileDeleteHead;
    // Whether the add operation refuses a NULL ID output.
    bool idOutRequired;
};

// The description of the family whose records are `Record`; only the five
// detail records have one.
template <class Record>
struct DetailFamilyOf;

namespace detail_columns {

inline constexpr FieldMap kAddress[] = {
    {u"[AddressID]", FieldKind::Text, offsetof(tagAddress, bstrAddressID), 0},
    {u"[LocationType]", FieldKind::Long, offsetof(tagAddress, eLocationType), 0},
    {u"[Country]", FieldKind::Text, offsetof(tagAddress, bstrCountry), 0},
    {u"[State]", FieldKind::Text, offsetof(tagAddress, bstrState), 0},
    {u"[City]", FieldKind::Text, offsetof(tagAddress, bstrCity), 0},
    {u"[Street]", FieldKind::Text, offsetof(tagAddress, bstrStreet), 0},
    {u"[ZipCode]", FieldKind::Text, offsetof(tagAddress, bstrZipCode), 0},
    {u"[PrimaryFlag]", FieldKind::Flag, offsetof(tagAddress, bPrimary), 0},
};

inline constexpr FieldMap kPhoneNumber[] = {
    {u"[PhoneNumberID]", FieldKind::Text, offsetof(tagPhoneNumber, bstrPhoneNumberID), 0},
    {u"[LocationType]", FieldKind::Long, offsetof(tagPhoneNumber, eLocationType), 0},
    {u"[PhoneNumberType]", FieldKind::Long, offsetof(tagPhoneNumber, ePhoneNumberType), 0},
    {u"[PhoneNumber]", FieldKind::Text, offsetof(tagPhoneNumber, bstrPhoneNumber), 0},
    {u"[PrimaryFlag]", FieldKind::Flag, offsetof(tagPhoneNumber, bPrimary), 0},
};

inline constexpr FieldMap kEmail[] = {
    {u"[EmailID]", FieldKind::Text, offsetof(tagEmail, bstrEmailID), 0},
    {u"[LocationType]", FieldKind::Long, offsetof(tagEmail, eLocationType), 0},
    {u"[Email]", FieldKind::Text, offsetof(tagEmail, bstrEmail), 0},
    {u"[PrimaryFlag]", FieldKind::Flag, offsetof(tagEmail, bPrimary), 0},
};

inline constexpr FieldMap kWebUrl[] = {
    {u"[WebUrlID]", FieldKind::Text, offsetof(tagWebUrl, bstrWebUrlID), 0},
    {u"[LocationType]", FieldKind::Long, offsetof(tagWebUrl, eLocationType), 0},
    {u"[WebUrl]", FieldKind::Text, offsetof(tagWebUrl, bstrWebUrl), 0},
    {u"[PrimaryFlag]", FieldKind::Flag, offsetof(tagWebUrl, bPrimary), 0},
};

inline constexpr FieldMap kIM[] = {
    {u"[IMID]", FieldKind::Text, offsetof(tagIM, bstrIMID), 0},
    {u"[LocationType]", FieldKind::Long, offsetof(tagIM, eLocationType), 0},
    {u"[Address]", FieldKind::Text, offsetof(tagIM, bstrAddress), 0},
    {u"[Protocol]", FieldKind::Text, offsetof(tagIM, bstrProtocol), 0},
    {u"[PrimaryFlag]", FieldKind::Flag, offsetof(tagIM, bPrimary), 0},
};

}  // namespace detail_columns

template <>
struct DetailFamilyOf<tagAddress> {
    static constexpr DetailFamily value{
        u"[tAddress]",
        u"SELECT [AddressID], [LocationType], [Country], [State], [City], [Street], [ZipCode], [PrimaryFlag] "
        u"FROM [tAddress] WHERE [ContactID] = '",
        u"INSERT INTO [tAddress] ([ContactID], [LocationType], [Country], [State], [City], [Street], [ZipCode], "
        u"[PrimaryFlag]) VALUES('",
        u"DELETE FROM [tAddress] WHERE ([AddressID] = '",
        u"');",
        u"DELETE FROM [tAddress] WHERE [ContactID] = '",
        u"UPDATE [tAddress] SET ",
        detail_columns::kAddress,
        Sql(u"DELETE FROM [tAddress] WHERE [AddressID] IN (SELECT [AddressID] FROM [tAddress], [tContact] WHERE "
            u"[tContact].[ContactID] = [tAddress].[ContactID] AND [ProfileID] = '"),
        false,
    };
};

template <>
struct DetailFamilyOf<tagPhoneNumber> {
    static constexpr DetailFamily value{
        u"[tPhoneNumber]",
        u"SELECT [PhoneNumberID], [LocationType], [PhoneNumberType], [PhoneNumber], [PrimaryFlag] FROM "
        u"[tPhoneNumber] WHERE [ContactID] = '",
        u"INSERT INTO [tPhoneNumber] ([ContactID], [LocationType], [PhoneNumberType], [PhoneNumber], "
        u"[PrimaryFlag]) VALUES('",
        u"DELETE FROM [tPhoneNumber] WHERE ([PhoneNumberID] = '",
        u"');",
        u"DELETE FROM [tPhoneNumber] WHERE [ContactID] = '",
        u"UPDATE [tPhoneNumber] SET ",
        detail_columns::kPhoneNumber,
        Sql(u"DELETE FROM [tPhoneNumber] WHERE [PhoneNumberID] IN (SELECT [PhoneNumberID] FROM [tPhoneNumber], "
            u"[tContact] WHERE [tContact].[ContactID] = [tPhoneNumber].[ContactID] AND [ProfileID] = '"),
        false,
    };
};

template <>
struct DetailFamilyOf<tagEmail> {
    static constexpr DetailFamily value{
        u"[tEmail]",
        u"SELECT [EmailID], [LocationType], [Email], [PrimaryFlag] FROM [tEmail] WHERE [ContactID] = '",
        u"INSERT INTO [tEmail] ([ContactID], [LocationType], [Email], [PrimaryFlag]) VALUES('",
        u"DELETE FROM [tEmail] WHERE [EmailID] = '",
        u"';",
        u"DELETE FROM [tEmail] WHERE [ContactID] = '",
        u"UPDATE [tEmail] SET ",
        detail_columns::kEmail,
        Sql(u"DELETE FROM [tEmail] WHERE [EmailID] IN (SELECT [EmailID] FROM [tEmail], [tContact] WHERE "
            u"[tContact].[ContactID] = [tEmail].[ContactID] AND [ProfileID] = '"),
        false,
    };
};

template <>
struct DetailFamilyOf<tagWebUrl> {
    static constexpr DetailFamily value{
        u"[tWebUrl]",
        u"SELECT [WebUrlID], [LocationType], [WebUrl], [PrimaryFlag] FROM [tWebUrl] WHERE [ContactID] = '",
        u"INSERT INTO [tWebUrl] ([ContactID], [LocationType], [WebUrl], [PrimaryFlag]) VALUES('",
        u"DELETE FROM [tWebUrl] WHERE [WebUrlID] = '",
        u"';",
        u"DELETE FROM [tWebUrl] WHERE [ContactID] = '",
        u"UPDATE [tWebUrl] SET ",
        detail_columns::kWebUrl,
        Sql(u"DELETE FROM [tWebUrl] WHERE [WebUrlID] IN (SELECT [WebUrlID] FROM [tWebUrl], [tContact] WHERE "
            u"[tContact].[ContactID] = [tWebUrl].[ContactID] AND [ProfileID] = '"),
        false,
    };
};

// Instant-messaging addresses outlive their contact: deleting a contact, or
// all contacts of a profile, leaves them in [tIM].
template <>
struct DetailFamilyOf<tagIM> {
    static constexpr DetailFamily value{
        u"[tIM]",
        u"SELECT [IMID], [LocationType], [Address], [Protocol], [PrimaryFlag] FROM [tIM] WHERE [ContactID] = '",
        u"INSERT INTO [tIM] ([ContactID], [LocationType], [Address], [Protocol], [PrimaryFlag]) VALUES('",
        u"DELETE FROM [tIM] WHERE [IMID] = '",
        u"';",
        u"DELETE FROM [tIM] WHERE [ContactID] = '",
        u"UPDATE [tIM] SET ",
        detail_columns::kIM,
        std::nullopt,
        true,
    };
};

// The families whose items are deleted with their contact (one contact,
// or all of a profile), in the order they are deleted. Instant-messaging
// addresses are not among them.
inline constexpr const DetailFamily* kDetailFamiliesDeletedWithContact[] = {
    &DetailFamilyOf<tagAddress>::value,
    &DetailFamilyOf<tagPhoneNumber>::value,
    &DetailFamilyOf<tagEmail>::value,
    &DetailFamilyOf<tagWebUrl>::value,
};

// ---- Compile-time agreement of texts and field maps ---------------------------
// A statement whose column list drifted from its field map would read a
// column into the wrong field, or write a value under the wrong column,
// without any error from the database. These checks make that a build
// failure.
namespace detail_checks {

// The ID column is text and comes first; the value columns follow.
constexpr bool IdColumnFirst(const DetailFamily& f) {
    return !f.fields.empty() && f.fields[0].kind == FieldKind::Text && f.fields[0].offset == 0;
}

template <class Record>
constexpr bool Consistent() {
    constexpr const DetailFamily& f = DetailFamilyOf<Record>::value;
    return IdColumnFirst(f) && ListsColumns(f.listHead.view(), u"SELECT ", f.fields, u" FROM ") &&
           f.listHead.view().substr(f.listHead.view().find(u" FROM ") + 6).starts_with(f.table.view()) &&
           ListsColumns(f.insertHead.view(), u"([ContactID], ", f.fields.subspan(1), u") VALUES('") &&
           f.updateHead.view().starts_with(u"UPDATE ") && f.updateHead.view().ends_with(u" SET ");
}

static_assert(Consistent<tagAddress>(), "address statements and columns disagree");
static_assert(Consistent<tagPhoneNumber>(), "phone number statements and columns disagree");
static_assert(Consistent<tagEmail>(), "e-mail statements and columns disagree");
static_assert(Consistent<tagWebUrl>(), "web address statements and columns disagree");
static_assert(Consistent<tagIM>(), "instant-messaging statements and columns disagree");

// A family deleted with its contact must know how to delete the items of a
// whole profile, and only such a family.
constexpr bool CascadeTextsPresent() {
    for (const DetailFamily* f : kDetailFamiliesDeletedWithContact)
        if (!f->profileDeleteHead) return false;
    return !DetailFamilyOf<tagIM>::value.profileDeleteHead;
}
static_assert(CascadeTextsPresent(), "the families deleted with a contact and their texts disagree");

}  // namespace detail_checks

}  // namespace calyra
