// The DAV client against real servers started for each test (Radicale and
// Xandikos on 127.0.0.1), and behind a proxy that breaks their answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "dav/dav_client.h"
#include "dav/dav_error.h"
#include "dav/url.h"
#include "support/temp_dir.h"
#include "tools/dav/dav_servers.h"

namespace calyra::test {
namespace {

using dav::CollectionKind;
using dav::DavClient;
using dav::DavError;
using dav::ErrorKind;
using dav::WriteStatus;

std::string Card(const std::string& uid, const std::string& name, const std::string& phone = "+49 30 1234567") {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nFN:" + name + "\r\nN:" + name +
           ";;;;\r\nTEL;TYPE=CELL:" + phone + "\r\nX-PHONE-LABEL:kept as is\r\nEND:VCARD\r\n";
}

class DavServerTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override { server = DavServer::Start(GetParam(), dir.path()); }

    std::string cardHref(const std::string& name) const { return dav::UrlPath(server->addressBookUrl()) + name; }

    // Stores a card and returns its ETag, fetching it when the PUT gave none.
    std::string store(DavClient& client, const std::string& href, const std::string& data) {
        const dav::PutResult put = client.put(href, data, CollectionKind::AddressBook, "");
        EXPECT_EQ(put.status, WriteStatus::Done) << href;
        if (!put.etag.empty()) return put.etag;
        return client.get(href).value().etag;
    }

    TempDir dir;
    std::unique_ptr<DavServer> server;
};

TEST_P(DavServerTest, DiscoveryFromTheServerRootFindsTheAddressBookAndCalendar) {
    DavClient client(server->account());
    const dav::Discovery found = client.discover();
    EXPECT_EQ(found.principalUrl, server->principalUrl());
    std::set<std::string> homes(found.addressBookHomes.begin(), found.addressBookHomes.end());
    homes.insert(found.calendarHomes.begin(), found.calendarHomes.end());
    std::map<std::string, dav::CollectionInfo> listed;
    for (const auto& home : homes)
        for (const auto& c : client.listCollections(home)) listed.emplace(c.url, c);
    ASSERT_TRUE(listed.count(server->addressBookUrl())) << "address book not listed";
    ASSERT_TRUE(listed.count(server->calendarUrl())) << "calendar not listed";
    const dav::CollectionInfo& book = listed.at(server->addressBookUrl());
    const dav::CollectionInfo& calendar = listed.at(server->calendarUrl());
    EXPECT_TRUE(book.addressBook);
    EXPECT_FALSE(book.calendar);
    EXPECT_TRUE(calendar.calendar);
    EXPECT_NE(std::find(calendar.components.begin(), calendar.components.end(), "VEVENT"), calendar.components.end());
    EXPECT_FALSE(book.syncToken.empty()) << "both servers offer sync-collection";
}

TEST_P(DavServerTest, CreateListSyncChangeAndDeleteWithPreconditionsAndSyncTokens) {
    DavClient client(server->account(server->addressBookUrl()));
    const std::string a = cardHref("a.vcf"), b = cardHref("b.vcf"), c = cardHref("c.vcf");
    const std::string etagA = store(client, a, Card("uid-a", "Ada"));
    store(client, b, Card("uid-b", "Bea"));
    const std::string etagC = store(client, c, Card("uid-c", "Cy"));

    // A second create of the same href is refused: it is not new.
    EXPECT_EQ(client.put(a, Card("uid-a", "Other"), CollectionKind::AddressBook, "").status,
              WriteStatus::PreconditionFailed);

    const auto listed = client.listItems(server->addressBookUrl());
    ASSERT_EQ(listed.size(), 3u);
    for (const auto& item : listed) {
        EXPECT_FALSE(item.etag.empty()) << item.href;
        if (item.href == a) {
            EXPECT_EQ(item.etag, etagA);
        }
    }

    const dav::SyncChanges first = client.syncCollection(server->addressBookUrl(), "");
    EXPECT_EQ(first.changed.size(), 3u);
    EXPECT_TRUE(first.removed.empty());
    ASSERT_FALSE(first.token.empty());

    // Changing A needs A's current ETag; a stale one is refused.
    const dav::PutResult changed = client.put(a, Card("uid-a", "Ada L."), CollectionKind::AddressBook, etagA);
    ASSERT_EQ(changed.status, WriteStatus::Done);
    EXPECT_EQ(client.put(a, Card("uid-a", "Stale"), CollectionKind::AddressBook, etagA).status,
              WriteStatus::PreconditionFailed);
    EXPECT_EQ(client.remove(c, "\"not-the-etag\""), WriteStatus::PreconditionFailed);
    EXPECT_EQ(client.remove(c, etagC), WriteStatus::Done);
    EXPECT_EQ(client.remove(c, etagC), WriteStatus::Gone);

    const dav::SyncChanges second = client.syncCollection(server->addressBookUrl(), first.token);
    ASSERT_EQ(second.changed.size(), 1u);
    EXPECT_EQ(second.changed[0].href, a);
    EXPECT_EQ(second.removed, std::vector<std::string>{c});
    EXPECT_NE(second.token, first.token);

    const dav::SyncChanges third = client.syncCollection(server->addressBookUrl(), second.token);
    EXPECT_TRUE(third.changed.empty());
    EXPECT_TRUE(third.removed.empty());

    // A token the server never gave is refused as such; Xandikos fails
    // with 500 on one it cannot look up. A sync falls back to a listing on
    // either answer.
    try {
        client.syncCollection(server->addressBookUrl(), server->url() + "sync/not-a-token-of-this-server");
        ADD_FAILURE() << "a made-up token was accepted";
    } catch (const DavError& e) {
        if (GetParam() != ServerKind::Xandikos || e.httpStatus() != 500) {
            EXPECT_EQ(e.kind(), ErrorKind::InvalidSyncToken) << e.what();
        }
    }
}

TEST_P(DavServerTest, MultigetComesInBatchesAndNamesWhatIsGone) {
    DavClient client(server->account(server->addressBookUrl()));
    std::vector<std::string> hrefs;
    for (int i = 0; i < 5; ++i) {
        hrefs.push_back(cardHref("m" + std::to_string(i) + ".vcf"));
        store(client, hrefs.back(), Card("uid-m" + std::to_string(i), "Name " + std::to_string(i)));
    }
    hrefs.push_back(cardHref("never-there.vcf"));
    const size_t reportsBefore = client.counts().count("REPORT") ? client.counts().at("REPORT") : 0;

    std::vector<dav::Item> items;
    std::vector<std::string> missing;
    int batches = 0;
    client.multiget(server->addressBookUrl(), CollectionKind::AddressBook, hrefs, 2, [&](dav::MultigetBatch& batch) {
        ++batches;
        EXPECT_LE(batch.items.size(), 2u);
        for (auto& item : batch.items) items.push_back(std::move(item));
        for (auto& gone : batch.missing) missing.push_back(gone);
    });
    EXPECT_EQ(batches, 3);
    EXPECT_EQ(client.counts().at("REPORT") - reportsBefore, 3u);
    ASSERT_EQ(items.size(), 5u);
    for (const auto& item : items) {
        EXPECT_NE(item.data.find("UID:uid-m"), std::string::npos) << item.data;
        EXPECT_NE(item.data.find("X-PHONE-LABEL:kept as is"), std::string::npos) << item.data;
        EXPECT_FALSE(item.etag.empty());
    }
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(dav::HrefKey(missing[0]), dav::HrefKey(hrefs.back()));
}

TEST_P(DavServerTest, PasswordIsAskedOnceAndNeverShown) {
    int asked = 0;
    dav::AccountOptions options = server->account(server->addressBookUrl());
    options.password = [&] {
        ++asked;
        return std::string("s3cret-Pa55");
    };
    std::vector<std::string> seen;
    DavClient client(options);
    client.http().setObserver([&](const std::string& method, const std::string& url, int status) {
        seen.push_back(method + " " + url + " " + std::to_string(status));
    });
    client.listItems(server->addressBookUrl());
    client.collectionInfo(server->addressBookUrl());
    try {
        client.listItems(server->url() + "nobody/nothing/");
    } catch (const DavError& e) {
        EXPECT_EQ(std::string(e.what()).find("s3cret"), std::string::npos) << e.what();
    }
    EXPECT_EQ(asked, 1);
    for (const auto& line : seen) EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
}

TEST_P(DavServerTest, MissingEtagsAreReportedEmptySoTheItemIsFetchedBack) {
    FaultProxy proxy(server->url(), {"--drop-etags"}, dir.path());
    const std::string book = proxy.url() + dav::UrlPath(server->addressBookUrl()).substr(1);
    DavClient client(server->account(book));
    const dav::PutResult put = client.put(cardHref("e.vcf"), Card("uid-e", "Eve"), CollectionKind::AddressBook, "");
    EXPECT_EQ(put.status, WriteStatus::Done);
    EXPECT_EQ(put.etag, "") << "no ETag came back: the caller must fetch";
    const auto listed = client.listItems(book);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].etag, "");
}

TEST_P(DavServerTest, BareEtagsAreQuotedAndAcceptedBackInIfMatch) {
    FaultProxy proxy(server->url(), {"--bare-etags"}, dir.path());
    const std::string book = proxy.url() + dav::UrlPath(server->addressBookUrl()).substr(1);
    DavClient client(server->account(book));
    const dav::PutResult put = client.put(cardHref("q.vcf"), Card("uid-q", "Quinn"), CollectionKind::AddressBook, "");
    ASSERT_EQ(put.status, WriteStatus::Done);
    const auto listed = client.listItems(book);
    ASSERT_EQ(listed.size(), 1u);
    ASSERT_TRUE(listed[0].etag.starts_with("\"")) << listed[0].etag;
    if (!put.etag.empty()) {
        EXPECT_EQ(put.etag, listed[0].etag);
    }
    // The quoted form is what the server compares against.
    EXPECT_EQ(
        client.put(cardHref("q.vcf"), Card("uid-q", "Quinn B."), CollectionKind::AddressBook, listed[0].etag).status,
        WriteStatus::Done);
    const auto log = proxy.requests();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const auto& l) { return l.starts_with("PUT "); }), 2);
}

TEST(DavTls, ACertificateThatDoesNotVerifyIsRefusedWithAClearError) {
    TempDir dir;
    const auto server = DavServer::Start(ServerKind::Radicale, dir.path(), /*tls=*/true);
    DavClient client(server->account());
    try {
        client.discover();
        FAIL() << "a self-signed certificate was accepted";
    } catch (const DavError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Tls) << e.what();
        EXPECT_NE(std::string(e.what()).find("certificate"), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, DavServerTest, ::testing::Values(ServerKind::Radicale, ServerKind::Xandikos),
                         [](const auto& info) { return std::string(ServerName(info.param)); });

}  // namespace
}  // namespace calyra::test
