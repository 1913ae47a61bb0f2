// The CardDAV/CalDAV operations a two-way sync needs, over one account's
// HttpClient: discovery of the account's address books and calendars,
// collection state, incremental changes (sync-collection), full ETag
// listings, batched multiget, and conditional PUT and DELETE.
//
// Collections are named by absolute URL; the items in them by href, the
// absolute path the server gave (resolved against the collection, escapes
// kept as the server wrote them; compare with HrefKey). ETags are kept
// exactly as the server sent them, except that a bare token is quoted, so
// they can go back in If-Match unchanged.
//
// Errors are DavError; outcomes a sync acts on (a precondition failed, an
// item is gone) are results, not errors.
//
// Ownership: the client owns its HttpClient. Thread-safety: none.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dav/http_client.h"
#include "dav/xml_tree.h"

namespace calyra::dav {

enum class CollectionKind { AddressBook, Calendar };

struct AccountOptions {
    std::string url;   // where discovery starts: the server, a principal or a home
    std::string user;  // empty: no credentials sent
    // Asked once, when the first request needs the password.
    std::function<std::string()> password;
    HttpOptions http;
};

struct Discovery {
    std::string principalUrl;                   // empty when the server names none
    std::vector<std::string> addressBookHomes;  // absolute URLs
    std::vector<std::string> calendarHomes;
};

struct CollectionInfo {
    std::string url;
    std::string displayName;
    bool addressBook = false;
    bool calendar = false;
    std::vector<std::string> components;  // VEVENT, VTODO, ... (calendars)
    std::string ctag;                     // empty when the server has none
    std::string syncToken;                // empty: no sync-collection
};

struct ItemRef {
    std::string href;
    std::string etag;  // empty when the server sent none
};

struct SyncChanges {
    std::vector<ItemRef> changed;      // new or changed since the token
    std::vector<std::string> removed;  // hrefs
    std::string token;                 // the token to ask from next time
    // The server stopped early (507): ask again from `token` for the rest.
    bool truncated = false;
};

struct Item {
    std::string href;
    std::string etag;
    std::string data;  // the vCard or iCalendar text
};

struct MultigetBatch {
    std::vector<Item> items;
    std::vector<std::string> missing;  // hrefs the server no longer has
};

enum class WriteStatus { Done, PreconditionFailed, Gone };

struct PutResult {
    WriteStatus status = WriteStatus::Done;
    // The stored item's ETag, or empty: the server did not say (it may have
    // rewritten the item), so fetch it back before trusting local text.
    std::string etag;
};

// Requests sent, by method, for tests and the summary.
using RequestCounts = std::map<std::string, size_t>;

class DavClient {
public:
    explicit DavClient(AccountOptions options);

    // RFC 6764 discovery: /.well-known/ when the URL is a bare server, then
    // the current user principal and its home sets. A URL that is already a
    // home (no principal, no home set) is returned as both homes.
    Discovery discover();
    // The address books and calendars directly under a home.
    std::vector<CollectionInfo> listCollections(const std::string& homeUrl);
    // One collection's own properties (Depth 0).
    CollectionInfo collectionInfo(const std::string& collectionUrl);

    // Changes since `token` (empty: everything). Throws
    // DavError(InvalidSyncToken) when the server refuses the token.
    SyncChanges syncCollection(const std::string& collectionUrl, const std::string& token);
    // Every member with its ETag (Depth 1 PROPFIND), the fallback for
    // servers without sync-collection or when it fails.
    std::vector<ItemRef> listItems(const std::string& collectionUrl);
    // The same, each member handed to `each` as the answer arrives, so the
    // listing is never held whole.
    void listItems(const std::string& collectionUrl, const std::function<void(ItemRef& item)>& each);
    // One multiget REPORT per `batchSize` hrefs, each batch handed to
    // `visit` before the next is asked for.
    void multiget(const std::string& collectionUrl, CollectionKind kind, const std::vector<std::string>& hrefs,
                  size_t batchSize, const std::function<void(MultigetBatch&)>& visit);
    // One item by GET; nullopt when it is gone.
    std::optional<Item> get(const std::string& href);

    // PUT `data`: with `etag` empty the item must be new (If-None-Match: *),
    // with "*" it must exist, otherwise it must still be that version
    // (If-Match).
    PutResult put(const std::string& href, const std::string& data, CollectionKind kind, const std::string& etag);
    // DELETE, if still at `etag` (unconditional when empty).
    WriteStatus remove(const std::string& href, const std::string& etag);

    // The absolute URL of an href under the account.
    std::string urlOf(const std::string& href) const;
    const RequestCounts& counts() const { return m_counts; }
    HttpClient& http() { return m_http; }

private:
    HttpResponse exchange(const std::string& method, const std::string& url, const std::string& body,
                          std::vector<std::pair<std::string, std::string>> headers = {});
    // A request answered by a multistatus, parsed as it arrives: each
    // DAV:response is handed to `each` and dropped. Returns the answer (its
    // body only when it is not a 2xx) and, for a 2xx, the root with its
    // other children; a 207 whose root is no multistatus throws DavError.
    std::pair<HttpResponse, XmlElement> multistatus(const std::string& method, const std::string& url,
                                                    const std::string& body,
                                                    std::vector<std::pair<std::string, std::string>> headers,
                                                    const std::string& what,
                                                    const std::function<void(XmlElement& response)>& each);
    // PROPFIND following redirects (discovery only), trusting the origins it
    // lands on when they are allowed; returns the final URL beside it.
    std::pair<HttpResponse, std::string> propfindFollowing(const std::string& url, const std::string& body);

    AccountOptions m_options;
    HttpClient m_http;
    std::string m_base;  // the URL discovery settled on; hrefs resolve against it
    RequestCounts m_counts;
};

// An ETag as it can go back in If-Match: surrounding white space removed,
// a bare token quoted; weak and quoted tags kept.
std::string NormalizeEtag(std::string_view etag);

}  // namespace calyra::dav
