#include "sync/dav_account.h"

#include <set>

#include "dav/dav_error.h"
#include "session/client_error.h"

namespace calyra::sync {

std::unique_ptr<dav::DavClient> ConnectAccount(const Account& account) {
    dav::AccountOptions options;
    options.url = account.url;
    options.user = account.user;
    options.http.allowInsecure = account.allowInsecure;
    options.password = [account] { return ReadPassword(account); };
    return std::make_unique<dav::DavClient>(std::move(options));
}

std::vector<dav::CollectionInfo> AccountCollections(dav::DavClient& client) {
    const dav::Discovery found = client.discover();
    std::set<std::string> homes(found.addressBookHomes.begin(), found.addressBookHomes.end());
    homes.insert(found.calendarHomes.begin(), found.calendarHomes.end());
    std::vector<dav::CollectionInfo> out;
    std::set<std::string> seen;
    for (const std::string& home : homes)
        for (auto& c : client.listCollections(home))
            if (seen.insert(c.url).second) out.push_back(std::move(c));
    return out;
}

void WithAccount(const Account& account, const std::function<void()>& work) {
    try {
        work();
    } catch (const dav::DavError& e) {
        throw cli::ClientError("account " + account.name + ": " + e.what());
    }
}

}  // namespace calyra::sync
