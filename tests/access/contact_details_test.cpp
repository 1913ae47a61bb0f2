// Contact detail items through IContactAccess: addresses, phone numbers,
// e-mail, web and instant-messaging addresses.
//
// The five families share one behaviour, so most of it is a typed test run
// against each family; what sets a family apart (the IM add needing an ID
// output, the exact column texts) is tested on its own.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "access/contacts/contact_access.h"
#include "support/error_calls.h"
#include "support/pim_fixture.h"
#include "support/test_values.h"

using calyra::Bstr;
using calyra::CContactAccess;
using calyra::test::kUntouched;
using calyra::test::SetText;
using calyra::test::ErrorCall;
using calyra::test::ExpectEachFails;
using calyra::test::NullErrorPointer;
using calyra::test::PimDatabase;
using calyra::test::Text;
using calyra::test::RecordArray;
using calyra::test::RecordHolder;

namespace {

// How the tests reach one family: its five operations, its table, and its
// record's fields as one comparable text.
struct AddressFamily {
    using Record = tagAddress;
    static constexpr auto List = &IContactAccess::GetAddressesByContactID;
    static constexpr auto Add = &IContactAccess::AddAddressToContact;
    static constexpr auto Delete = &IContactAccess::DeleteAddressByID;
    static constexpr auto DeleteOfContact = &IContactAccess::DeleteAddressesByContactID;
    static constexpr auto Modify = &IContactAccess::ModifyAddressByID;
    static constexpr const char16_t* table = u"[tAddress]";
    static constexpr bool deletedWithContact = true;
    static BSTR& Id(Record& r) { return r.bstrAddressID; }
    static BSTR& SomeText(Record& r) { return r.bstrCity; }
    static void Fill(Record& r, const std::u16string& tag) {
        r.eLocationType = enumLocationType_Work;
        SetText(r.bstrCountry, u"Italia " + tag);
        SetText(r.bstrState, u"Abruzzo");
        SetText(r.bstrCity, u"L'Aquila");
        SetText(r.bstrStreet, u"Via dell'Arcivescovado 1");
        SetText(r.bstrZipCode, u"67100");
        r.bPrimary = -1;
    }
    static std::string Describe(const Record& r) {
        return std::to_string(r.eLocationType) + "|" + Text(r.bstrCountry) + "|" + Text(r.bstrState) + "|" +
               Text(r.bstrCity) + "|" + Text(r.bstrStreet) + "|" + Text(r.bstrZipCode) + "|" +
               std::to_string(r.bPrimary);
    }
};

struct PhoneNumberFamily {
    using Record = tagPhoneNumber;
    static constexpr auto List = &IContactAccess::GetPhoneNumbersByContactID;
    static constexpr auto Add = &IContactAccess::AddPhoneNumberToContact;
    static constexpr auto Delete = &IContactAccess::DeletePhoneNumberByID;
    static constexpr auto DeleteOfContact = &IContactAccess::DeletePhoneNumbersByContactID;
    static constexpr auto Modify = &IContactAccess::ModifyPhoneNumberByID;
    static constexpr const char16_t* table = u"[tPhoneNumber]";
    static constexpr bool deletedWithContact = true;
    static BSTR& Id(Record& r) { return r.bstrPhoneNumberID; }
    static BSTR& SomeText(Record& r) { return r.bstrPhoneNumber; }
    static void Fill(Record& r, const std::u16string& tag) {
        r.eLocationType = enumLocationType_Other;
        r.ePhoneNumberType = static_cast<enumPhoneNumberType>(7);  // no range check
        SetText(r.bstrPhoneNumber, u"+39 0862 '" + tag);
        r.bPrimary = 5;
    }
    static std::string Describe(const Record& r) {
        return std::to_string(r.eLocationType) + "|" + std::to_string(r.ePhoneNumberType) + "|" +
               Text(r.bstrPhoneNumber) + "|" + std::to_string(r.bPrimary);
    }
};

struct EmailFamily {
    using Record = tagEmail;
    static constexpr auto List = &IContactAccess::GetEmailsByContactID;
    static constexpr auto Add = &IContactAccess::AddEmailToContact;
    static constexpr auto Delete = &IContactAccess::DeleteEmailByID;
    static constexpr auto DeleteOfContact = &IContactAccess::DeleteEmailsByContactID;
    static constexpr auto Modify = &IContactAccess::ModifyEmailByID;
    static constexpr const char16_t* table = u"[tEmail]";
    static constexpr bool deletedWithContact = true;
    static BSTR& Id(Record& r) { return r.bstrEmailID; }
    static BSTR& SomeText(Record& r) { return r.bstrEmail; }
    static void Fill(Record& r, const std::u16string& tag) {
        r.eLocationType = enumLocationType_Home;
        SetText(r.bstrEmail, u"o'brien." + tag + u"@example.org");
        r.bPrimary = 1;
    }
    static std::string Describe(const Record& r) {
        return std::to_string(r.eLocationType) + "|" + Text(r.bstrEmail) + "|" + std::to_string(r.bPrimary);
    }
};

struct WebUrlFamily {
    using Record = tagWebUrl;
    static constexpr auto List = &IContactAccess::GetWebUrlsByContactID;
    static constexpr auto Add = &IContactAccess::AddWebUrlToContact;
    static constexpr auto Delete = &IContactAccess::DeleteWebUrlByID;
    static constexpr auto DeleteOfContact = &IContactAccess::DeleteWebUrlsByContactID;
    static constexpr auto Modify = &IContactAccess::ModifyWebUrlByID;
    static constexpr const char16_t* table = u"[tWebUrl]";
    static constexpr bool deletedWithContact = true;
    static BSTR& Id(Record& r) { return r.bstrWebUrlID; }
    static BSTR& SomeText(Record& r) { return r.bstrWebUrl; }
    static void Fill(Record& r, const std::u16string& tag) {
        r.eLocationType = static_cast<enumLocationType>(-3);
        SetText(r.bstrWebUrl, u"https://example.org/?q='" + tag + u"'");
        r.bPrimary = 0;
    }
    static std::string Describe(const Record& r) {
        return std::to_string(r.eLocationType) + "|" + Text(r.bstrWebUrl) + "|" + std::to_string(r.bPrimary);
    }
};

struct IMFamily {
    using Record = tagIM;
    static constexpr auto List = &IContactAccess::GetIMsByContactID;
    static constexpr auto Add = &IContactAccess::AddIMToContact;
    static constexpr auto Delete = &IContactAccess::DeleteIMByID;
    static constexpr auto DeleteOfContact = &IContactAccess::DeleteIMsByContactID;
    static constexpr auto Modify = &IContactAccess::ModifyIMByID;
    static constexpr const char16_t* table = u"[tIM]";
    static constexpr bool deletedWithContact = false;
    static BSTR& Id(Record& r) { return r.bstrIMID; }
    static BSTR& SomeText(Record& r) { return r.bstrAddress; }
    static void Fill(Record& r, const std::u16string& tag) {
        r.eLocationType = enumLocationType_Work;
        SetText(r.bstrAddress, u"o'neil_" + tag);
        SetText(r.bstrProtocol, u"XMPP 'jabber'");
        r.bPrimary = -1;
    }
    static std::string Describe(const Record& r) {
        return std::to_string(r.eLocationType) + "|" + Text(r.bstrAddress) + "|" + Text(r.bstrProtocol) + "|" +
               std::to_string(r.bPrimary);
    }
};

template <class Family>
class ContactDetails : public ::testing::Test {
protected:
    using Record = typename Family::Record;

    ContactDetails() : contacts(db.Create<CContactAccess, IContactAccess>(u"1")) {}

    std::string Add(const char16_t* contactID, Record& item) {
        Bstr id;
        LONG err = kUntouched;
        EXPECT_EQ((contacts.get()->*Family::Add)(&err, Bstr(contactID), &item, &id), S_OK);
        EXPECT_EQ(err, kUntouched) << "a successful add leaves the error ID alone";
        return id.utf8();
    }
    std::string AddFilled(const char16_t* contactID, const std::u16string& tag) {
        RecordHolder<Record> item;
        Family::Fill(item, tag);
        return Add(contactID, item);
    }
    // The contact's items as texts, ID first.
    std::vector<std::string> List(const char16_t* contactID) {
        RecordArray<Record> items;
        LONG n = -1;
        EXPECT_EQ((contacts.get()->*Family::List)(nullptr, Bstr(contactID), &n, &items), S_OK);
        EXPECT_NE(items.get(), nullptr) << "a list is an array even when empty";
        EXPECT_EQ(items.size(), n);
        std::vector<std::string> out;
        for (LONG i = 0; i < n; ++i) {
            Record copy = items[i];
            out.push_back(Text(Family::Id(copy)) + ":" + Family::Describe(items[i]));
        }
        return out;
    }
    std::string Count() { return db.Value(std::u16string(u"SELECT COUNT(*) FROM ") + Family::table + u";"); }

    PimDatabase db;
    calyra::ComPtr<IContactAccess> contacts;
};

using Families = ::testing::Types<AddressFamily, PhoneNumberFamily, EmailFamily, WebUrlFamily, IMFamily>;
class FamilyNames {
public:
    template <class T>
    static std::string GetName(int) {
        if (std::is_same_v<T, AddressFamily>) return "Addresses";
        if (std::is_same_v<T, PhoneNumberFamily>) return "PhoneNumbers";
        if (std::is_same_v<T, EmailFamily>) return "Emails";
        if (std::is_same_v<T, WebUrlFamily>) return "WebUrls";
        return "IMs";
    }
};
TYPED_TEST_SUITE(ContactDetails, Families, FamilyNames);

TYPED_TEST(ContactDetails, AddedItemsReadBackWithQuotesIntactAndPrimaryAsOne) {
    using Record = typename TypeParam::Record;
    RecordHolder<Record> item;
    TypeParam::Fill(item, u"a");
    SetText(TypeParam::Id(item), u"999");  // the caller's ID is not used
    std::string id = this->Add(u"7", item);
    EXPECT_FALSE(id.empty());
    EXPECT_NE(id, "999");
    // Whatever nonzero value the caller gave, a primary item reads back 1.
    Record normalized = item;  // shares the texts, only read
    normalized.bPrimary = item.bPrimary ? 1 : 0;
    EXPECT_EQ(this->List(u"7"), std::vector<std::string>{id + ":" + TypeParam::Describe(normalized)});
}

TYPED_TEST(ContactDetails, ListingAContactWithoutItemsGivesAnEmptyArray) {
    this->AddFilled(u"1", u"other contact");
    EXPECT_TRUE(this->List(u"2").empty());
}

TYPED_TEST(ContactDetails, ItemsAreKeptByContactIdWhateverProfileOrContactRowExists) {
    // No [tContact] row, and an object of another profile lists them too.
    std::string id = this->AddFilled(u"424242", u"x");
    auto otherProfile = this->db.template Create<CContactAccess, IContactAccess>(u"2");
    RecordArray<typename TypeParam::Record> items;
    LONG n = 0;
    ASSERT_EQ((otherProfile.get()->*TypeParam::List)(nullptr, Bstr(u"424242"), &n, &items), S_OK);
    EXPECT_EQ(n, 1);
}

TYPED_TEST(ContactDetails, ModifyRewritesOnlyTheNamedItemAndKeepsItsContact) {
    std::string first = this->AddFilled(u"1", u"first");
    std::string second = this->AddFilled(u"1", u"second");
    RecordHolder<typename TypeParam::Record> change;  // all zero/NULL: every column is rewritten
    SetText(TypeParam::Id(change), u"ignored");
    LONG err = kUntouched;
    ASSERT_EQ((this->contacts.get()->*TypeParam::Modify)(&err, Bstr::FromUtf8(second), &change), S_OK);
    EXPECT_EQ(err, kUntouched);
    auto items = this->List(u"1");
    ASSERT_EQ(items.size(), 2u);
    RecordHolder<typename TypeParam::Record> original;
    TypeParam::Fill(original, u"first");
    original.bPrimary = original.bPrimary ? 1 : 0;
    EXPECT_EQ(items[0], first + ":" + TypeParam::Describe(original));
    EXPECT_EQ(items[1], second + ":" + TypeParam::Describe(change)) << "zeroed record: empty texts, 0 numbers";
}

TYPED_TEST(ContactDetails, DeleteByIdRemovesOneAndDeleteByContactRemovesTheRest) {
    std::string a = this->AddFilled(u"1", u"a");
    std::string b = this->AddFilled(u"1", u"b");
    std::string other = this->AddFilled(u"2", u"c");
    ASSERT_EQ((this->contacts.get()->*TypeParam::Delete)(nullptr, Bstr::FromUtf8(a)), S_OK);
    EXPECT_EQ(this->List(u"1").size(), 1u);
    EXPECT_EQ((this->contacts.get()->*TypeParam::Delete)(nullptr, Bstr(u"31337")), S_OK) << "nothing to delete is fine";
    EXPECT_EQ((this->contacts.get()->*TypeParam::Delete)(nullptr, Bstr(u"1' OR '1'='1")), S_OK);
    EXPECT_EQ(this->Count(), "2") << "a quote in the ID must not widen the statement";
    ASSERT_EQ((this->contacts.get()->*TypeParam::DeleteOfContact)(nullptr, Bstr(u"1")), S_OK);
    EXPECT_TRUE(this->List(u"1").empty());
    EXPECT_EQ(this->List(u"2").size(), 1u) << "another contact's items stay";
}

TYPED_TEST(ContactDetails, AddToAContactThatDoesNotExistStoresTheItemUnderThatId) {
    this->AddFilled(u"55", u"orphan");
    EXPECT_EQ(this->db.Value(std::u16string(u"SELECT [ContactID] FROM ") + TypeParam::table + u";"), "55");
}

TYPED_TEST(ContactDetails, ItemsGoWithTheirContactExceptInstantMessaging) {
    auto contacts = this->contacts.get();
    tagContactInfo info{};
    Bstr id;
    ASSERT_EQ(contacts->AddContact(nullptr, &info, &id), S_OK);
    this->AddFilled(id.view().data(), u"dependant");
    ASSERT_EQ(contacts->DeleteContactByID(nullptr, id), S_OK);
    EXPECT_EQ(this->Count(), TypeParam::deletedWithContact ? "0" : "1");

    Bstr second;
    ASSERT_EQ(contacts->AddContact(nullptr, &info, &second), S_OK);
    this->AddFilled(second.view().data(), u"dependant");
    ASSERT_EQ(contacts->DeleteAllContacts(nullptr), S_OK);
    EXPECT_EQ(this->Count(), TypeParam::deletedWithContact ? "0" : "2");
}

TYPED_TEST(ContactDetails, BadArgumentsReportInvalidArgumentAndWriteNothing) {
    using Record = typename TypeParam::Record;
    IContactAccess* c = this->contacts.get();
    RecordHolder<Record> item;
    Bstr id;
    LONG n = 0;
    SAFEARRAY* array = nullptr;
    const Bstr one(u"1"), empty(u"");
    const ErrorCall cases[] = {
        {"list without contact ID", [&](LONG* e) { return (c->*TypeParam::List)(e, nullptr, &n, &array); }},
        {"list with empty contact ID", [&](LONG* e) { return (c->*TypeParam::List)(e, empty, &n, &array); }},
        {"list without array", [&](LONG* e) { return (c->*TypeParam::List)(e, one, &n, nullptr); }},
        {"add without contact ID", [&](LONG* e) { return (c->*TypeParam::Add)(e, nullptr, &item, &id); }},
        {"add with empty contact ID", [&](LONG* e) { return (c->*TypeParam::Add)(e, empty, &item, &id); }},
        {"delete without ID", [&](LONG* e) { return (c->*TypeParam::Delete)(e, nullptr); }},
        {"delete with empty ID", [&](LONG* e) { return (c->*TypeParam::Delete)(e, empty); }},
        {"delete of contact without ID", [&](LONG* e) { return (c->*TypeParam::DeleteOfContact)(e, nullptr); }},
        {"delete of contact with empty ID", [&](LONG* e) { return (c->*TypeParam::DeleteOfContact)(e, empty); }},
        {"modify without ID", [&](LONG* e) { return (c->*TypeParam::Modify)(e, nullptr, &item); }},
        {"modify with empty ID", [&](LONG* e) { return (c->*TypeParam::Modify)(e, empty, &item); }},
    };
    ExpectEachFails(cases, E_INVALIDARG, PIMERR_INVALID_ARGUMENT, NullErrorPointer::NotTried);
    EXPECT_EQ(this->Count(), "0");
}

// ---- What sets single families apart -----------------------------------------

TEST(ContactDetailIdOutput, OnlyInstantMessagingRequiresAnIdOutput) {
    PimDatabase db;
    auto contacts = db.Create<CContactAccess, IContactAccess>();
    tagAddress address{};
    tagPhoneNumber phone{};
    tagEmail email{};
    tagWebUrl web{};
    tagIM im{};
    const Bstr contact(u"1");
    EXPECT_EQ(contacts->AddAddressToContact(nullptr, contact, &address, nullptr), S_OK);
    EXPECT_EQ(contacts->AddPhoneNumberToContact(nullptr, contact, &phone, nullptr), S_OK);
    EXPECT_EQ(contacts->AddEmailToContact(nullptr, contact, &email, nullptr), S_OK);
    EXPECT_EQ(contacts->AddWebUrlToContact(nullptr, contact, &web, nullptr), S_OK);
    LONG err = kUntouched;
    EXPECT_EQ(contacts->AddIMToContact(&err, contact, &im, nullptr), E_INVALIDARG);
    EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT);
    EXPECT_EQ(db.Value(u"SELECT (SELECT COUNT(*) FROM [tAddress]) || (SELECT COUNT(*) FROM [tPhoneNumber]) || "
                       u"(SELECT COUNT(*) FROM [tEmail]) || (SELECT COUNT(*) FROM [tWebUrl]) || "
                       u"(SELECT COUNT(*) FROM [tIM]);"),
              "11110");
}

TEST(ContactDetailColumns, EachValueLandsInItsOwnColumn) {
    PimDatabase db;
    auto contacts = db.Create<CContactAccess, IContactAccess>();
    const Bstr contact(u"3");
    Bstr id;

    tagPhoneNumber phone{};
    phone.eLocationType = enumLocationType_Work;
    phone.ePhoneNumberType = enumPhoneNumberType_Pager;
    Bstr number(u"555-0100");
    phone.bstrPhoneNumber = number;
    phone.bPrimary = -1;
    ASSERT_EQ(contacts->AddPhoneNumberToContact(nullptr, contact, &phone, &id), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ContactID], [LocationType], [PhoneNumberType], [PhoneNumber], [PrimaryFlag] "
                      u"FROM [tPhoneNumber];"),
              (std::vector<std::vector<std::string>>{{"3", "1", "2", "555-0100", "1"}}));
    phone.ePhoneNumberType = static_cast<enumPhoneNumberType>(7);
    ASSERT_EQ(contacts->ModifyPhoneNumberByID(nullptr, id, &phone), S_OK);
    EXPECT_EQ(db.Value(u"SELECT [PhoneNumberType] FROM [tPhoneNumber];"), "7");

    tagIM im{};
    Bstr address(u"someone@jabber.example"), protocol(u"XMPP");
    im.bstrAddress = address;
    im.bstrProtocol = protocol;
    Bstr imID;
    ASSERT_EQ(contacts->AddIMToContact(nullptr, contact, &im, &imID), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ContactID], [LocationType], [Address], [Protocol], [PrimaryFlag] FROM [tIM];"),
              (std::vector<std::vector<std::string>>{{"3", "0", "someone@jabber.example", "XMPP", "0"}}));

    tagAddress postal{};
    Bstr country(u"C"), state(u"S"), city(u"Ci"), street(u"St"), zip(u"Z");
    postal.bstrCountry = country;
    postal.bstrState = state;
    postal.bstrCity = city;
    postal.bstrStreet = street;
    postal.bstrZipCode = zip;
    postal.eLocationType = enumLocationType_Other;
    ASSERT_EQ(contacts->AddAddressToContact(nullptr, contact, &postal, nullptr), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ContactID], [LocationType], [Country], [State], [City], [Street], [ZipCode], "
                      u"[PrimaryFlag] FROM [tAddress];"),
              (std::vector<std::vector<std::string>>{{"3", "2", "C", "S", "Ci", "St", "Z", "0"}}));
}

TEST(ContactDetailColumns, TwoPrimaryItemsOfOneContactAreBothKept) {
    PimDatabase db;
    auto contacts = db.Create<CContactAccess, IContactAccess>();
    tagAddress a{};
    a.bPrimary = -1;
    ASSERT_EQ(contacts->AddAddressToContact(nullptr, Bstr(u"1"), &a, nullptr), S_OK);
    ASSERT_EQ(contacts->AddAddressToContact(nullptr, Bstr(u"1"), &a, nullptr), S_OK);
    EXPECT_EQ(db.Value(u"SELECT SUM([PrimaryFlag]) FROM [tAddress];"), "2");
}

}  // namespace
