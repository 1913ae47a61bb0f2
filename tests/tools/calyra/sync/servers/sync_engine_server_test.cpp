// The sync engine against Radicale and Xandikos, with an in-memory local
// store: which requests a sync sends, how both sides' changes meet, and
// how the engine copes with a server that fails its REPORTs.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "dav/dav_client.h"
#include "dav/url.h"
#include "session/client_error.h"
#include "support/temp_dir.h"
#include "sync/sync_engine.h"
#include "tools/dav/dav_servers.h"

namespace calyra::test {
namespace {

using sync::LocalItem;
using sync::SyncedItem;

std::string Card(const std::string& uid, const std::string& name, const std::string& phone) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nFN:" + name + "\r\nN:" + name + ";;;;\r\nTEL:" + phone +
           "\r\nX-CUSTOM;X-LABEL=kept:as is\r\nEND:VCARD\r\n";
}

// The local side: items by ID, hashed as stored; sync state kept beside.
class MemoryTarget : public sync::SyncTarget {
public:
    std::map<std::string, std::string> items;  // id -> text
    std::map<std::string, SyncedItem> state;
    std::map<std::string, std::string> bases;
    std::string savedToken;
    int nextId = 1;

    void localItems(const std::function<void(std::vector<LocalItem>&)>& visit) override {
        std::vector<LocalItem> out;
        for (const auto& [id, text] : items) out.push_back({id, UidOf(text), hash(text)});
        visit(out);
    }
    std::string exportItem(const std::string& id) override { return items.at(id); }
    // Like the real targets, it leaves the hash for the engine to ask later.
    std::vector<Stored> importItems(const std::vector<Incoming>& incoming) override {
        std::vector<Stored> out;
        for (const auto& [text, id] : incoming) {
            if (text.find("FN:Refused") != std::string::npos) {
                out.push_back({{}, "the store refused it"});
                continue;
            }
            std::string at = id.empty() ? idOfUid(UidOf(text)) : id;
            if (at.empty()) at = std::to_string(nextId++);
            items[at] = text;
            out.push_back({{at, UidOf(text), ""}, ""});
        }
        return out;
    }
    void removeItem(const std::string& id) override { items.erase(id); }
    std::string token() override { return savedToken; }
    void setToken(const std::string& token, const std::string&) override { savedToken = token; }
    void eachSynced(const std::function<void(std::vector<SyncedItem>&)>& visit) override {
        auto all = recorded([](auto&) { return true; });
        visit(all);
    }
    std::vector<SyncedItem> syncedAt(const std::vector<std::string>& hrefs) override {
        return recorded([&](auto& s) {
            return std::any_of(hrefs.begin(), hrefs.end(),
                               [&](auto& h) { return dav::HrefKey(h) == dav::HrefKey(s.href); });
        });
    }
    std::vector<SyncedItem> syncedOf(const std::vector<std::string>& ids) override {
        return recorded([&](auto& s) { return std::count(ids.begin(), ids.end(), s.localId) > 0; });
    }
    std::string base(const std::string& href) override { return bases[href]; }
    void record(const SyncedItem& item, const std::string& text) override {
        state[item.href] = item;
        bases[item.href] = text;
    }
    void forget(const std::string& href) override {
        state.erase(href);
        bases.erase(href);
    }
    void recordHash(const std::string& href, const std::string& hash) override { state[href].localHash = hash; }
    void commit() override {}

    std::string idOfUid(const std::string& uid) const {
        for (const auto& [id, text] : items)
            if (UidOf(text) == uid) return id;
        return {};
    }

private:
    std::vector<SyncedItem> recorded(const std::function<bool(const SyncedItem&)>& pick) const {
        std::vector<SyncedItem> out;
        for (const auto& entry : state)
            if (pick(entry.second)) out.push_back(entry.second);
        return out;
    }
    static std::string hash(const std::string& text) { return std::to_string(std::hash<std::string>{}(text)); }
};

class SyncEngineTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override {
        server = DavServer::Start(GetParam(), dir.path());
        phone = std::make_unique<dav::DavClient>(server->account(server->addressBookUrl()));
        options.conflictFolder = dir.path() / "conflicts";
    }

    std::string href(const std::string& name) const { return dav::UrlPath(server->addressBookUrl()) + name; }

    // One sync through a client of its own, so its request counts are the
    // sync's alone.
    sync::SyncSummary syncOnce(const std::string& at = "") {
        lastClient = std::make_unique<dav::DavClient>(server->account(at.empty() ? server->url() : at));
        const std::string book = at.empty() ? server->addressBookUrl() : at;
        // The collection's properties are asked each time (they say whether
        // sync-collection is there) and count as the sync's.
        const auto before = lastClient->counts();
        const dav::CollectionInfo info = lastClient->collectionInfo(book);
        sync::SyncSummary s = sync::SyncCollection(*lastClient, info, dav::CollectionKind::AddressBook, local, options);
        sent.clear();
        for (const auto& [method, n] : lastClient->counts()) {
            const size_t was = before.count(method) ? before.at(method) : 0;
            if (n > was) sent[method] = n - was;
        }
        return s;
    }
    size_t sentOf(const std::string& method) const { return sent.count(method) ? sent.at(method) : 0; }

    TempDir dir;
    std::unique_ptr<DavServer> server;
    std::unique_ptr<dav::DavClient> phone, lastClient;
    MemoryTarget local;
    sync::SyncOptions options;
    std::map<std::string, size_t> sent;
};

// A change on one side travels alone: a local one is one conditional PUT,
// a remote one a few requests. Changes on both sides merge by property,
// and where both changed the same one the preferred side wins.
TEST_P(SyncEngineTest, OneChangeEitherWayIsFewRequestsAndChangesOnBothSidesMerge) {
    phone->put(href("a.vcf"), Card("a", "Ada", "111"), dav::CollectionKind::AddressBook, "");
    syncOnce();
    const std::string id = local.idOfUid("a");
    const auto changeThere = [&](const std::string& text) {
        phone->put(href("a.vcf"), text, dav::CollectionKind::AddressBook, phone->get(href("a.vcf")).value().etag);
    };
    local.items[id] = Card("a", "Ada", "999");
    const sync::SyncSummary pushed = syncOnce();
    EXPECT_EQ(pushed.pushed, 1u);
    EXPECT_EQ(sentOf("PUT"), 1u);
    EXPECT_EQ(sentOf("DELETE"), 0u);
    EXPECT_NE(phone->get(href("a.vcf")).value().data.find("TEL:999"), std::string::npos);

    changeThere(Card("a", "Ada Lovelace", "999"));
    const sync::SyncSummary pulled = syncOnce();
    EXPECT_EQ(pulled.pulled, 1u);
    size_t requests = 0;
    for (const auto& [method, n] : sent) requests += n;
    EXPECT_LE(requests, 3u) << "one remote change";
    EXPECT_NE(local.items[id].find("FN:Ada Lovelace"), std::string::npos);

    // Different properties: both kept, no conflict.
    local.items[id] = Card("a", "Ada Lovelace", "222");
    changeThere(Card("a", "Maxine", "999"));
    sync::SyncSummary s = syncOnce();
    EXPECT_EQ(s.conflicts, 0u);
    EXPECT_NE(local.items[id].find("FN:Maxine"), std::string::npos) << local.items[id];
    EXPECT_NE(local.items[id].find("TEL:222"), std::string::npos) << local.items[id];
    EXPECT_NE(phone->get(href("a.vcf")).value().data.find("TEL:222"), std::string::npos);

    // The same property: remote wins by default, the local text is kept aside.
    local.items[id] = Card("a", "Maxine", "333");
    changeThere(Card("a", "Maxine", "444"));
    s = syncOnce();
    EXPECT_EQ(s.conflicts, 1u);
    EXPECT_NE(local.items[id].find("TEL:444"), std::string::npos);
    ASSERT_EQ(s.conflictFiles.size(), 1u);
    EXPECT_NE(FileBytes(s.conflictFiles[0]).find("TEL:333"), std::string::npos);
}

TEST_P(SyncEngineTest, DeletionsTravelBothWaysAndARefusedItemStopsNothingElse) {
    phone->put(href("d1.vcf"), Card("d1", "One", "1"), dav::CollectionKind::AddressBook, "");
    phone->put(href("d2.vcf"), Card("d2", "Two", "2"), dav::CollectionKind::AddressBook, "");
    syncOnce();
    local.removeItem(local.idOfUid("d1"));
    phone->remove(href("d2.vcf"), phone->get(href("d2.vcf")).value().etag);
    phone->put(href("bad.vcf"), Card("bad", "Refused", "0"), dav::CollectionKind::AddressBook, "");
    phone->put(href("ok.vcf"), Card("ok", "Fine", "0"), dav::CollectionKind::AddressBook, "");

    const sync::SyncSummary s = syncOnce();
    EXPECT_EQ(s.deleted, 2u);
    EXPECT_EQ(sentOf("DELETE"), 1u);
    EXPECT_EQ(s.skipped, 1u);
    ASSERT_EQ(s.failures.size(), 1u);
    EXPECT_NE(s.failures[0].find("bad.vcf"), std::string::npos) << s.failures[0];
    EXPECT_NE(local.idOfUid("ok"), "");
    EXPECT_EQ(local.idOfUid("d2"), "");
    EXPECT_FALSE(phone->get(href("d1.vcf")).has_value());
}

TEST_P(SyncEngineTest, AServerFailingEveryReportIsSyncedByListingAndGet) {
    FaultProxy proxy(server->url(), {"--fail-report", "500"}, dir.path());
    phone->put(href("f.vcf"), Card("f", "Fay", "5"), dav::CollectionKind::AddressBook, "");
    const std::string book = proxy.url() + dav::UrlPath(server->addressBookUrl()).substr(1);
    const sync::SyncSummary s = syncOnce(book);
    EXPECT_TRUE(s.failures.empty()) << s.failures[0];
    EXPECT_EQ(s.pulled, 1u);
    EXPECT_NE(local.idOfUid("f"), "");
}

TEST_P(SyncEngineTest, ATruncatingServerThatMakesNoProgressIsListedInstead) {
    FaultProxy proxy(server->url(), {"--truncate-sync", "1"}, dir.path());
    for (int i = 0; i < 3; ++i)
        phone->put(href("t" + std::to_string(i) + ".vcf"), Card("t" + std::to_string(i), "T", "1"),
                   dav::CollectionKind::AddressBook, "");
    dav::DavClient direct(server->account(proxy.url()));
    const std::string book = proxy.url() + dav::UrlPath(server->addressBookUrl()).substr(1);
    const dav::SyncChanges part = direct.syncCollection(book, "");
    EXPECT_TRUE(part.truncated);
    EXPECT_EQ(part.changed.size(), 1u);

    const sync::SyncSummary s = syncOnce(book);
    EXPECT_TRUE(s.failures.empty()) << s.failures[0];
    EXPECT_EQ(s.pulled, 3u);
    EXPECT_LE(sentOf("REPORT"), 4u) << "no endless asking";
}

INSTANTIATE_TEST_SUITE_P(Servers, SyncEngineTest, ::testing::Values(ServerKind::Radicale, ServerKind::Xandikos),
                         [](const auto& info) { return std::string(ServerName(info.param)); });

}  // namespace
}  // namespace calyra::test
