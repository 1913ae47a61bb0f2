// The DAV side of an account as the sync commands use it: a client that
// asks for the password only when the first request needs it, the
// collections under the account's homes, and DAV errors turned into the
// client's one-line errors naming the account.
//
// Ownership: the returned client is the caller's; it holds a copy of the
// account. Thread-safety: one thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dav/dav_client.h"
#include "sync/accounts.h"

namespace calyra::sync {

std::unique_ptr<dav::DavClient> ConnectAccount(const Account& account);

// Discovery, then every address book and calendar under the homes found.
std::vector<dav::CollectionInfo> AccountCollections(dav::DavClient& client);

// Runs `work`; a dav::DavError comes out as a cli::ClientError (status 1)
// whose text starts with the account's name.
void WithAccount(const Account& account, const std::function<void()>& work);

}  // namespace calyra::sync
