// Contact detail items through IContactAccess: addresses, phone numbers,
// e-mail, web and instant-messaging addresses. Whole records are checked
// with every family in record_families_test.cpp, what a contact delete
// takes in contacts_test.cpp; here, one table row per family: the deletes
// by item and by contact, and the columns the values land in.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "access/contacts/contact_access.h"
#include "support/pim_fixture.h"

namespace calyra::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// One family's operations, each with a zeroed record.
struct DetailFamily {
    const char16_t* table;
    std::function<HRESULT(IContactAccess*, BSTR contact, BSTR* id)> add;
    std::function<HRESULT(IContactAccess*, BSTR id)> remove;
    std::function<HRESULT(IContactAccess*, BSTR contact)> removeOfContact;
};

template <class R, class Add, class Remove, class RemoveOfContact>
DetailFamily Row(const char16_t* table, Add add, Remove remove, RemoveOfContact removeOfContact) {
    return {table,
            [=](IContactAccess* c, BSTR contact, BSTR* id) {
                R item{};
                return (c->*add)(nullptr, contact, &item, id);
            },
            [=](IContactAccess* c, BSTR id) { return (c->*remove)(nullptr, id); },
            [=](IContactAccess* c, BSTR contact) { return (c->*removeOfContact)(nullptr, contact); }};
}

TEST(ContactDetails, DeleteByIdTakesOneItemAndDeleteByContactTheRestOfThatContact) {
    using I = IContactAccess;
    const DetailFamily families[] = {
        Row<tagAddress>(u"[tAddress]", &I::AddAddressToContact, &I::DeleteAddressByID, &I::DeleteAddressesByContactID),
        Row<tagPhoneNumber>(u"[tPhoneNumber]", &I::AddPhoneNumberToContact, &I::DeletePhoneNumberByID,
                            &I::DeletePhoneNumbersByContactID),
        Row<tagEmail>(u"[tEmail]", &I::AddEmailToContact, &I::DeleteEmailByID, &I::DeleteEmailsByContactID),
        Row<tagWebUrl>(u"[tWebUrl]", &I::AddWebUrlToContact, &I::DeleteWebUrlByID, &I::DeleteWebUrlsByContactID),
        Row<tagIM>(u"[tIM]", &I::AddIMToContact, &I::DeleteIMByID, &I::DeleteIMsByContactID),
    };
    for (const DetailFamily& f : families) {
        SCOPED_TRACE(Utf16ToUtf8(f.table));
        PimDatabase db;
        auto contacts = db.Create<CContactAccess, IContactAccess>();
        Bstr first, second, other;
        ASSERT_EQ(f.add(contacts.get(), Bstr(u"1"), &first), S_OK);
        ASSERT_EQ(f.add(contacts.get(), Bstr(u"1"), &second), S_OK);
        ASSERT_EQ(f.add(contacts.get(), Bstr(u"2"), &other), S_OK);
        const std::u16string ids = std::u16string(u"SELECT group_concat([ContactID]) FROM ") + f.table + u";";
        ASSERT_EQ(f.remove(contacts.get(), first), S_OK);
        EXPECT_EQ(db.Value(ids), "1,2");
        ASSERT_EQ(f.removeOfContact(contacts.get(), Bstr(u"1")), S_OK);
        EXPECT_EQ(db.Value(ids), "2") << "another contact's items stay";
    }
}

TEST(ContactDetails, EachValueLandsInItsOwnColumnAndAPrimaryFlagIsStoredAsOne) {
    PimDatabase db;
    auto contacts = db.Create<CContactAccess, IContactAccess>();
    const Bstr contact(u"3"), number(u"555-0100"), address(u"someone@jabber.example"), protocol(u"XMPP");
    tagPhoneNumber phone{nullptr, enumLocationType_Work, enumPhoneNumberType_Pager, number, -1};
    ASSERT_EQ(contacts->AddPhoneNumberToContact(nullptr, contact, &phone, nullptr), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ContactID], [LocationType], [PhoneNumberType], [PhoneNumber], [PrimaryFlag] "
                      u"FROM [tPhoneNumber];"),
              (Rows{{"3", "1", "2", "555-0100", "1"}}));
    tagIM im{nullptr, enumLocationType_Home, address, protocol, 5};
    Bstr imID;
    ASSERT_EQ(contacts->AddIMToContact(nullptr, contact, &im, &imID), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ContactID], [LocationType], [Address], [Protocol], [PrimaryFlag] FROM [tIM];"),
              (Rows{{"3", "0", "someone@jabber.example", "XMPP", "1"}}));
}

}  // namespace
}  // namespace calyra::test
