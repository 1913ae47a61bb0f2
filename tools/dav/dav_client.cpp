#include "dav/dav_client.h"

#include <algorithm>
#include <charconv>

#include "dav/dav_error.h"
#include "dav/url.h"
#include "dav/xml_tree.h"

namespace calyra::dav {
namespace {

constexpr const char* kXmlHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
constexpr const char* kNamespaces =
    " xmlns:d=\"DAV:\" xmlns:card=\"urn:ietf:params:xml:ns:carddav\""
    " xmlns:cal=\"urn:ietf:params:xml:ns:caldav\" xmlns:cs=\"http://calendarserver.org/ns/\"";
constexpr const char* kXmlType = "application/xml; charset=utf-8";
constexpr int kMaxRedirects = 5;

std::string Propfind(const std::string& props) {
    return std::string(kXmlHead) + "<d:propfind" + kNamespaces + "><d:prop>" + props + "</d:prop></d:propfind>";
}

// "HTTP/1.1 404 Not Found" -> 404; 0 when unreadable.
int StatusOf(std::string_view line) {
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) return 0;
    line.remove_prefix(space + 1);
    int status = 0;
    std::from_chars(line.data(), line.data() + std::min<size_t>(3, line.size()), status);
    return status;
}

struct Propstat {
    int status = 0;
    const XmlElement* prop = nullptr;
};

struct StatusResponse {
    std::string href;  // as written by the server
    int status = 0;    // the response's own status, 0 when it has propstats
    std::vector<Propstat> propstats;

    const XmlElement* okProp() const {
        for (const Propstat& p : propstats)
            if (p.status / 100 == 2 && p.prop) return p.prop;
        return nullptr;
    }
};

// One DAV response element read; its props point into `r`.
StatusResponse ReadResponse(const XmlElement& r) {
    StatusResponse s;
    s.href = r.childText(kDavNs, "href");
    if (const XmlElement* st = r.find(kDavNs, "status")) s.status = StatusOf(TrimSpace(st->text));
    for (const XmlElement& ps : r.children) {
        if (!ps.is(kDavNs, "propstat")) continue;
        s.propstats.push_back({StatusOf(ps.childText(kDavNs, "status")), ps.find(kDavNs, "prop")});
    }
    return s;
}

void CheckMultistatus(const XmlElement& root, const std::string& what) {
    if (!root.is(kDavNs, "multistatus"))
        throw DavError(ErrorKind::Xml, what + ": expected a DAV multistatus, got <" + root.name + ">");
}

std::vector<StatusResponse> ReadMultistatus(const XmlElement& root, const std::string& what) {
    CheckMultistatus(root, what);
    std::vector<StatusResponse> out;
    for (const XmlElement& r : root.children) {
        if (!r.is(kDavNs, "response")) continue;
        StatusResponse s = ReadResponse(r);
        if (!s.href.empty()) out.push_back(std::move(s));
    }
    return out;
}

// Each response of a multistatus read and handed to `visit` when it names
// an href.
std::function<void(XmlElement&)> Responses(const std::function<void(const StatusResponse&)>& visit) {
    return [&visit](XmlElement& response) {
        const StatusResponse s = ReadResponse(response);
        if (!s.href.empty()) visit(s);
    };
}

// The hrefs inside a property (home sets, the principal).
std::vector<std::string> HrefsIn(const XmlElement* property) {
    std::vector<std::string> out;
    if (!property) return out;
    for (const XmlElement& h : property->children)
        if (h.is(kDavNs, "href") && !TrimSpace(h.text).empty()) out.push_back(TrimSpace(h.text));
    return out;
}

bool SamePath(std::string_view a, std::string_view b) {
    auto strip = [](std::string s) {
        while (s.size() > 1 && s.back() == '/') s.pop_back();
        return s;
    };
    return strip(HrefKey(a)) == strip(HrefKey(b));
}

std::string Describe(const std::string& method, const std::string& url, const HttpResponse& r) {
    return method + " " + url + ": the server answered " + std::to_string(r.status);
}

[[noreturn]] void Fail(const std::string& method, const std::string& url, const HttpResponse& r) {
    const ErrorKind kind = r.status == 401 || r.status == 403 ? ErrorKind::Unauthorized : ErrorKind::Http;
    std::string text = Describe(method, url, r);
    if (r.status == 401) text += " (the user name or password was not accepted)";
    throw DavError(kind, text, r.status);
}

bool IsCollectionHref(std::string_view href) { return !href.empty() && href.back() == '/'; }

}  // namespace

std::string NormalizeEtag(std::string_view etag) {
    std::string e = TrimSpace(etag);
    if (e.empty() || e == "*") return e;
    if (e.front() == '"' || e.starts_with("W/\"")) return e;
    return "\"" + e + "\"";
}

DavClient::DavClient(AccountOptions options)
    : m_options(std::move(options)),
      m_http(m_options.url, m_options.user, m_options.password, m_options.http),
      m_base(m_options.url) {}

std::string DavClient::urlOf(const std::string& href) const { return ResolveUrl(m_base, href); }

HttpResponse DavClient::exchange(const std::string& method, const std::string& url, const std::string& body,
                                 std::vector<std::pair<std::string, std::string>> headers) {
    if (!body.empty()) headers.emplace_back("Content-Type", kXmlType);
    HttpResponse r = m_http.send({method, url, std::move(headers), body});
    ++m_counts[method];
    return r;
}

std::pair<HttpResponse, XmlElement> DavClient::multistatus(const std::string& method, const std::string& url,
                                                           const std::string& body,
                                                           std::vector<std::pair<std::string, std::string>> headers,
                                                           const std::string& what,
                                                           const std::function<void(XmlElement& response)>& each) {
    if (!body.empty()) headers.emplace_back("Content-Type", kXmlType);
    // A listing of a large collection is never held as a tree (its elements
    // took more memory than the rest of a sync): each response is dropped
    // once handed over, the root's other children (a sync token) are kept.
    std::vector<XmlElement> others;
    XmlStreamParser parser(what, [&](XmlElement& child) {
        if (child.is(kDavNs, "response"))
            each(child);
        else
            others.push_back(std::move(child));
    });
    HttpResponse r =
        m_http.send({method, url, std::move(headers), body}, [&parser](std::string_view bytes) { parser.feed(bytes); });
    ++m_counts[method];
    if (r.status / 100 != 2) return {std::move(r), XmlElement{}};
    XmlElement root = parser.finish();
    if (r.status == 207) CheckMultistatus(root, what);
    root.children = std::move(others);
    return {std::move(r), std::move(root)};
}

std::pair<HttpResponse, std::string> DavClient::propfindFollowing(const std::string& start, const std::string& body) {
    std::string url = start;
    for (int hop = 0;; ++hop) {
        HttpResponse r = exchange("PROPFIND", url, body, {{"Depth", "0"}});
        const bool redirect =
            r.status == 301 || r.status == 302 || r.status == 303 || r.status == 307 || r.status == 308;
        if (!redirect) return {std::move(r), url};
        const auto location = r.header("location");
        if (!location || hop >= kMaxRedirects) return {std::move(r), url};
        const std::string next = ResolveUrl(url, *location);
        // A redirect from https to plain http is refused like any plain URL.
        CheckUrlAllowed(next, m_http.allowInsecure());
        if (UrlOrigin(next) != UrlOrigin(url) && !next.starts_with("https://")) {
            throw DavError(ErrorKind::Insecure, "discovery was redirected to another server over plain http (" +
                                                    UrlOrigin(next) + "); refused");
        }
        m_http.trustOrigin(next);
        url = next;
    }
}

Discovery DavClient::discover() {
    Discovery d;
    const std::string principalBody = Propfind("<d:current-user-principal/>");
    std::vector<std::string> starts;
    if (UrlPath(m_options.url) == "/") {
        const std::string origin = UrlOrigin(m_options.url);
        starts.push_back(origin + "/.well-known/carddav");
        starts.push_back(origin + "/.well-known/caldav");
    }
    starts.push_back(m_options.url);

    std::string context = m_options.url;  // where the principal was asked
    for (const std::string& start : starts) {
        auto [r, finalUrl] = propfindFollowing(start, principalBody);
        if (r.status != 207) {
            if (r.status == 401) Fail("PROPFIND", finalUrl, r);
            continue;  // no well-known here; try the next
        }
        const XmlElement root = ParseXml(r.body, "PROPFIND " + finalUrl);
        for (const StatusResponse& s : ReadMultistatus(root, "PROPFIND " + finalUrl)) {
            const XmlElement* prop = s.okProp();
            if (!prop) continue;
            const auto principal = HrefsIn(prop->find(kDavNs, "current-user-principal"));
            if (!principal.empty()) d.principalUrl = ResolveUrl(finalUrl, principal.front());
        }
        context = finalUrl;
        if (!d.principalUrl.empty()) break;
    }

    const std::string homeAt = d.principalUrl.empty() ? context : d.principalUrl;
    m_base = homeAt;
    HttpResponse r = exchange("PROPFIND", homeAt, Propfind("<card:addressbook-home-set/><cal:calendar-home-set/>"),
                              {{"Depth", "0"}});
    if (r.status == 207) {
        const XmlElement root = ParseXml(r.body, "PROPFIND " + homeAt);
        for (const StatusResponse& s : ReadMultistatus(root, "PROPFIND " + homeAt)) {
            const XmlElement* prop = s.okProp();
            if (!prop) continue;
            for (const auto& h : HrefsIn(prop->find(kCardDavNs, "addressbook-home-set")))
                d.addressBookHomes.push_back(ResolveUrl(homeAt, h));
            for (const auto& h : HrefsIn(prop->find(kCalDavNs, "calendar-home-set")))
                d.calendarHomes.push_back(ResolveUrl(homeAt, h));
        }
    } else if (r.status == 401 || r.status == 403) {
        Fail("PROPFIND", homeAt, r);
    }
    if (d.addressBookHomes.empty()) d.addressBookHomes.push_back(homeAt);
    if (d.calendarHomes.empty()) d.calendarHomes.push_back(homeAt);
    for (const auto& home : d.addressBookHomes) m_http.trustOrigin(home);
    for (const auto& home : d.calendarHomes) m_http.trustOrigin(home);
    return d;
}

namespace {

CollectionInfo ReadCollection(const std::string& url, const XmlElement& prop) {
    CollectionInfo c;
    c.url = url;
    c.displayName = prop.childText(kDavNs, "displayname");
    if (const XmlElement* type = prop.find(kDavNs, "resourcetype")) {
        c.addressBook = type->find(kCardDavNs, "addressbook") != nullptr;
        c.calendar = type->find(kCalDavNs, "calendar") != nullptr;
    }
    if (const XmlElement* set = prop.find(kCalDavNs, "supported-calendar-component-set"))
        for (const XmlElement& comp : set->children)
            if (comp.is(kCalDavNs, "comp") && !comp.attribute("name").empty())
                c.components.push_back(comp.attribute("name"));
    // A calendar that names no components holds events and tasks alike.
    if (c.calendar && c.components.empty()) c.components = {"VEVENT", "VTODO"};
    if (!c.calendar) c.components.clear();  // some servers name components on address books too
    c.ctag = prop.childText(kCalendarServerNs, "getctag");
    c.syncToken = prop.childText(kDavNs, "sync-token");
    return c;
}

const std::string kCollectionProps =
    "<d:resourcetype/><d:displayname/><cal:supported-calendar-component-set/><cs:getctag/><d:sync-token/>";

}  // namespace

std::vector<CollectionInfo> DavClient::listCollections(const std::string& homeUrl) {
    HttpResponse r = exchange("PROPFIND", homeUrl, Propfind(kCollectionProps), {{"Depth", "1"}});
    if (r.status != 207) Fail("PROPFIND", homeUrl, r);
    const XmlElement root = ParseXml(r.body, "PROPFIND " + homeUrl);
    std::vector<CollectionInfo> out;
    for (const StatusResponse& s : ReadMultistatus(root, "PROPFIND " + homeUrl)) {
        const std::string url = ResolveUrl(homeUrl, s.href);
        if (SamePath(UrlPath(url), UrlPath(homeUrl))) continue;
        const XmlElement* prop = s.okProp();
        if (!prop) continue;
        CollectionInfo c = ReadCollection(url, *prop);
        if (c.addressBook || c.calendar) out.push_back(std::move(c));
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.url < b.url; });
    return out;
}

CollectionInfo DavClient::collectionInfo(const std::string& collectionUrl) {
    HttpResponse r = exchange("PROPFIND", collectionUrl, Propfind(kCollectionProps), {{"Depth", "0"}});
    if (r.status != 207) Fail("PROPFIND", collectionUrl, r);
    const XmlElement root = ParseXml(r.body, "PROPFIND " + collectionUrl);
    for (const StatusResponse& s : ReadMultistatus(root, "PROPFIND " + collectionUrl))
        if (const XmlElement* prop = s.okProp()) return ReadCollection(collectionUrl, *prop);
    throw DavError(ErrorKind::Xml, "PROPFIND " + collectionUrl + ": the server gave no properties of the collection");
}

SyncChanges DavClient::syncCollection(const std::string& collectionUrl, const std::string& token) {
    const std::string body = std::string(kXmlHead) + "<d:sync-collection" + kNamespaces + "><d:sync-token>" +
                             XmlEscape(token) +
                             "</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop>"
                             "</d:sync-collection>";
    const std::string what = "REPORT sync-collection " + collectionUrl;
    SyncChanges out;
    const std::string collectionPath = UrlPath(collectionUrl);
    const std::function<void(const StatusResponse&)> visit = [&](const StatusResponse& s) {
        std::string href = UrlPath(ResolveUrl(collectionUrl, s.href));
        if (SamePath(href, collectionPath)) {
            if (s.status == 507) out.truncated = true;
            return;
        }
        if (IsCollectionHref(href)) return;  // a member collection is never an item
        if (s.status == 404) {
            out.removed.push_back(std::move(href));
            return;
        }
        const XmlElement* prop = s.okProp();
        if (s.status / 100 == 2 || prop)
            out.changed.push_back({std::move(href), prop ? NormalizeEtag(prop->childText(kDavNs, "getetag")) : ""});
    };
    const auto [r, root] = multistatus("REPORT", collectionUrl, body, {{"Depth", "0"}}, what, Responses(visit));
    if (r.status != 207) {
        // A refused token comes as 403 or 409 with a DAV:error naming the
        // failed precondition; a few servers send it with 400 or 412.
        if (r.status >= 400 && r.status < 500 && r.body.find("valid-sync-token") != std::string::npos) {
            try {
                const XmlElement e = ParseXml(r.body, what);
                if (e.is(kDavNs, "error") && e.find(kDavNs, "valid-sync-token"))
                    throw DavError(ErrorKind::InvalidSyncToken,
                                   what + ": the server no longer accepts the sync token (a full listing follows)",
                                   r.status);
            } catch (const DavError& error) {
                if (error.kind() == ErrorKind::InvalidSyncToken) throw;
            }
        }
        if (r.status == 507) {
            SyncChanges truncatedEarly;
            truncatedEarly.token = token;
            truncatedEarly.truncated = true;
            return truncatedEarly;
        }
        Fail("REPORT", collectionUrl, r);
    }
    out.token = root.childText(kDavNs, "sync-token");
    // A truncated answer may come without a token to go on from; the caller
    // sees that it made no progress.
    if (out.token.empty() && !out.truncated)
        throw DavError(ErrorKind::Xml, what + ": the server's answer holds no new sync token");
    return out;
}

std::vector<ItemRef> DavClient::listItems(const std::string& collectionUrl) {
    std::vector<ItemRef> out;
    listItems(collectionUrl, [&](ItemRef& item) { out.push_back(std::move(item)); });
    return out;
}

void DavClient::listItems(const std::string& collectionUrl, const std::function<void(ItemRef& item)>& each) {
    const std::string what = "PROPFIND " + collectionUrl;
    const std::string collectionPath = UrlPath(collectionUrl);
    const std::function<void(const StatusResponse&)> visit = [&](const StatusResponse& s) {
        std::string href = UrlPath(ResolveUrl(collectionUrl, s.href));
        if (SamePath(href, collectionPath) || IsCollectionHref(href)) return;
        const XmlElement* prop = s.okProp();
        if (prop) {
            const XmlElement* type = prop->find(kDavNs, "resourcetype");
            if (type && type->find(kDavNs, "collection")) return;
        }
        ItemRef item{std::move(href), prop ? NormalizeEtag(prop->childText(kDavNs, "getetag")) : std::string()};
        each(item);
    };
    const HttpResponse r = multistatus("PROPFIND", collectionUrl, Propfind("<d:resourcetype/><d:getetag/>"),
                                       {{"Depth", "1"}}, what, Responses(visit))
                               .first;
    if (r.status != 207) Fail("PROPFIND", collectionUrl, r);
}

void DavClient::multiget(const std::string& collectionUrl, CollectionKind kind, const std::vector<std::string>& hrefs,
                         size_t batchSize, const std::function<void(MultigetBatch&)>& visit) {
    batchSize = std::max<size_t>(batchSize, 1);
    const bool card = kind == CollectionKind::AddressBook;
    const std::string report = card ? "card:addressbook-multiget" : "cal:calendar-multiget";
    const std::string dataProp = card ? "<card:address-data/>" : "<cal:calendar-data/>";
    const std::string what =
        std::string("REPORT ") + (card ? "addressbook" : "calendar") + "-multiget " + collectionUrl;
    for (size_t first = 0; first < hrefs.size(); first += batchSize) {
        const size_t end = std::min(hrefs.size(), first + batchSize);
        std::string body =
            std::string(kXmlHead) + "<" + report + kNamespaces + "><d:prop><d:getetag/>" + dataProp + "</d:prop>";
        for (size_t i = first; i < end; ++i) body += "<d:href>" + XmlEscape(hrefs[i]) + "</d:href>";
        body += "</" + report + ">";
        MultigetBatch batch;
        const std::function<void(const StatusResponse&)> read = [&](const StatusResponse& s) {
            std::string href = UrlPath(ResolveUrl(collectionUrl, s.href));
            const XmlElement* prop = s.okProp();
            const XmlElement* data =
                prop ? prop->find(card ? kCardDavNs : kCalDavNs, card ? "address-data" : "calendar-data") : nullptr;
            if (!data || s.status == 404) {
                batch.missing.push_back(std::move(href));
                return;
            }
            batch.items.push_back({std::move(href), NormalizeEtag(prop->childText(kDavNs, "getetag")), data->text});
        };
        const HttpResponse r =
            multistatus("REPORT", collectionUrl, body, {{"Depth", "1"}}, what, Responses(read)).first;
        if (r.status != 207) Fail("REPORT", collectionUrl, r);
        // Hrefs the server did not mention at all are missing too.
        std::vector<std::string> seen;
        for (const Item& item : batch.items) seen.push_back(HrefKey(item.href));
        for (const auto& m : batch.missing) seen.push_back(HrefKey(m));
        std::sort(seen.begin(), seen.end());
        for (size_t i = first; i < end; ++i)
            if (!std::binary_search(seen.begin(), seen.end(), HrefKey(hrefs[i]))) batch.missing.push_back(hrefs[i]);
        visit(batch);
    }
}

std::optional<Item> DavClient::get(const std::string& href) {
    const std::string url = urlOf(href);
    HttpResponse r = exchange("GET", url, {});
    if (r.status == 404 || r.status == 410) return std::nullopt;
    if (r.status != 200) Fail("GET", url, r);
    return Item{UrlPath(url), NormalizeEtag(r.header("etag").value_or("")), std::move(r.body)};
}

PutResult DavClient::put(const std::string& href, const std::string& data, CollectionKind kind,
                         const std::string& etag) {
    const std::string url = urlOf(href);
    std::vector<std::pair<std::string, std::string>> headers;
    headers.emplace_back("Content-Type", kind == CollectionKind::AddressBook ? "text/vcard; charset=utf-8"
                                                                             : "text/calendar; charset=utf-8");
    if (etag.empty())
        headers.emplace_back("If-None-Match", "*");
    else
        headers.emplace_back("If-Match", NormalizeEtag(etag));
    HttpResponse r = m_http.send({"PUT", url, std::move(headers), data});
    ++m_counts["PUT"];
    PutResult out;
    if (r.status == 412) {
        out.status = WriteStatus::PreconditionFailed;
        return out;
    }
    if (r.status == 404 || r.status == 410) {
        out.status = WriteStatus::Gone;
        return out;
    }
    if (r.status / 100 != 2) Fail("PUT", url, r);
    out.etag = NormalizeEtag(r.header("etag").value_or(""));
    return out;
}

WriteStatus DavClient::remove(const std::string& href, const std::string& etag) {
    const std::string url = urlOf(href);
    std::vector<std::pair<std::string, std::string>> headers;
    if (!etag.empty()) headers.emplace_back("If-Match", NormalizeEtag(etag));
    HttpResponse r = exchange("DELETE", url, {}, std::move(headers));
    if (r.status == 412) return WriteStatus::PreconditionFailed;
    if (r.status == 404 || r.status == 410) return WriteStatus::Gone;
    if (r.status / 100 != 2) Fail("DELETE", url, r);
    return WriteStatus::Done;
}

}  // namespace calyra::dav
