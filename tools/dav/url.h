// URLs as the DAV client sees them: absolute http(s) URLs resolved with
// libcurl's URL parser, the rule for which of them may be reached in clear,
// and the key under which two spellings of one href compare equal.
//
// Ownership: values. Thread-safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace calyra::dav {

// `reference` (an absolute URL, an absolute path or a relative path, as a
// server writes hrefs and Location headers) resolved against the absolute
// URL `base`. Throws DavError(Usage) for what does not parse as http(s),
// and for a URL that carries a user name or password: credentials travel
// only in the request's authentication, never in a URL.
std::string ResolveUrl(std::string_view base, std::string_view reference);

// "https://host:port" of an absolute URL (port only when given).
std::string UrlOrigin(std::string_view url);
// The path of an absolute URL ("/" when it has none), still escaped.
std::string UrlPath(std::string_view url);
std::string UrlHost(std::string_view url);
bool IsLoopbackHost(std::string_view host);

// Throws DavError unless `url` may be used: https, or http to this
// machine's loopback addresses, or http anywhere when `allowInsecure`.
void CheckUrlAllowed(std::string_view url, bool allowInsecure);

// A path with its %XX escapes decoded, so "/a%40b/" and "/a@b/" (two
// servers' spellings of one member) are the same key.
std::string HrefKey(std::string_view href);

}  // namespace calyra::dav
