#include "dav/url.h"

#include <curl/curl.h>

#include <memory>

#include "dav/dav_error.h"

namespace calyra::dav {
namespace {

struct UrlHandleDeleter {
    void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlHandleDeleter>;

std::string Part(CURLU* h, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(h, part, &text, 0) != CURLUE_OK || !text) return {};
    std::string out(text);
    curl_free(text);
    return out;
}

// Never echoes a URL that might hold credentials: the refusal names only
// what is wrong.
UrlHandle Parse(std::string_view url) {
    UrlHandle h(curl_url());
    if (!h) throw DavError(ErrorKind::Usage, "out of memory parsing a URL");
    const std::string text(url);
    if (curl_url_set(h.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK)
        throw DavError(ErrorKind::Usage, "not an absolute URL");
    return h;
}

void CheckParsed(CURLU* h) {
    const std::string scheme = Part(h, CURLUPART_SCHEME);
    if (scheme != "http" && scheme != "https")
        throw DavError(ErrorKind::Usage, "only http and https URLs are supported, not " + scheme);
    if (!Part(h, CURLUPART_USER).empty() || !Part(h, CURLUPART_PASSWORD).empty())
        throw DavError(ErrorKind::Usage, "a URL must not hold a user name or password (give them to the account)");
}

}  // namespace

std::string ResolveUrl(std::string_view base, std::string_view reference) {
    UrlHandle h = Parse(base);
    CheckParsed(h.get());
    const std::string ref(reference);
    if (curl_url_set(h.get(), CURLUPART_URL, ref.c_str(), 0) != CURLUE_OK)
        throw DavError(ErrorKind::Usage, "the server named a location that is not a URL");
    CheckParsed(h.get());
    // Fragments never reach a server.
    curl_url_set(h.get(), CURLUPART_FRAGMENT, nullptr, 0);
    return Part(h.get(), CURLUPART_URL);
}

std::string UrlOrigin(std::string_view url) {
    UrlHandle h = Parse(url);
    std::string origin = Part(h.get(), CURLUPART_SCHEME) + "://" + Part(h.get(), CURLUPART_HOST);
    const std::string port = Part(h.get(), CURLUPART_PORT);
    if (!port.empty()) origin += ":" + port;
    return origin;
}

std::string UrlPath(std::string_view url) {
    UrlHandle h = Parse(url);
    std::string path = Part(h.get(), CURLUPART_PATH);
    return path.empty() ? "/" : path;
}

std::string UrlHost(std::string_view url) { return Part(Parse(url).get(), CURLUPART_HOST); }

bool IsLoopbackHost(std::string_view host) {
    if (host == "localhost" || host == "[::1]" || host == "::1") return true;
    // 127.0.0.0/8, written as four decimal numbers.
    if (!host.starts_with("127.")) return false;
    int dots = 0;
    for (char c : host) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots == 3;
}

void CheckUrlAllowed(std::string_view url, bool allowInsecure) {
    UrlHandle h = Parse(url);
    CheckParsed(h.get());
    if (Part(h.get(), CURLUPART_SCHEME) == "https" || allowInsecure) return;
    const std::string host = Part(h.get(), CURLUPART_HOST);
    if (!IsLoopbackHost(host))
        throw DavError(ErrorKind::Insecure, "refusing plain http to " + host +
                                                ": the password would cross the network in clear (use https, or "
                                                "allow it for this account explicitly)");
}

std::string HrefKey(std::string_view href) {
    std::string out;
    out.reserve(href.size());
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < href.size(); ++i) {
        if (href[i] == '%' && i + 2 < href.size()) {
            const int hi = hex(href[i + 1]), lo = hex(href[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += href[i];
    }
    return out;
}

}  // namespace calyra::dav
