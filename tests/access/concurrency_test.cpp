// Real concurrent callers on access objects, for ThreadSanitizer: threads
// each with their own object on one shared connection, and one object
// shared by threads whose reads (count, then by index) and writes (add,
// detail, delete with its cascade) interleave. The object lock and the
// connection's lock are what keep every row counted once and every cascade
// whole.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "access/contacts/contact_access.h"
#include "support/pim_fixture.h"
#include "support/test_values.h"

namespace calyra::test {
namespace {

TEST(ContactConcurrency, ThreadsOnOneConnectionAddContactsWithDetailsEachRowOnce) {
    PimDatabase db;
    constexpr int kThreads = 4, kEach = 25;
    std::vector<std::vector<std::string>> ids(kThreads), phoneIDs(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            auto contacts = db.Create<CContactAccess, IContactAccess>();
            for (int i = 0; i < kEach; ++i) {
                std::u16string name = Utf8ToUtf16("T" + std::to_string(t) + "-" + std::to_string(i));
                std::string id = AddContact(contacts.get(), name.c_str());
                Bstr bid = Bstr::FromUtf8(id);
                tagPhoneNumber phone{};
                phone.bstrPhoneNumber = bid;  // the number names its contact
                Bstr phoneID;
                contacts->AddPhoneNumberToContact(nullptr, bid, &phone, &phoneID);
                tagEmail email{};
                contacts->AddEmailToContact(nullptr, bid, &email, nullptr);
                ids[t].push_back(id);
                phoneIDs[t].push_back(phoneID.utf8());
                LONG n = 0;
                contacts->GetNumOfContacts(nullptr, &n);
                RecordHolder<tagContactInfo> last;
                contacts->GetContactByIndex(nullptr, n - 1, &last);
            }
        });
    for (auto& th : threads) th.join();
    std::set<std::string> unique, uniquePhones;
    for (int t = 0; t < kThreads; ++t) {
        unique.insert(ids[t].begin(), ids[t].end());
        uniquePhones.insert(phoneIDs[t].begin(), phoneIDs[t].end());
    }
    const std::string total = std::to_string(kThreads * kEach);
    EXPECT_EQ(unique.size(), static_cast<size_t>(kThreads * kEach)) << "every contact got its own ID";
    EXPECT_EQ(uniquePhones.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tContact];"), total);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tEmail];"), total);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tPhoneNumber] WHERE [PhoneNumber] = [ContactID];"), total)
        << "each phone number belongs to the contact it was added to";
}

TEST(ContactConcurrency, OneObjectSharedByThreadsKeepsCacheAndCascadesConsistent) {
    PimDatabase db;
    auto contacts = db.Create<CContactAccess, IContactAccess>();
    for (int i = 0; i < 10; ++i) AddContact(contacts.get(), u"Kept");
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 30; ++i) {
                LONG n = 0;
                if (contacts->GetNumOfContacts(nullptr, &n) != S_OK || n < 10) ++bad;
                RecordHolder<tagContactInfo> info;
                if (contacts->GetContactByIndex(nullptr, i % 10, &info) != S_OK) ++bad;
            }
        });
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 15; ++i) {
                std::string id = AddContact(contacts.get(), u"Churn");
                tagAddress address{};
                contacts->AddAddressToContact(nullptr, Bstr::FromUtf8(id), &address, nullptr);
                if (contacts->DeleteContactByID(nullptr, Bstr::FromUtf8(id)) != S_OK) ++bad;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tContact];"), "10");
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tAddress];"), "0") << "every cascade ran to its end";
}

}  // namespace
}  // namespace calyra::test
